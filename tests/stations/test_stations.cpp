// Stations sharing one database server: the weighbridge, the dryer room and the finance desk
// save on the same batches at the same moment. Four worker processes race through the same saves
// (tests/support/station_worker.cpp); whatever order the server lets them through in, no number
// is given twice or skipped, no grain is handed out that is not there, no round is dispatched or
// ended twice, no batch is settled twice, and every save has its log row.

#include "data/uDM.h"
#include "data/uDbText.h"
#include "support/TestCentre.h"
#include "support/TestIntegrity.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"

#include <QHash>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <cmath>
#include <memory>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {
constexpr int kStations = 4;
// Enough batches that the stations catch each other up: the first one off does not finish
// before the others start, and a save refused is quicker than one that goes through.
constexpr int kBatches = 30;

// Today's document numbers of a kind, from the first to the last sequence, in order.
QString Numbered(const QString& prefix, int first, int last) {
    QStringList numbers;
    const QString head = prefix + QDate::currentDate().toString("yyyyMMdd");
    for (int i = first; i <= last; ++i) numbers << head + QStringLiteral("%1").arg(i, 3, 10, QChar('0'));
    return numbers.join("; ");
}

QString Sorted(QStringList words) {
    words.sort();
    return words.join("; ");
}

// How often each word follows the action in the stations' lines ("void PC…" counts PC… under "void").
QHash<QString, int> Tally(const QStringList& lines, const QString& action, int field = 1) {
    QHash<QString, int> tally;
    for (const QString& line : lines) {
        const QStringList words = line.split(' ');
        if (words.first() == action) ++tally[words.value(field)];
    }
    return tally;
}

// A centre on a schema of its own on the server, and the stations that share it.
class Stations : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestOnServer()) GTEST_SKIP() << "the server run of the suite only";
        c = std::make_unique<TTestCentre>();
        c->addFarmer("张三");  // the farmer every station registers for
    }
    void TearDown() override {
        // Whatever the stations did, the centre's records still agree with each other.
        if (c) EXPECT_EQ(IntegrityFaults(c->dm()).join('\n'), "");
        if (retries > 0) std::printf("[ stations ] %d saves sent back by a lock and tried again\n", retries);
    }

    // Starts the stations on the same work, lets them go together once every one has connected
    // and read its rows, and waits for all of them: the lines of their saves.
    QStringList Race(const QString& work, int count = 0) {
        std::vector<std::unique_ptr<QProcess>> stations;
        for (int i = 1; i <= kStations; ++i) {
            auto& p = stations.emplace_back(std::make_unique<QProcess>());
            QStringList args{c->paths().Database().Schema, QString::number(i), work};
            if (count > 0) args << QString::number(count);
            p->start(STATION_WORKER, args);
        }
        for (auto& p : stations) {
            while (!p->canReadLine() && p->waitForReadyRead(60000)) {
            }
            EXPECT_EQ(p->readLine().trimmed(), "ready") << p->readAllStandardError().toStdString();
        }
        for (auto& p : stations) {
            // Written at once: a QProcess otherwise writes only while it is being waited on.
            p->write("go\n");
            p->waitForBytesWritten(60000);
        }
        QStringList lines;
        for (auto& p : stations) {
            p->waitForFinished(120000);
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
            for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
                if (line == "retry") ++retries;  // a lock sent the station back to try again
                else if (!line.isEmpty()) lines << QString::fromUtf8(line);
            }
        }
        return lines;
    }
    int Count(const QString& sql, const TParams& params = {}) { return VarToInt(c->scalar(sql, params)); }
    int Logged(const QString& action) { return c->count("T_Log", "ActType=:a", {{"a", action}}); }

    // Each settlement a station reported holds the batch and the payment it saved, and the batch's
    // status follows the settlement's; no other settlement is stored.
    void ExpectSettledAsReported(const QStringList& lines) {
        int astray = 0;
        for (const QString& line : lines) {
            const QStringList words = line.split(' ');
            const TQuery q = c->dm().OpenSQLP("SELECT s.BatchNo, s.PaidAmt, s.Status, b.Status FROM T_Settle s JOIN "
                                              "T_Batch b ON b.BatchNo=s.BatchNo WHERE s.SettleNo=:n",
                                              {{"n", words.value(1)}});
            const bool asSaved = q.RowCount() == 1 && VarToStr(q.Value(0, 0)) == words.value(2) &&
                                 std::llround(VarToFloat(q.Value(0, 1)) * 100) == words.value(3).toLongLong() &&
                                 VarToStr(q.Value(0, 3)) ==
                                     (VarToStr(q.Value(0, 2)) == kSettledInFull ? kBatchFinished : kBatchToSettle);
            astray += !asSaved;
        }
        EXPECT_EQ(astray, 0) << "settlements not stored as saved, or their batch's status not following them";
        EXPECT_EQ(c->count("T_Settle"), lines.size());
    }
    // A load of 10 t dried in one round into the first dry store; its dry row.
    int Dried(int dryKg) { return c->driedBatch(10000, dryKg).DryRow; }

    std::unique_ptr<TTestCentre> c;
    int retries = 0;
};
}  // namespace

