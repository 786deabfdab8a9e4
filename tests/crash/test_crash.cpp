// Power loss at harvest time, many times over: a worker process saves intake, corrections,
// dispatches, re-dries, passes, outbounds, settlements and voids in a loop on one file and is
// killed with SIGKILL at random moments. After each kill the file is opened the way the program
// starts, and must be whole, consistent, keep every save the worker had reported, and log every
// change it keeps.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "support/TestIntegrity.h"
#include "support/TestPrompter.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <functional>
#include <iostream>

namespace {
constexpr int kKills = 60;

void EachRow(TDM& dm, const char* sql, const std::function<void(const TStatement&)>& row) {
    TStatement st = dm.NewQuery(QString::fromUtf8(sql));
    while (st.Next()) row(st);
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

// Every save the worker reported before it was killed is still in the file. The worker counts
// its corrections in the quality memo.
const char* const kLostSaves = R"(
SELECT s.What||' '||s.BatchNo||' '||s.Detail FROM saves s LEFT JOIN T_Batch b ON b.BatchNo=s.BatchNo
  LEFT JOIN T_Settle t ON t.SettleNo=s.Detail
  LEFT JOIN (SELECT DISTINCT RefNo FROM T_Log WHERE TblName='T_Settle' AND ActType='作废结算') v ON v.RefNo=s.Detail
WHERE NOT COALESCE(CASE s.What
  WHEN 'intake' THEN b.CarNo=s.Detail
  WHEN 'edit' THEN CAST(substr(b.QualityMemo,2) AS INTEGER)>=CAST(s.Detail AS INTEGER)
  WHEN 'dispatch' THEN EXISTS(SELECT 1 FROM T_Drying d WHERE d.BatchNo=s.BatchNo)
  WHEN 'redry' THEN (SELECT MAX(Round) FROM T_Drying d WHERE d.BatchNo=s.BatchNo)>=CAST(s.Detail AS INTEGER)
  WHEN 'pass' THEN EXISTS(SELECT 1 FROM T_StockMove m WHERE m.BatchNo=s.BatchNo AND m.MoveType='入仓')
  WHEN 'void' THEN b.Status='已作废'
  WHEN 'out' THEN EXISTS(SELECT 1 FROM T_Outbound o WHERE o.OutNo=s.Detail AND o.BatchNo=s.BatchNo)
  WHEN 'settle' THEN t.SettleNo IS NOT NULL OR v.RefNo IS NOT NULL
  WHEN 'repay' THEN t.Status='已结清' OR v.RefNo IS NOT NULL
  WHEN 'unsettle' THEN t.SettleNo IS NULL AND v.RefNo IS NOT NULL END, 0))";

QStringList LostSaves(TDM& dm, const QString& reportPath, qint64& checked) {
    QFile report(reportPath);
    if (!report.open(QIODevice::ReadOnly)) return {};
    dm.ExecSQLP("CREATE TEMP TABLE IF NOT EXISTS saves(What TEXT, BatchNo TEXT, Detail TEXT)");
    TTransaction tx(dm);
    dm.ExecSQLP("DELETE FROM saves");
    for (const QByteArray& raw : report.readAll().split('\n')) {
        const QStringList p = QString::fromUtf8(raw).split(' ');
        if (p.size() != 3) continue;
        ++checked;
        dm.ExecSQLP("INSERT INTO saves VALUES(:w,:b,:d)", {{"w", p[0]}, {"b", p[1]}, {"d", p[2]}});
    }
    tx.Commit();
    QStringList lost;
    EachRow(dm, kLostSaves, [&](const TStatement& st) { lost << "lost: " + VarToStr(st.Value(0)); });
    return lost;
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
        ASSERT_TRUE(dm && prompter.Shown.empty()) << "start-up after kill " << run << ": " << qPrintable(prompter.LastText());
        ASSERT_EQ(VarToStr(dm->ScalarP("PRAGMA integrity_check")), "ok") << "after kill " << run;

        const QStringList faults = IntegrityFaults(*dm) + CrashFaults(*dm) + LostSaves(*dm, report, reportsChecked);
        ASSERT_TRUE(faults.isEmpty()) << "after kill " << run << ":\n" << qPrintable(faults.mid(0, 20).join('\n'));
    }
    std::cout << "[ crash    ] " << kKills << " kills survived, " << cutOff << " with a save cut off half-way; "
              << reportsChecked << " reported saves checked" << std::endl;
}
