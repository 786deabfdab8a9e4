// Excel export and the reports' charts: the whole intake ledger written as a workbook, as
// 导出Excel does it, and the chart series of the loss check over the file's last year.

#include "BenchOp.h"

#include "data/uDM.h"
#include "forms/uGrid.h"
#include "forms/uXlsx.h"
#include "reports/uChartData.h"
#include "reports/uReportQuery.h"
#include "workflow/uBatchList.h"

#include <QTemporaryDir>

namespace {
class TXlsxExportOp : public TBenchOp {
public:
    TXlsxExportOp() : TBenchOp(QStringLiteral("intake ledger, Excel export")) {}

    qint64 Run(TBenchEnv& env, int) override {
        TQueryModel model(env.Dm);
        model.Open(BatchListQuery(env.Dm.Engine(), QStringLiteral("全部"), {}));
        qint64 rows = 0;
        WriteXlsxFile(dir_.filePath("ledger.xlsx"), QStringLiteral("收粮台账"), model.Captions(),
                      [&](const TXlsxRowSink& sink) {
                          model.ForEachRow([&](const std::vector<TValue>& row) {
                              sink(row);
                              ++rows;
                          });
                      });
        return rows;
    }

private:
    QTemporaryDir dir_;
};

class TLossChartOp : public TBenchOp {
public:
    TLossChartOp() : TBenchOp(QStringLiteral("chart of 烘干损耗核对, last year")) {}

    void Prepare(TBenchEnv& env) override {
        const QDate last = env.Dm.ScalarP("SELECT MAX(RegTime) FROM T_Batch").AsDateTime().date();
        query_ = ReportQuery(env.Dm.Engine(), TReportKind::LossCheck, {last.addYears(-1).addDays(1), last, 0, {}}).Query;
    }

    qint64 Run(TBenchEnv& env, int) override {
        TQueryModel model(env.Dm);
        model.Open(query_);
        const TChartData chart = ReportChart(TReportKind::LossCheck, model);
        qint64 points = 0;
        for (const TChartSeries& s : chart.Series) points += s.Points.size();
        return points;
    }

private:
    TSqlText query_;
};

const TBenchArea kExport(55, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TXlsxExportOp>());
    ops.push_back(std::make_unique<TLossChartOp>());
    return ops;
});
}  // namespace