TEST_F(Stations, WeighbridgesRegisteringAtOnceTakeEveryNumberOnceAndAVoidEndsTheCorrections) {
    const int loads = kStations * 10;
    const QStringList intakes = Race("intake", 10);
    const QString numbers = Numbered("PC", 1, loads);
    EXPECT_EQ(Sorted(Tally(intakes, "intake").keys()), numbers) << "every station's numbers, none twice, none skipped";
    EXPECT_EQ(intakes.size(), loads);
    EXPECT_EQ(c->rows("SELECT BatchNo FROM T_Batch ORDER BY BatchNo"), numbers);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='收粮登记' ORDER BY RefNo"), numbers);
    EXPECT_EQ(c->rows("SELECT BatchNo FROM T_Stock ORDER BY BatchNo"), numbers) << "one wet row each";

    // Every station corrects every load and then voids it, at once.
    const QStringList amended = Race("amend");
    const int voids = int(amended.filter(QRegularExpression("^void ")).size());
    EXPECT_EQ(voids, loads) << "each load voided by one station only";
    EXPECT_EQ(Tally(amended, "void").size(), loads);
    EXPECT_EQ(Logged("作废"), loads);
    EXPECT_EQ(Logged("修改登记"), amended.size() - voids) << "a log row for each correction saved";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Log e JOIN T_Log v ON v.RefNo=e.RefNo AND v.ActType='作废' "
                    "WHERE e.ActType='修改登记' AND e.LogID>v.LogID"), 0) << "corrections saved over a voided load";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Batch b WHERE COALESCE((SELECT l.Detail FROM T_Log l WHERE l.RefNo=b.BatchNo AND "
                    "l.ActType='修改登记' ORDER BY l.LogID DESC LIMIT 1),'') NOT LIKE '%' || COALESCE(b.QualityMemo,'')"), 0)
        << "registrations that do not hold the last correction logged";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Batch b JOIN T_Stock s ON s.BatchNo=b.BatchNo WHERE s.Qty=b.WetNetWt "
                    "AND s.Status=:v AND b.Status=:v", {{"v", kStatusVoid}}), loads)
        << "each wet row voided with its load and weighing what the load's last correction says";
}

TEST_F(Stations, OutboundAtOnceHandsOutExactlyTheGrainStored) {
    const QHash<int, int> stored{{Dried(400), 400}, {Dried(300), 300}, {Dried(250), 250}};
    const int loads = (400 + 300 + 250) / 10;
    const QStringList outs = Race("outbound");

    const QString numbers = Numbered("CK", 1, loads);
    EXPECT_EQ(outs.size(), loads) << "10 kg loads handed out";
    EXPECT_EQ(Sorted(Tally(outs, "out").keys()), numbers) << "one number per load, none twice, none skipped";
    EXPECT_EQ(c->rows("SELECT OutNo FROM T_Outbound ORDER BY OutNo"), numbers);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='出库' ORDER BY RefNo"), numbers);
    const QHash<QString, int> fromRow = Tally(outs, "out", 2);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const TParams row{{"s", it.key()}};
        const QString batch = "(SELECT BatchNo FROM T_Stock WHERE StockID=:s)";
        EXPECT_EQ(fromRow.value(QString::number(it.key())) * 10, it.value());
        EXPECT_EQ(Count("SELECT SUM(OutWt) FROM T_Outbound WHERE BatchNo=" + batch, row), it.value())
            << "kg handed out of a row that held " << it.value() << " kg";
        EXPECT_EQ(Count("SELECT SUM(Qty) FROM T_StockMove WHERE MoveType='出仓' AND BatchNo=" + batch, row), it.value());
        EXPECT_EQ(c->rows("SELECT s.Status || '/' || b.Status FROM T_Stock s JOIN T_Batch b ON b.BatchNo=s.BatchNo "
                          "WHERE s.StockID=:s", row), kStockOut + "/" + kBatchToSettle);
    }
}

