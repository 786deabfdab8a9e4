// A weighbridge, a dryer crew and the finance desk that never stop: registers loads, corrects
// them, dispatches them, re-dries or stores them, hands the dry grain out again, settles their
// fees, takes the rest of the money, voids a few settlements and batches, through the windows'
// own logic classes, until the process is killed. After each save it appends what was saved to a report file, so that
// whoever kills it can check that every reported save is still in the database afterwards.
//
// crash_worker <database> <report file> <run number>

#include "data/uDM.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"
#include "workflow/uSettleList.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>

namespace {
// The seeded starting rows: 稻谷, the wet-grain area, the first dry store, dryer HG-001, 甲师傅.
constexpr int kGrain = 1, kWetWh = 1, kDryWh = 2, kDryer = 1, kOperator = 1;

class TWorker {
public:
    TWorker(TDM& dm, QFile& report, int run) : dm_(dm), report_(report), run_(run) {}

    void Step() {
        const quint32 dice = rng_.bounded(100u);
        if (dice < 26) return Intake();
        const auto on = [this](const QString& key, void (TWorker::*work)(const QString&)) {
            if (!key.isEmpty()) (this->*work)(key);
        };
        if (dice < 35) return on(Pick(kStatusWaiting), &TWorker::Edit);
        if (dice < 50) return on(Pick(kStatusWaiting), &TWorker::Dispatch);
        if (dice < 61) return on(Pick(kStatusDrying), &TWorker::ReDry);
        if (dice < 75) return on(Pick(kStatusDrying), &TWorker::Pass);
        if (dice < 85) return on(Pick(kStatusInStore), &TWorker::Outbound);
        if (dice < 91)
            return on(Any("SELECT BatchNo FROM T_Batch b WHERE Status IN ('在库','待结算') AND NOT EXISTS "
                          "(SELECT 1 FROM T_Settle s WHERE s.BatchNo=b.BatchNo)"), &TWorker::Settle);
        // The rest paid on a settlement still owed on, of a batch that may still be settled.
        if (dice < 94)
            return on(Any("SELECT s.SettleNo FROM T_Settle s INNER JOIN T_Batch b ON b.BatchNo=s.BatchNo "
                          "WHERE s.Status<>'已结清' AND b.Status<>:v", {{"v", kStatusVoid}}), &TWorker::Repay);
        if (dice < 96) return on(Any("SELECT SettleNo FROM T_Settle"), &TWorker::Unsettle);
        on(Any("SELECT BatchNo FROM T_Batch WHERE Status<>:s", {{"s", kStatusVoid}}), &TWorker::Void);
    }

private:
    // One row of the query's first column at random; empty when there is none.
    QString Any(const QString& sql, const TParams& params = {}) {
        return VarToStr(dm_.ScalarP(sql + " ORDER BY random() LIMIT 1", params));
    }
    QString Pick(const QString& status) { return Any("SELECT BatchNo FROM T_Batch WHERE Status=:s", {{"s", status}}); }
    QString BatchOf(const QString& settleNo) {
        return VarToStr(dm_.ScalarP("SELECT BatchNo FROM T_Settle WHERE SettleNo=:n", {{"n", settleNo}}));
    }

    void Intake() {
        const TBatchInput in{.RegTime = QDateTime::currentDateTime(), .CarNo = QStringLiteral("K%1-%2").arg(run_).arg(++loads_),
                             .FarmerID = FarmerId(), .GrainID = kGrain, .OpID = kOperator, .WhID = kWetWh,
                             .Team = QStringLiteral("早班"), .TargetMoisture = "14", .InMoisture = "18.5", .Impurity = "1",
                             .GrossWt = "30000", .TareWt = "10000", .WetNetWt = "20000", .EstFee = "2880.00"};
        const TBatchSaveResult r = TBatchLogic(dm_).Save(in);
        Expect(r.Refusal);
        Report("intake", r.BatchNo, in.CarNo);
    }

    // Each correction counts itself in the quality memo, so the file itself says how many
    // corrections were committed.
    void Edit(const QString& batchNo) {
        TBatchLogic logic(dm_);
        std::optional<TBatchRecord> rec = logic.Load(batchNo);
        if (!rec) Fail("batch vanished: " + batchNo);
        const int edits = rec->Input.QualityMemo.mid(1).toInt() + 1;
        rec->Input.QualityMemo = QStringLiteral("改%1").arg(edits);
        rec->Input.InMoisture = QString::number(18 + edits % 5);
        Expect(logic.Save(rec->Input).Refusal);
        Report("edit", batchNo, QString::number(edits));
    }

    void Dispatch(const QString& batchNo) {
        Expect(TDispatchLogic(dm_)
                   .Save({.BatchNo = batchNo, .EquipID = kDryer, .WhInID = kWetWh, .StartTime = QDateTime::currentDateTime(),
                          .OpID = kOperator, .TargetMoisture = "14", .DryTemp = "80", .FanGear = QStringLiteral("中")})
                   .Refusal);
        Report("dispatch", batchNo, "1");
    }

    void ReDry(const QString& batchNo) { EndRound(batchNo, false); }
    void Pass(const QString& batchNo) { EndRound(batchNo, true); }

    void EndRound(const QString& batchNo, bool dry) {
        TDryEndLogic logic(dm_);
        const TOpenRound round = OpenRound(logic, batchNo);
        TRoundEndInput in = RoundEnd(round);
        if (!dry) in.OutMoisture = "16";
        Expect((dry ? logic.Pass(round, in) : logic.Fail(round, in)).Refusal);
        Report(dry ? "pass" : "redry", batchNo, QString::number(dry ? round.Round : round.Round + 1));
    }

