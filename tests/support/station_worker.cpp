// One station of a centre whose weighbridge, dryer room and finance desk share one database
// server. It does one kind of work through the windows' own logic classes, as fast as it can, on
// the same batches as the other stations started with it, and prints a line for every save that
// went through. A save refused because another station got there first is skipped; one refused
// for a lock is tried again; any other refusal ends the worker with exit code 2.
//
// station_worker <schema> <station number> <work> [count]
//   intake N   registers N loads
//   amend      corrects, then voids, each load that was waiting for the dryer
//   dispatch   dispatches each load waiting for the dryer
//   dryend     ends the open rounds until each batch is in store; odd stations re-dry a first round
//   outbound   hands out 10 kg at a time from each dry row in store until none is left
//   settle     settles each batch in store or waiting for it without a settlement: odd stations
//              take the station's number in yuan, even ones the whole fee; the line gives it in fen
//   unsettle   voids each settlement
//
// It prints "ready" once connected and its batches read, and starts at the first line on its
// input, so that the stations started together really work at the same moment.

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uFee.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"
#include "workflow/uSettleList.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace {
// The seeded starting rows: 稻谷, the wet-grain area, the first dry store, dryer HG-001, 甲师傅.
constexpr int kGrain = 1, kWetWh = 1, kDryWh = 2, kDryer = 1, kOperator = 1;
// Rounds of the same work over the same rows; far more than the race needs to settle.
constexpr int kSweeps = 40;

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "station_worker: %s\n", qPrintable(why));
    std::exit(2);
}

void Say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The refusal a lock gives, in the data module's own words. Asked for only once main runs: built
// before the data module's own texts it came out empty, matched every refusal, and a worker
// refused for anything else retried for ever.
const QString& Locked() {
    static const QString text = DbErrorText(QStringLiteral("database is locked"));
    return text;
}

class TStation {
public:
    TStation(TDM& dm, int station) : dm_(dm), station_(station) {}

    // Reads what the work is about, before the start.
    void Prepare(const QString& work) {
        work_ = work;
        if (!QStringList{"intake", "amend", "dispatch", "dryend", "outbound", "settle", "unsettle"}.contains(work))
            Fail("unknown work " + work);
        const QString batches = "SELECT BatchNo FROM T_Batch b WHERE Status=:s ORDER BY BatchNo";
        if (work == "amend" || work == "dispatch") rows_ = Column(batches, {{"s", kStatusWaiting}});
        if (work == "dryend") rows_ = Column(batches, {{"s", kStatusDrying}});
        if (work == "outbound") rows_ = Column("SELECT StockID FROM T_Stock WHERE Status=:s ORDER BY StockID", {{"s", kStatusInStore}});
        if (work == "settle")
            rows_ = Column("SELECT BatchNo FROM T_Batch b WHERE Status IN (:s,:t) AND NOT EXISTS (SELECT 1 FROM T_Settle x "
                           "WHERE x.BatchNo=b.BatchNo) ORDER BY BatchNo",
                           {{"s", kStatusInStore}, {"t", kBatchToSettle}});
        if (work == "unsettle") rows_ = Column("SELECT SettleNo FROM T_Settle ORDER BY SettleNo", {});
        farmer_ = VarToInt(dm_.ScalarP("SELECT MIN(FarmerID) FROM T_Farmer"));
        if (work == "intake" && farmer_ == 0) Fail("no farmer to register loads for");
    }

    void Work(int count) {
        for (int i = 0; work_ == "intake" && i < count; ++i) Intake(i);
        // Each sweep goes over the rows still open, in the same order on every station.
        for (int sweep = 0; sweep < kSweeps && !rows_.isEmpty(); ++sweep) {
            QStringList open;
            for (const QString& row : rows_)
                if (Step(row)) open << row;
            rows_ = open;
        }
    }

private:
    // One piece of work on a row; false once the row needs nothing more of this station.
    bool Step(const QString& row) {
        if (work_ == "amend") return Amend(row);
        if (work_ == "dispatch") return Dispatch(row);
        if (work_ == "dryend") return EndRound(row);
        if (work_ == "outbound") return Outbound(row.toInt());
        if (work_ == "settle") return Settle(row);
        return Unsettle(row);
    }

    QStringList Column(const QString& sql, const TParams& params) {
        const TQuery q = dm_.OpenSQLP(sql, params);
        QStringList values;
        for (int r = 0; r < q.RowCount(); ++r) values << VarToStr(q.Value(r, 0));
        return values;
    }

    // Runs a save until no lock refuses it: true when saved, false when the refusal says another
    // station got there first (it contains one of `lost`).
    bool Attempt(const std::function<QString()>& save, const QStringList& lost = {}) {
        for (;;) {
            QString refusal;
            try {
                refusal = save();
            } catch (const TDbError& e) {
                refusal = DbErrorText(e);
            }
            if (refusal.isEmpty()) return true;
            if (std::ranges::any_of(lost, [&](const QString& words) { return refusal.contains(words); })) return false;
            if (Locked().isEmpty() || !refusal.contains(Locked())) Fail(refusal);
            Say("retry");
        }
    }

    void Intake(int load) {
        const TBatchInput in{.RegTime = QDateTime::currentDateTime(), .CarNo = QStringLiteral("站%1-%2").arg(station_).arg(load),
                             .FarmerID = farmer_, .GrainID = kGrain, .OpID = kOperator, .WhID = kWetWh,
                             .Team = QStringLiteral("早班"), .TargetMoisture = "14", .InMoisture = "18.5", .GrossWt = "30000",
                             .TareWt = "10000", .WetNetWt = "20000", .EstFee = "2880.00"};
        TBatchSaveResult r;
        Attempt([&] { return (r = TBatchLogic(dm_).Save(in)).Refusal; });
        Say("intake " + r.BatchNo);
    }