TEST_F(Stations, DryerRoomsDispatchAndEndEachRoundOnce) {
    for (int i = 0; i < kBatches; ++i) c->registeredBatch(10000);
    const auto withStatus = [&](const QString& table, const QString& status) {
        return Count("SELECT COUNT(*) FROM " + table + " WHERE Status=:s", {{"s", status}});
    };

    const QStringList dispatched = Race("dispatch");
    EXPECT_EQ(dispatched.size(), kBatches) << "dispatches saved";
    EXPECT_EQ(Tally(dispatched, "dispatch").size(), kBatches);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying WHERE Round=1"), kBatches) << "first rounds opened";
    EXPECT_EQ(Logged("派工上机"), kBatches);
    EXPECT_EQ(withStatus("T_Batch", kStatusDrying), kBatches);

    // Odd stations send a first round back to the dryer, even ones put the grain into store.
    const QStringList ended = Race("dryend");
    const int redried = int(ended.filter(QRegularExpression("^redry ")).size());
    EXPECT_EQ(ended.size() - redried, kBatches) << "rounds passed into store";
    EXPECT_EQ(Tally(ended, "pass").size(), kBatches);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying"), kBatches + redried) << "rounds, a re-dry opening the next";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying WHERE Round>2 OR EndTime IS NULL"), 0) << "rounds beyond the second or never ended";
    EXPECT_EQ(Logged("返烘"), redried);
    EXPECT_EQ(Logged("烘干入仓"), kBatches);
    EXPECT_EQ(withStatus("T_Stock", kStatusInStore), kBatches) << "dry rows in store";
    EXPECT_EQ(withStatus("T_Stock", kStockOut), kBatches) << "wet rows retired";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_StockMove WHERE MoveType='入仓'"), kBatches);
    EXPECT_EQ(withStatus("T_Batch", kStatusInStore), kBatches);
}

TEST_F(Stations, FinanceDesksSettleEachBatchOnceAndVoidEachSettlementOnce) {
    for (int i = 0; i < kBatches; ++i) Dried(8000);

    const QStringList first = Race("settle");
    EXPECT_EQ(first.size(), kBatches) << "settlements saved";
    EXPECT_EQ(Tally(first, "settle", 2).size(), kBatches);
    ExpectSettledAsReported(first);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='结算' ORDER BY RefNo"), Numbered("JS", 1, kBatches));

    const QStringList voided = Race("unsettle");
    EXPECT_EQ(voided.size(), kBatches) << "voids saved";
    EXPECT_EQ(Tally(voided, "unsettle").size(), kBatches);
    EXPECT_EQ(c->count("T_Settle"), 0);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='作废结算' ORDER BY RefNo"), Numbered("JS", 1, kBatches))
        << "one void logged per settlement";
    EXPECT_EQ(c->count("T_Batch", "Status=:s", {{"s", kBatchToSettle}}), kBatches);

    const QStringList again = Race("settle");
    EXPECT_EQ(again.size(), kBatches);
    ExpectSettledAsReported(again);
    EXPECT_EQ(c->rows("SELECT SettleNo FROM T_Settle ORDER BY SettleNo"), Numbered("JS", kBatches + 1, 2 * kBatches))
        << "a voided settlement's number is never given again";
}