    // Two loads in three take at most 6 t; the third takes what is left, emptying the batch.
    void Outbound(const QString& batchNo) {
        const int row = VarToInt(dm_.ScalarP("SELECT StockID FROM T_Stock WHERE BatchNo=:b AND Status=:s",
                                             {{"b", batchNo}, {"s", kStatusInStore}}));
        if (row == 0) Fail("stored batch without its dry row: " + batchNo);
        TOutboundLogic logic(dm_);
        const double left = logic.Remaining(row);
        const TOutboundResult r = logic.Save({.StockID = row, .OutType = QStringLiteral("农户自提"),
                                              .OutTime = QDateTime::currentDateTime(),
                                              .Weight = FmtNum(rng_.bounded(3u) ? std::min(left, 6000.0) : left, 2),
                                              .Destination = QStringLiteral("县粮库"), .OpID = kOperator});
        Expect(r.Refusal);
        Report("out", batchNo, r.OutNo);
    }

    void Void(const QString& batchNo) {
        Expect(TBatchVoidLogic(dm_).Void(batchNo, QStringLiteral("司磅录错，重新登记")));
        Report("void", batchNo, {});
    }

    // Nothing, half or all of the fee is paid at once.
    void Settle(const QString& batchNo) {
        const TFeeFigures f = CalcFees(dm_, batchNo, QDateTime::currentDateTime());
        TSettleInput in{.BatchNo = batchNo, .Items = {FmtMoney(f.BaseFee), FmtMoney(f.MoistureExtra), FmtMoney(f.StorageAmt),
                                                      FmtMoney(f.ReDryFee), FmtMoney(f.OtherFee)},
                        .SettleTime = QDateTime::currentDateTime(), .OverDays = f.OverDays};
        const double total = SettleTotals(ReadSettleAmounts(in)).Total;
        in.Paid = FmtMoney(total * double(rng_.bounded(3u)) / 2);
        const TSettleResult r = TSettleLogic(dm_).Save(in);
        Expect(r.Refusal);
        Report("settle", batchNo, r.SettleNo);
    }

    // The farmer pays the rest.
    void Repay(const QString& settleNo) {
        const QString batchNo = BatchOf(settleNo);
        const TSettleView view = TSettleLogic(dm_).Open(batchNo, settleNo, QDateTime::currentDateTime());
        if (!view.Stored) Fail("settlement vanished: " + settleNo);
        TSettleInput in{.BatchNo = batchNo, .SettleNo = settleNo, .SettleTime = view.Stored->SettleTime, .Remark = view.Stored->Remark,
                        .OverDays = view.Figures.OverDays, .EarlierPaid = view.Stored->Paid};
        for (size_t i = 0; i < in.Items.size(); ++i) in.Items[i] = FmtMoney(view.Stored->Items[i]);
        in.Paid = FmtMoney(SettleTotals(ReadSettleAmounts(in)).Total - view.Stored->Paid);
        Expect(TSettleLogic(dm_).Save(in).Refusal);
        Report("repay", batchNo, settleNo);
    }

    void Unsettle(const QString& settleNo) {
        const QString batchNo = BatchOf(settleNo);
        Expect(TSettleVoidLogic(dm_).Void(settleNo));
        Report("unsettle", batchNo, settleNo);
    }

    TOpenRound OpenRound(const TDryEndLogic& logic, const QString& batchNo) {
        const std::optional<TOpenRound> round = logic.LoadOpenRound(batchNo);
        if (!round) Fail("drying batch without an open round: " + batchNo);
        return *round;
    }

    static TRoundEndInput RoundEnd(const TOpenRound& round) {
        const QDateTime end = std::max(QDateTime::currentDateTime(), round.StartTime);
        const TRoundFigures f = RecalcRound(round.WetNetWt, "17000", round.StartTime, end);
        return {.EndTime = end, .OutMoisture = "13.5", .DryNetWt = "17000", .DryHours = f.DryHours, .LossWt = f.LossWt,
                .LossRate = f.LossRate, .DryWhID = kDryWh};
    }

    int FarmerId() {
        if (farmer_ == 0) farmer_ = VarToInt(dm_.ScalarP("SELECT MIN(FarmerID) FROM T_Farmer"));
        if (farmer_ == 0) Fail("no farmer to register loads for");
        return farmer_;
    }

    void Expect(const QString& refusal) {
        if (!refusal.isEmpty()) Fail(refusal);
    }

    // One line per committed save, written straight to the file: a kill right after the
    // commit may lose the line, never the save.
    void Report(const char* action, const QString& batchNo, const QString& detail) {
        report_.write(QString("%1 %2 %3\n").arg(QLatin1String(action), batchNo, detail).toUtf8());
    }

    [[noreturn]] static void Fail(const QString& why) {
        std::fprintf(stderr, "crash_worker: %s\n", qPrintable(why));
        std::exit(2);
    }

    TDM& dm_;
    QFile& report_;
    int run_;
    int loads_ = 0;
    int farmer_ = 0;
    QRandomGenerator rng_{QRandomGenerator::global()->generate()};
};
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: crash_worker <database> <report file> <run number>\n");
        return 1;
    }
    TDM dm(QString::fromLocal8Bit(argv[1]));
    QFile report(QString::fromLocal8Bit(argv[2]));
    try {
        if (!dm.Connect()) throw TDbError(QStringLiteral("no database at ") + dm.DbPath());
        if (!report.open(QIODevice::Append | QIODevice::Unbuffered)) throw TDbError(report.errorString());
        dm.SetLogUser("crash");
        TWorker worker(dm, report, std::atoi(argv[3]));
        for (;;) worker.Step();
    } catch (const TDbError& e) {
        std::fprintf(stderr, "crash_worker: %s\n", qPrintable(e.Message()));
        return 2;
    }
}
