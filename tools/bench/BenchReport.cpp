// The reports centre and the operation log viewer: each report over the file's last year and over
// all its years, the trace of one batch, and the log's first screen unfiltered and under each filter.

#include "BenchList.h"

#include "data/uDM.h"
#include "forms/uGrid.h"
#include "reports/uLog.h"
#include "reports/uReportQuery.h"

namespace {
// A report as the window runs it: computed whole, its first screen read into the grid.
class TReportOp : public TBenchOp {
public:
    TReportOp(const QString& name, std::function<TSqlText(TDM&)> query)
        : TBenchOp(name), query_(std::move(query)) {}

    void Prepare(TBenchEnv& env) override { sql_ = query_(env.Dm); }

    qint64 Run(TBenchEnv& env, int) override {
        TQueryModel model(env.Dm);
        model.Open(sql_);
        return model.rowCount();
    }

    std::optional<TSqlText> Floor(TBenchEnv& env) const override {
        return TQueryModel::FirstChunk(env.Dm.Engine(), sql_);
    }

private:
    std::function<TSqlText(TDM&)> query_;
    TSqlText sql_;
};

QDate LastDay(TDM& dm) { return dm.ScalarP("SELECT MAX(RegTime) FROM T_Batch").AsDateTime().date(); }
QDate FirstDay(TDM& dm) { return dm.ScalarP("SELECT MIN(RegTime) FROM T_Batch").AsDateTime().date(); }

std::function<TSqlText(TDM&)> LastYear(TReportKind kind) {
    return [kind](TDM& dm) {
        const QDate last = LastDay(dm);
        return ReportQuery(dm.Engine(), kind, {last.addYears(-1).addDays(1), last, 0, {}}).Query;
    };
}

std::function<TSqlText(TDM&)> AllYears(TReportKind kind) {
    return [kind](TDM& dm) { return ReportQuery(dm.Engine(), kind, {FirstDay(dm), LastDay(dm), 0, {}}).Query; };
}

// A batch with the longest story: dried more than once, settled, the latest such.
TSqlText TraceOfABatch(TDM& dm) {
    QString batchNo = VarToStr(dm.ScalarP("SELECT d.BatchNo FROM T_Drying d WHERE d.Round>1 AND EXISTS (SELECT 1 "
                                          "FROM T_Settle s WHERE s.BatchNo=d.BatchNo) ORDER BY d.DryID DESC LIMIT 1"));
    if (batchNo.isEmpty()) batchNo = VarToStr(dm.ScalarP("SELECT MAX(BatchNo) FROM T_Batch"));
    return TraceReport(batchNo);
}

TSqlText LogOfAction(TDM& dm, const QString& action) {
    TLogFilter filter;
    filter.Action = action;
    return LogQuery(dm, filter);
}

// What an administrator types: the login of the latest entry, the number of the latest batch.
TSqlText LogOfUser(TDM& dm) {
    TLogFilter filter;
    filter.User = VarToStr(dm.ScalarP("SELECT LoginName FROM T_Log ORDER BY LogID DESC LIMIT 1"));
    return LogQuery(dm, filter);
}

// The latest batch's whole number, the day inside it (a few dozen entries) and its prefix with
// the year (a year's entries, of which the first screen shows the newest).
TSqlText LogOfReference(TDM& dm, qsizetype from, qsizetype length) {
    TLogFilter filter;
    filter.Ref = VarToStr(dm.ScalarP("SELECT MAX(BatchNo) FROM T_Batch")).mid(from, length);
    return LogQuery(dm, filter);
}

const TBenchArea kReports(50, [] {
    TBenchOps ops;
    for (int k = 0; k < ReportNames().size(); ++k) {
        const auto kind = TReportKind(k);
        if (kind == TReportKind::Trace) continue;
        const QString name = ReportNames()[k];
        if (kind == TReportKind::FarmerStatement) {
            ops.push_back(std::make_unique<TReportOp>("report " + name + ", every farmer", LastYear(kind)));
            continue;
        }
        ops.push_back(std::make_unique<TReportOp>("report " + name + ", last year", LastYear(kind)));
        ops.push_back(std::make_unique<TReportOp>("report " + name + ", all years", AllYears(kind)));
    }
    ops.push_back(std::make_unique<TReportOp>("report 批次全流程溯源, a re-dried settled batch", TraceOfABatch));
    ops.push_back(ListOp("operation log, first screen", TListWalk::FirstScreen, [](TDM& dm) { return LogQuery(dm, TLogFilter{}); }));
    ops.push_back(ListOp("operation log, first screen, action 结算", TListWalk::FirstScreen,
                         [](TDM& dm) { return LogOfAction(dm, QStringLiteral("结算")); }));
    ops.push_back(ListOp("operation log, first screen, action 删除", TListWalk::FirstScreen,
                         [](TDM& dm) { return LogOfAction(dm, QStringLiteral("删除")); }));
    ops.push_back(ListOp("operation log, first screen, user", TListWalk::FirstScreen, LogOfUser));
    ops.push_back(ListOp("operation log, first screen, reference", TListWalk::FirstScreen,
                         [](TDM& dm) { return LogOfReference(dm, 0, -1); }));
    ops.push_back(ListOp("operation log, first screen, reference's day", TListWalk::FirstScreen,
                         [](TDM& dm) { return LogOfReference(dm, 2, 8); }));
    ops.push_back(ListOp("operation log, first screen, reference's year", TListWalk::FirstScreen,
                         [](TDM& dm) { return LogOfReference(dm, 0, 6); }));
    return ops;
});
}  // namespace