TEST_F(Stations, ASaveKeptWaitingByAnotherStationGivesUpWithTheLockedTextAndWritesNothing) {
    const QString locked = QStringLiteral("数据库正被其他程序或其他电脑占用，请稍后重试");
    TDM& dm = c->dm();
    const QDateTime now = QDateTime::currentDateTime();
    const TDriedBatch stored = c->driedBatch(10000, 100);
    const QString waiting = c->registeredBatch(10000), drying = c->registeredBatch(10000);
    ASSERT_TRUE(TDispatchLogic(dm).Save({.BatchNo = drying, .EquipID = 1, .WhInID = 1, .StartTime = now.addSecs(-60)}).Saved());
    const std::optional<TOpenRound> round = TDryEndLogic(dm).LoadOpenRound(drying);
    ASSERT_TRUE(round);
    const auto written = [&] {
        return c->rows("SELECT (SELECT COUNT(*) FROM T_Outbound) || '/' || (SELECT COUNT(*) FROM T_Settle) || '/' || (SELECT "
                       "COUNT(*) FROM T_Drying WHERE EndTime IS NULL) || '/' || (SELECT COUNT(*) FROM T_Log) || '/' || (SELECT "
                       "COUNT(*) FROM T_Counter) || '/' || (SELECT string_agg(Status, ',' ORDER BY BatchNo) FROM T_Batch)");
    };
    const QString before = written();

    // Another station is in the middle of saves on all three batches; this one gives up waiting
    // after a fifth of a second instead of ten.
    TDM other(c->paths().Database());
    other.Connect();
    other.BeginTrans();
    for (const QString& b : {stored.BatchNo, waiting, drying})
        other.ExecSQLP("SELECT Status FROM T_Batch WHERE BatchNo=:b FOR UPDATE", {{"b", b}});
    dm.ExecSQLP("SET lock_timeout = '200ms'");

    const TOutboundInput out{.StockID = stored.DryRow, .OutType = QStringLiteral("农户自提"), .OutTime = now, .Weight = "40"};
    EXPECT_EQ(TOutboundLogic(dm).Save(out).Refusal, "出库失败：" + locked);
    const TSettleInput settle{.BatchNo = stored.BatchNo, .Items = {"100", "0", "0", "0", "0"}, .Paid = "100", .SettleTime = now};
    EXPECT_EQ(TSettleLogic(dm).Save(settle).Refusal, "保存失败：" + locked);
    EXPECT_EQ(TDispatchLogic(dm).Save({.BatchNo = waiting, .EquipID = 1, .WhInID = 1, .StartTime = now}).Refusal, "派工失败：" + locked);
    const TRoundEndInput end{.EndTime = now, .OutMoisture = "14", .DryNetWt = "8000", .DryHours = "1", .LossWt = "0",
                             .LossRate = "0", .DryWhID = 2};
    EXPECT_EQ(TDryEndLogic(dm).Pass(*round, end).Refusal, "入仓失败：" + locked);
    EXPECT_EQ(TDryEndLogic(dm).Fail(*round, end).Refusal, "返烘单生成失败：" + locked);
    TBatchInput correction = TBatchLogic(dm).Load(waiting)->Input;
    correction.WetNetWt = "9000";
    EXPECT_EQ(TBatchLogic(dm).Save(correction).Refusal, "保存失败：" + locked);
    try {
        TBatchVoidLogic(dm).Void(waiting, QStringLiteral("录错"));
        ADD_FAILURE() << "voided under another station's lock";
    } catch (const TDbError& e) {
        EXPECT_EQ(DbErrorText(e), locked);
    }
    EXPECT_FALSE(dm.InTransaction());
    EXPECT_EQ(written(), before) << "nothing of the refused saves stays behind, not even a number drawn";

    // The other station is done: the same saves go through, numbered as if nothing had been refused.
    other.RollbackTrans();
    EXPECT_EQ(TOutboundLogic(dm).Save(out).OutNo, Numbered("CK", 1, 1));
    EXPECT_EQ(TSettleLogic(dm).Save(settle).SettleNo, Numbered("JS", 1, 1));
    EXPECT_TRUE(TDryEndLogic(dm).Pass(*round, end).Saved());
    EXPECT_EQ(TBatchVoidLogic(dm).Void(waiting, QStringLiteral("录错")), "");
}

// Two weighbridges with the same intake open in their dialogs, on either engine: the first save
// is kept, the second is refused naming what changed, writes nothing and keeps what its clerk typed.
TEST(TwoDialogs, TheSecondSaveOfOneIntakeIsRefusedAndKeepsItsInput) {
    TTestCentre c;
    TTestPrompter prompter;
    TDM other(c.paths().Database());
    other.Connect();
    other.SetLogUser("u_2");

    const QString batch = c.registeredBatch(10000);
    TfrmBatchEdit first(c.dm(), batch);
    TfrmBatchEdit second(other, batch);
    first.edGross->setText("12500");
    first.edTare->setText("2000");
    first.DoOK();
    ASSERT_EQ(first.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    second.edCar->setText(QStringLiteral("皖B12345"));
    second.DoOK();
    EXPECT_NE(second.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.LastText().startsWith(QStringLiteral("该记录已被其他电脑修改（改动了：毛重、皮重、湿粮净重、预计烘干费")))
        << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().endsWith(QStringLiteral("修改登记），请关闭后重新打开再保存")));
    EXPECT_EQ(second.edCar->text(), QStringLiteral("皖B12345"));
    EXPECT_EQ(c.rows("SELECT CarNo, WetNetWt FROM T_Batch WHERE BatchNo=:b", {{"b", batch}}), "/10500");
    // Opened again, it saves.
    TfrmBatchEdit again(other, batch);
    again.edCar->setText(QStringLiteral("皖B12345"));
    again.DoOK();
    EXPECT_EQ(again.result(), QDialog::Accepted);

}
