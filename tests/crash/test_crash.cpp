// Power loss at harvest time, many times over: a worker process saves intake, corrections,
// dispatches, re-dries, passes, outbounds, settlements and voids in a loop on one file and is
// killed with SIGKILL at random moments. After each kill the file is opened the way the program
// starts, and must be whole, consistent, keep every save the worker had reported, and log every
// change it keeps.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "support/TestIntegrity.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uFee.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <functional>
#include <iostream>

namespace {
constexpr int kKills = 60;

// What the worker's reports are checked against.
struct TBatchFacts {
    QString Status, CarNo;
    int Edits = 0, Rounds = 0, InMoves = 0;  // the worker counts its corrections in the quality memo
};

struct TFileFacts {
    QHash<QString, TBatchFacts> Batches;
    QHash<QString, QString> OutBatch;         // outbound number -> its batch
    QHash<QString, QString> Settlements;      // settlement number -> its status
    QStringList VoidedSettlements;
};

void EachRow(TDM& dm, const char* sql, const std::function<void(const TStatement&)>& row) {
    TStatement st = dm.NewQuery(QString::fromUtf8(sql));
    while (st.Next()) row(st);
}

TFileFacts ReadFacts(TDM& dm) {
    TFileFacts f;
    EachRow(dm,
            "SELECT b.BatchNo, b.Status, b.CarNo, b.QualityMemo, (SELECT MAX(Round) FROM T_Drying d WHERE "
            "d.BatchNo=b.BatchNo), (SELECT COUNT(*) FROM T_StockMove m WHERE m.BatchNo=b.BatchNo AND m.MoveType='入仓') "
            "FROM T_Batch b",
            [&](const TStatement& st) {
                f.Batches[VarToStr(st.Value(0))] = {VarToStr(st.Value(1)), VarToStr(st.Value(2)),
                                                    VarToStr(st.Value(3)).mid(1).toInt(), VarToInt(st.Value(4)),
                                                    VarToInt(st.Value(5))};
            });
    EachRow(dm, "SELECT OutNo, BatchNo FROM T_Outbound",
            [&](const TStatement& st) { f.OutBatch[VarToStr(st.Value(0))] = VarToStr(st.Value(1)); });
    EachRow(dm, "SELECT SettleNo, Status FROM T_Settle",
            [&](const TStatement& st) { f.Settlements[VarToStr(st.Value(0))] = VarToStr(st.Value(1)); });
    EachRow(dm, "SELECT RefNo FROM T_Log WHERE TblName='T_Settle' AND ActType='作废结算'",
            [&](const TStatement& st) { f.VoidedSettlements << VarToStr(st.Value(0)); });
    return f;
}

// What a cut-off save could leave that the centre's own consistency rules do not look at.
const std::pair<const char*, const char*> kCrashRules[] = {
    {"stock, rounds, moves or log rows without their batch",
     "SELECT BatchNo FROM T_Stock UNION SELECT BatchNo FROM T_Drying UNION SELECT BatchNo FROM T_StockMove "
     "UNION SELECT RefNo FROM T_Log WHERE ActType IN ('修改登记','派工上机','返烘','烘干入仓','作废') "
     "EXCEPT SELECT BatchNo FROM T_Batch"},
    {"a correction without its log row",
     "SELECT BatchNo FROM T_Batch b WHERE COALESCE(CAST(substr(QualityMemo,2) AS INTEGER),0)<>"
     "(SELECT COUNT(*) FROM T_Log l WHERE l.RefNo=b.BatchNo AND l.ActType='修改登记')"},
    {"an outbound without its 出仓 move",
     "SELECT BatchNo FROM T_Batch b WHERE (SELECT COUNT(*) FROM T_Outbound o WHERE o.BatchNo=b.BatchNo)<>"
     "(SELECT COUNT(*) FROM T_StockMove m WHERE m.BatchNo=b.BatchNo AND m.MoveType<>'入仓') OR "
     "abs((SELECT COALESCE(SUM(OutWt),0) FROM T_Outbound o WHERE o.BatchNo=b.BatchNo)-"
     "(SELECT COALESCE(SUM(Qty),0) FROM T_StockMove m WHERE m.BatchNo=b.BatchNo AND m.MoveType<>'入仓'))>1e-6"},
    {"a settlement not logged once when made, its number reused, or voided but still there",
     "SELECT RefNo FROM T_Log WHERE TblName='T_Settle' GROUP BY RefNo HAVING SUM(ActType='结算')<>1 OR "
     "(SUM(ActType='作废结算')>0)=(RefNo IN (SELECT SettleNo FROM T_Settle))"},
    // Numbers are drawn one above the day's highest, so a day's batch and outbound numbers run
    // 001, 002 ... with no gap, and each load (its unique plate) has one: a lost save would leave
    // a gap or a reused number.
    {"numbers with a gap",
     "SELECT substr(No,1,10) AS Day FROM (SELECT BatchNo AS No FROM T_Batch UNION ALL SELECT OutNo FROM T_Outbound) "
     "GROUP BY Day HAVING MAX(CAST(substr(No,11) AS INTEGER))<>COUNT(*)"},
    {"a load numbered twice", "SELECT CarNo FROM T_Batch GROUP BY CarNo HAVING COUNT(*)>1"},
    {"batch status not moved with its settlement",
     "SELECT s.SettleNo FROM T_Settle s JOIN T_Batch b ON b.BatchNo=s.BatchNo WHERE b.Status<>'已作废' AND "
     "b.Status<>CASE WHEN s.Status='已结清' THEN '已完结' ELSE '待结算' END"},
};

QStringList CrashFaults(TDM& dm) {
    QStringList faults;
    for (const auto& [what, sql] : kCrashRules)
        EachRow(dm, sql, [&](const TStatement& st) { faults << VarToStr(st.Value(0)) + ": " + what; });
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
        const QString settle = f.Settlements.value(p[2]);
        const bool settleVoided = f.VoidedSettlements.contains(p[2]);
        const bool kept = what == "intake"     ? b.CarNo == p[2]
                          : what == "edit"     ? b.Edits >= p[2].toInt()
                          : what == "dispatch" ? b.Rounds >= 1
                          : what == "redry"    ? b.Rounds >= p[2].toInt()
                          : what == "pass"     ? b.InMoves == 1
                          : what == "void"     ? b.Status == kStatusVoid
                          : what == "out"      ? f.OutBatch.value(p[2]) == p[1]
                          : what == "settle"   ? !settle.isEmpty() || settleVoided
                          : what == "repay"    ? settle == kSettledInFull || settleVoided
                          : what == "unsettle" ? settle.isEmpty() && settleVoided
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
    qint64 reportsChecked = 0;
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
        const QStringList faults = IntegrityFaults(*dm) + CrashFaults(*dm) +
                                   LostSaves(facts, report, reportsChecked);
        ASSERT_TRUE(faults.isEmpty()) << "after kill " << run << ":\n" << qPrintable(faults.mid(0, 20).join('\n'));
    }

    TDM dm(paths.DbPath());
    dm.Connect();
    std::cout << "[ crash    ] " << kKills << " kills survived, " << cutOff << " with a save cut off half-way; "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch")) << " batches, "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Settle")) << " settlements, "
              << VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Log")) << " log rows in the end; " << reportsChecked
              << " reported saves checked" << std::endl;
}