    // The correction carries the station in its weight, memo and log row, so the database tells
    // whose correction stands.
    bool Amend(const QString& batchNo) {
        TBatchLogic logic(dm_);
        const std::optional<TBatchRecord> rec = logic.Load(batchNo);
        if (!rec) Fail("batch vanished: " + batchNo);
        TBatchInput in = rec->Input;
        in.QualityMemo = in.LogNote = QStringLiteral("站%1").arg(station_);
        std::tie(in.WetNetWt, in.GrossWt) = std::pair(QString::number(19000 + station_), QString::number(29000 + station_));
        // A correction read before another station's was saved is refused, as it would be at the screen.
        if (Attempt([&] { return logic.Save(in).Refusal; }, {QStringLiteral("不能再修改登记"), QStringLiteral("已被其他电脑修改")}))
            Say("edit " + batchNo);
        if (Attempt([&] { return TBatchVoidLogic(dm_).Void(batchNo, QStringLiteral("站%1作废").arg(station_)); },
                    {QStringLiteral("该批次已作废")}))
            Say("void " + batchNo);
        return false;
    }

    bool Dispatch(const QString& batchNo) {
        const TDispatchInput in{.BatchNo = batchNo, .EquipID = kDryer, .WhInID = kWetWh,
                                .StartTime = QDateTime::currentDateTime().addSecs(-3600), .OpID = kOperator,
                                .TargetMoisture = "14", .DryTemp = "60", .FanGear = QStringLiteral("中档")};
        if (Attempt([&] { return TDispatchLogic(dm_).Save(in).Refusal; }, {QStringLiteral("才能派工上机")}))
            Say("dispatch " + batchNo);
        return false;
    }

    bool EndRound(const QString& batchNo) {
        TDryEndLogic logic(dm_);
        const std::optional<TOpenRound> round = logic.LoadOpenRound(batchNo);
        if (!round) return false;
        const TRoundEndInput in{.EndTime = QDateTime::currentDateTime(), .OutMoisture = round->Round == 1 ? "16" : "14",
                                .DryNetWt = "17000", .DryHours = "1", .LossWt = "3000", .LossRate = "15",
                                .DryWhID = kDryWh};
        const bool redry = round->Round == 1 && station_ % 2 == 1;
        const auto save = [&] { return (redry ? logic.Fail(*round, in) : logic.Pass(*round, in)).Refusal; };
        if (Attempt(save, {QStringLiteral("轮已经结束")}))
            Say(QStringLiteral("%1 %2 %3").arg(redry ? "redry" : "pass", batchNo).arg(round->Round));
        return true;
    }

    bool Outbound(int stockId) {
        const TOutboundInput in{.StockID = stockId, .OutType = QStringLiteral("农户自提"),
                                .OutTime = QDateTime::currentDateTime(), .Weight = "10",
                                .Destination = QStringLiteral("站%1").arg(station_), .OpID = kOperator};
        TOutboundResult r;
        const bool saved = Attempt([&] { return (r = TOutboundLogic(dm_).Save(in)).Refusal; }, {QStringLiteral("大于可出库存")});
        if (saved) Say(QStringLiteral("out %1 %2").arg(r.OutNo).arg(stockId));
        return saved;
    }

    bool Settle(const QString& batchNo) {
        const TFeeFigures f = CalcFees(dm_, batchNo, QDateTime::currentDateTime());
        TSettleInput in{.BatchNo = batchNo, .Items = {FmtMoney(f.BaseFee), FmtMoney(f.MoistureExtra), FmtMoney(f.StorageAmt),
                                                      FmtMoney(f.ReDryFee), FmtMoney(f.OtherFee)},
                        .SettleTime = QDateTime::currentDateTime(), .OverDays = f.OverDays};
        const double paid = station_ % 2 == 1 ? station_ : SettleTotals(ReadSettleAmounts(in)).Total;
        in.Paid = FmtMoney(paid);
        TSettleResult r;
        if (Attempt([&] { return (r = TSettleLogic(dm_).Save(in)).Refusal; }, {QStringLiteral("已有结算单")}))
            Say(QStringLiteral("settle %1 %2 %3").arg(r.SettleNo, batchNo).arg(std::llround(paid * 100)));
        return false;
    }

    bool Unsettle(const QString& settleNo) {
        if (Attempt([&] { return TSettleVoidLogic(dm_).Void(settleNo); }, {QStringLiteral("已不存在")}))
            Say("unsettle " + settleNo);
        return false;
    }

    TDM& dm_;
    int station_;
    QString work_;
    QStringList rows_;
    int farmer_ = 0;
};
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: station_worker <schema> <station number> <work> [count]\n");
        return 1;
    }
    const int station = std::atoi(argv[2]);
    TDM dm(DbConfigFromArg(QStringLiteral("postgresql:") + QString::fromLocal8Bit(argv[1])));
    try {
        dm.Connect();
        Session = MakeSession(1, "admin", QStringLiteral("系统管理员"), Roles::Admin);
        dm.SetLogUser(QStringLiteral("station%1").arg(station));
        TStation worker(dm, station);
        worker.Prepare(QString::fromLatin1(argv[3]));
        Say("ready");
        std::string go;
        std::getline(std::cin, go);
        worker.Work(argc > 4 ? std::atoi(argv[4]) : 0);
    } catch (const TDbError& e) {
        Fail(e.Message());
    }
    return 0;
}
