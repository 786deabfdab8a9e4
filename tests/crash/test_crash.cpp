// Power loss at harvest time, many times over: a worker process saves intake, corrections,
// dispatches, re-dries, passes, outbounds, settlements and voids in a loop on one file and is
// killed with SIGKILL at random moments. After each kill the file is opened the way the program
// starts, and must be whole, consistent, keep every save the worker had reported, and log every
// change it keeps.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uFee.h"
#include "workflow/uStockRule.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <cmath>
#include <iostream>

namespace {
constexpr int kKills = 60;

// What the file holds about one batch.
struct TBatchFacts {
    QString Status, CarNo;
    int Edits = 0;  // the worker counts its corrections in the quality memo
    int WetRows = 0, WetLive = 0, WetRetired = 0, DryRows = 0, DryLive = 0, StockRows = 0, StockVoided = 0;
    int InMoves = 0, Rounds = 0, RoundHi = 0, OpenRounds = 0;
    int DryOut = 0, OutRows = 0, OutMoves = 0, OutLogs = 0;
    double DryQty = 0, OutSum = 0, OutMoveSum = 0;
    QHash<QString, int> Logs;  // action word -> rows
    QStringList Settlements;
};

// A settlement as the file holds it, in fen, and the log rows under its number.
struct TSettleFacts {
    QString BatchNo, Status;
    qint64 Items = 0, Total = 0, Paid = 0, Debt = 0;
    bool Stored = false;
    QHash<QString, int> Logs;
};

struct TFileFacts {
    QHash<QString, TBatchFacts> Batches;
    QHash<QString, QString> OutBatch;  // outbound number -> its batch
    QHash<QString, TSettleFacts> Settlements;
    qint64 RowsRead = 0;
};

TFileFacts ReadFacts(TDM& dm) {
    TFileFacts f;
    const auto each = [&](const char* sql, const std::function<void(const TStatement&)>& row) {
        TStatement st = dm.NewQuery(QString::fromUtf8(sql));
        while (st.Next()) {
            row(st);
            ++f.RowsRead;
        }
    };
    each("SELECT BatchNo, Status, CarNo, QualityMemo FROM T_Batch", [&](const TStatement& st) {
        TBatchFacts& b = f.Batches[VarToStr(st.Value(0))];
        b.Status = VarToStr(st.Value(1));
        b.CarNo = VarToStr(st.Value(2));
        b.Edits = VarToStr(st.Value(3)).mid(1).toInt();
    });
    each("SELECT s.BatchNo, w.WhType, s.Status, s.Qty FROM T_Stock s LEFT JOIN T_Wh w ON w.WhID=s.WhID",
         [&](const TStatement& st) {
             TBatchFacts& b = f.Batches[VarToStr(st.Value(0))];
             const bool wet = VarToStr(st.Value(1)) == QStringLiteral("湿粮区");
             const QString status = VarToStr(st.Value(2));
             ++b.StockRows;
             b.StockVoided += status == kStatusVoid;
             if (wet) {
                 ++b.WetRows;
                 b.WetLive += status == kStatusWaiting;
                 b.WetRetired += status == kStockOut;
             } else {
                 ++b.DryRows;
                 b.DryLive += status == kStatusInStore;
                 b.DryOut += status == kStockOut;
                 b.DryQty += VarToFloat(st.Value(3), 0);
             }
         });
    each("SELECT BatchNo, MoveType, Qty FROM T_StockMove", [&](const TStatement& st) {
        TBatchFacts& b = f.Batches[VarToStr(st.Value(0))];
        if (VarToStr(st.Value(1)) == QStringLiteral("入仓")) {
            ++b.InMoves;
            return;
        }
        ++b.OutMoves;
        b.OutMoveSum += VarToFloat(st.Value(2), 0);
    });
    each("SELECT OutNo, BatchNo, OutWt FROM T_Outbound", [&](const TStatement& st) {
        const QString batchNo = VarToStr(st.Value(1));
        f.OutBatch[VarToStr(st.Value(0))] = batchNo;
        TBatchFacts& b = f.Batches[batchNo];
        ++b.OutRows;
        b.OutSum += VarToFloat(st.Value(2), 0);
    });
    each("SELECT BatchNo, Round, EndTime IS NULL FROM T_Drying", [&](const TStatement& st) {
        TBatchFacts& b = f.Batches[VarToStr(st.Value(0))];
        ++b.Rounds;
        b.RoundHi = std::max(b.RoundHi, VarToInt(st.Value(1)));
        b.OpenRounds += VarToInt(st.Value(2));
    });
    const auto fen = [](const TValue& v) { return v.MoneyUnits() / 100; };
    each("SELECT SettleNo, BatchNo, Status, BaseFee+MoistureExtra+StorageFee+ReDryFee+OtherFee, TotalFee, PaidAmt, "
         "DebtAmt FROM T_Settle",
         [&](const TStatement& st) {
             TSettleFacts& s = f.Settlements[VarToStr(st.Value(0))];
             s.BatchNo = VarToStr(st.Value(1));
             s.Status = VarToStr(st.Value(2));
             s.Items = std::llround(VarToFloat(st.Value(3)) * 100);
             s.Total = fen(st.Value(4));
             s.Paid = fen(st.Value(5));
             s.Debt = fen(st.Value(6));
             s.Stored = true;
             f.Batches[s.BatchNo].Settlements << VarToStr(st.Value(0));
         });
    // An outbound is logged under its own number.
    each("SELECT RefNo, ActType, TblName FROM T_Log", [&](const TStatement& st) {
        const QString refNo = VarToStr(st.Value(0));
        if (VarToStr(st.Value(2)) == "T_Settle")
            ++f.Settlements[refNo].Logs[VarToStr(st.Value(1))];
        else if (const auto out = f.OutBatch.constFind(refNo); out != f.OutBatch.cend())
            f.Batches[*out].OutLogs += VarToStr(st.Value(1)) == QStringLiteral("出库");
        else
            ++f.Batches[refNo].Logs[VarToStr(st.Value(1))];
    });
    return f;
}

// Every way a batch can be half-saved or a change left unlogged, as one line per fault.
QStringList BatchFaults(const QString& no, const TBatchFacts& b) {
    QStringList faults;
    const auto rule = [&](bool holds, const char* what) {
        if (!holds) faults << no + ": " + QString::fromUtf8(what);
    };
    // Settling a dried batch leaves its grain in store; handing all of it out empties its dry row.
    const bool stored = b.Status == kStatusInStore || b.Status == QStringLiteral("待结算") ||
                        b.Status == QStringLiteral("已完结");
    const bool isVoid = b.Status == kStatusVoid;
    const bool emptied = b.DryRows == 1 && IsEmptied(b.DryQty - b.OutSum);
    rule(!b.Status.isEmpty(), "stock, rounds or log rows without their batch");
    rule(b.WetRows == 1, "not exactly one wet-grain row");
    rule(isVoid || stored || (b.WetLive == 1 && b.DryRows == 0 && b.InMoves == 0),
         "waiting or drying batch with its wet row retired or dry grain stored");
    rule(isVoid || !stored || (b.DryRows == 1 && b.InMoves == 1 && b.WetRetired == 1 && b.OpenRounds == 0),
         "stored batch without its dry row, its 入仓 move and its wet row retired");
    rule(isVoid || !stored || (b.DryLive == 1) == !emptied, "dry row not in store exactly while it holds grain");
    rule(isVoid || (b.DryOut == 1) == emptied, "dry row not retired exactly when it is emptied");
    rule(!emptied || isVoid || b.Status != kStatusInStore, "batch left in store with all its grain handed out");
    rule(b.OutSum <= b.DryQty + kWeightSlack + 1e-6, "more grain handed out than was stored");
    rule(b.OutMoves == b.OutRows && std::fabs(b.OutMoveSum - b.OutSum) < 1e-6, "an outbound without its 出仓 move");
    rule(b.OutLogs == b.OutRows, "an outbound without its log row");
    rule(b.Status != kStatusWaiting || b.Rounds == 0, "waiting batch with a drying round");
    rule(b.Status != kStatusDrying || b.OpenRounds == 1, "drying batch without exactly one open round");
    rule(b.RoundHi == b.Rounds, "rounds not numbered 1, 2, 3 ...");
    rule(isVoid ? b.StockVoided == b.StockRows : b.StockVoided == 0, "stock rows not voided with their batch");
    rule(b.Logs.value(QStringLiteral("收粮登记")) == 1, "intake not logged exactly once");
    rule(b.Logs.value(QStringLiteral("修改登记")) == b.Edits, "a correction without its log row");
    rule(b.Logs.value(QStringLiteral("派工上机")) == (b.Rounds > 0 ? 1 : 0), "dispatch not logged exactly once");
    rule(b.Logs.value(QStringLiteral("返烘")) == std::max(b.Rounds - 1, 0), "a re-dry without its log row");
    rule(b.Logs.value(QStringLiteral("烘干入仓")) == b.InMoves, "a pass into store without its log row");
    rule(b.Logs.value(QStringLiteral("作废")) == (isVoid ? 1 : 0), "a void without its log row");
    rule(b.Settlements.size() <= 1, "settled twice");
    return faults;
}

// A settlement is whole: its money adds up, its batch moved with it, it was logged once under a
// number never given to another, and it is gone exactly when its void was logged.
QStringList SettleFaults(const QString& no, const TSettleFacts& s, const TFileFacts& f) {
    QStringList faults;
    const auto rule = [&](bool holds, const char* what) {
        if (!holds) faults << no + ": " + QString::fromUtf8(what);
    };
    const bool voided = s.Logs.value(QStringLiteral("作废结算")) > 0;
    rule(s.Logs.value(QStringLiteral("结算")) == 1, "not logged exactly once when made, or its number reused");
    rule(s.Stored != voided, "voided but still there, or gone without its void logged");
    if (!s.Stored) return faults;
    TSettleAmounts a;
    a.Items[0] = double(s.Items) / 100;
    a.Paid = double(s.Paid) / 100;
    const TSettleTotals t = SettleTotals(a);
    rule(s.Total == s.Items && s.Debt == std::llround(t.Debt * 100) && s.Status == t.Status,
         "total, debt or status not as its items and the money received give");
    const QString batch = f.Batches.value(s.BatchNo).Status;
    rule(batch == kStatusVoid || batch == (s.Status == kSettledInFull ? "已完结" : "待结算"),
         "batch status not moved with the settlement");
    return faults;
}

// Numbers are drawn one above the day's highest, so a day's batch and outbound numbers run 001,
// 002 ... with no gap and each load (its unique plate) has one: a lost save would leave a gap or
// a reused number.
QStringList NumberFaults(const TFileFacts& f) {
    QHash<QString, int> highest, count;
    QHash<QString, QString> plates;
    QStringList faults;
    for (auto it = f.Batches.cbegin(); it != f.Batches.cend(); ++it) {
        if (it->Status.isEmpty()) continue;
        const QString day = it.key().left(10);
        highest[day] = std::max(highest[day], it.key().mid(10).toInt());
        ++count[day];
        if (plates.contains(it->CarNo)) faults << it.key() + ": the load of " + plates[it->CarNo] + " numbered again";
        plates[it->CarNo] = it.key();
    }
    for (auto it = f.OutBatch.cbegin(); it != f.OutBatch.cend(); ++it) {
        const QString day = it.key().left(10);
        highest[day] = std::max(highest[day], it.key().mid(10).toInt());
        ++count[day];
    }
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (highest[it.key()] != it.value())
            faults << QStringLiteral("%1: %2 numbers up to %3").arg(it.key()).arg(it.value()).arg(highest[it.key()]);
    return faults;
}

// Every save the worker reported before it was killed is still in the file.
QStringList LostSaves(const TFileFacts& f, const QString& reportPath, qint64& checked) {
    QFile report(reportPath);
    if (!report.open(QIODevice::ReadOnly)) return {};
    QStringList faults;
    for (const QByteArray& raw : report.readAll().split('\n')) {
        const QStringList p = QString::fromUtf8(raw).split(' ');
        if (p.size() != 3) continue;
        ++checked;
        const TBatchFacts b = f.Batches.value(p[1]);
        const QString what = p[0];
        const TSettleFacts s = f.Settlements.value(p[2]);
        const bool settleVoided = s.Logs.value(QStringLiteral("作废结算")) > 0;
        const bool kept = what == "intake"     ? b.CarNo == p[2]
                          : what == "edit"     ? b.Edits >= p[2].toInt()
                          : what == "dispatch" ? b.Rounds >= 1
                          : what == "redry"    ? b.RoundHi >= p[2].toInt()
                          : what == "pass"     ? b.InMoves == 1
                          : what == "void"     ? b.Status == kStatusVoid
                          : what == "out"      ? f.OutBatch.value(p[2]) == p[1]
                          : what == "settle"   ? s.Stored || settleVoided
                          : what == "repay"    ? s.Status == kSettledInFull || settleVoided
                          : what == "unsettle" ? !s.Stored && settleVoided
                                               : false;
        if (!kept) faults << "lost: " + QString::fromUtf8(raw);
    }
    return faults;
}
// A journal whose header is written holds the old pages of a save the kill cut off; the next
// start plays it back.
bool HoldsACutOffSave(const QString& journal) {
    QFile f(journal);
    return f.open(QIODevice::ReadOnly) && f.read(8) == QByteArray::fromHex("d9d505f920a163d7");
}
}  // namespace

TEST(CrashSafety, KilledAtRandomMomentsTheFileStaysWholeAndKeepsEverySave) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    const QString report = dir.path() + "/saves.txt";
    {
        TTestPrompter prompter;
        auto dm = PrepareDatabase(paths);
        ASSERT_NE(dm, nullptr);
        dm->ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist,CustType) VALUES('张三',0,'农户代烘')");
    }

    int cutOff = 0;
    qint64 rowsRead = 0, reportsChecked = 0;
    for (int run = 1; run <= kKills; ++run) {
        QProcess worker;
        worker.start(QStringLiteral(CRASH_WORKER), {paths.DbPath(), report, QString::number(run)});
        ASSERT_TRUE(worker.waitForStarted());
        QThread::msleep(QRandomGenerator::global()->bounded(30, 600));
        ASSERT_EQ(worker.state(), QProcess::Running) << worker.readAllStandardError().constData();
        worker.kill();
        ASSERT_TRUE(worker.waitForFinished());
        if (HoldsACutOffSave(paths.DbPath() + "-journal")) ++cutOff;

        TTestPrompter prompter;
        auto dm = PrepareDatabase(paths);
        ASSERT_NE(dm, nullptr) << "start-up refused the file after kill " << run << ": "
                               << qPrintable(prompter.LastText());
        EXPECT_TRUE(prompter.Shown.empty()) << qPrintable(prompter.LastText());
        ASSERT_EQ(VarToStr(dm->ScalarP("PRAGMA integrity_check")), "ok") << "after kill " << run;

        const TFileFacts facts = ReadFacts(*dm);
        rowsRead += facts.RowsRead;
        QStringList faults = NumberFaults(facts) + LostSaves(facts, report, reportsChecked);
        for (auto it = facts.Batches.cbegin(); it != facts.Batches.cend(); ++it) faults += BatchFaults(it.key(), *it);
        for (auto it = facts.Settlements.cbegin(); it != facts.Settlements.cend(); ++it)
            faults += SettleFaults(it.key(), *it, facts);
        ASSERT_TRUE(faults.isEmpty()) << "after kill " << run << ":\n" << qPrintable(faults.mid(0, 20).join('\n'));
    }

    TDM dm(paths.DbPath());
    dm.Connect();
    std::cout << "[ crash    ] " << kKills << " kills survived, " << cutOff << " with a save cut off half-way; "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch")) << " batches, "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Outbound")) << " outbounds, "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Settle")) << " settlements, "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Log")) << " log rows in the end; " << rowsRead
              << " rows and " << reportsChecked << " reported saves checked" << std::endl;
}
