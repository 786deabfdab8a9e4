#include "app/uAutoBackup.h"
#include "app/uMain.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {
QDateTime At(int y, int m, int d, int h, int min = 0) { return QDateTime(QDate(y, m, d), QTime(h, min)); }

void LogAt(TDM& dm, const QDateTime& at, const QString& action) {
    dm.ExecSQLP("INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) VALUES(:t,'admin',:a,'T_Batch','','')",
                {{"t", at}, {"a", action}});
}

void Touch(const QString& path) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("x");
}

QStringList Names(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }
}  // namespace

TEST(AutoBackup, MadeOnTheFirstLoginOfADayAndAtAnExitAfterWorkThatHasNone) {
    TTestCentre c;
    QDateTime now = At(2026, 3, 2, 7, 50);
    TDailyBackup daily(c.dm(), c.paths().BackupDir(), {}, [&] { return now; });
    EXPECT_TRUE(daily.Status().Overdue);  // never backed up
    ASSERT_TRUE(daily.DueAtLogin());
    const TBackupRun first = daily.RunNow();
    ASSERT_TRUE(first.Ok) << qPrintable(first.Reason);
    EXPECT_EQ(daily.Record(first), QString());
    EXPECT_EQ(Names(c.paths().BackupDir()), QStringList{"Movelkar_20260302_075000.mdb"});
    EXPECT_TRUE(c.logActions().contains("自动备份"));

    now = At(2026, 3, 2, 13);  // the second login of the day
    EXPECT_FALSE(daily.DueAtLogin());
    LogAt(c.dm(), now, "收粮登记");
    EXPECT_FALSE(daily.DueAtExit());  // the day has its copy

    now = At(2026, 3, 3, 6);  // a new day: logins and backups are no work
    EXPECT_TRUE(daily.DueAtLogin());
    LogAt(c.dm(), now, "登录");
    EXPECT_FALSE(daily.DueAtExit());
    LogAt(c.dm(), now.addSecs(600), "出库");
    EXPECT_TRUE(daily.DueAtExit());

    EXPECT_EQ(daily.Status().Text, "  上次备份：2026-03-02 07:50");
    now = At(2026, 3, 5, 7, 50);
    EXPECT_FALSE(daily.Status().Overdue);  // three days exactly
    now = At(2026, 3, 5, 7, 51);
    EXPECT_TRUE(daily.Status().Overdue);
}

TEST(AutoBackup, OlderCopiesGoOnlyAfterANewCopyPassedItsCheck) {
    // The newest copy of each of the last 3 days and of the last 2 months stays.
    const QList<QDateTime> made{At(2026, 3, 10, 17), At(2026, 3, 10, 8), At(2026, 3, 9, 8), At(2026, 3, 5, 8),
                                At(2026, 3, 1, 8),   At(2026, 2, 27, 8), At(2026, 2, 10, 8), At(2026, 1, 31, 8),
                                At(2025, 12, 31, 8)};
    QList<TBackupFile> copies;
    for (const QDateTime& at : made) copies.append({at.toString("yyyyMMdd_HHmm"), at, 1});
    EXPECT_EQ(CopiesBeyondKeeping(copies, {3, 2}),
              (QStringList{"20260310_0800", "20260301_0800", "20260210_0800", "20260131_0800", "20251231_0800"}));

    TTestCentre c;
    QTemporaryDir dir;
    for (const QDateTime& at : made) Touch(BackupTarget(dir.path(), at));
    Touch(dir.filePath("Movelkar_恢复前_20260101_080000.mdb"));  // not a backup: never removed
    const QStringList before = Names(dir.path());

    // A copy that fails leaves every older copy, and no file of its own.
    QFile damaged(c.paths().AppDir + "damaged.db");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'z'));
    damaged.close();
    const TBackupRun failed = MakeBackup(TDbConfig::File(damaged.fileName()), dir.path(), At(2026, 3, 11, 8), {3, 2});
    EXPECT_FALSE(failed.Ok);
    EXPECT_FALSE(failed.Reason.isEmpty());
    EXPECT_EQ(Names(dir.path()), before);
    TDailyBackup daily(c.dm(), dir.path(), {3, 2});
    EXPECT_TRUE(daily.Record(failed).contains(failed.Reason));
    EXPECT_EQ(daily.Record(failed), QString());  // shown once
    EXPECT_EQ(c.logActions().count("自动备份失败"), 2);
    QFile::remove(damaged.fileName());

    const TBackupRun made11 = MakeBackup(c.dm().Config(), dir.path(), At(2026, 3, 11, 8), {3, 2});
    ASSERT_TRUE(made11.Ok) << qPrintable(made11.Reason);
    EXPECT_EQ(Names(dir.path()),
              (QStringList{"Movelkar_20260227_080000.mdb", "Movelkar_20260309_080000.mdb", "Movelkar_20260310_170000.mdb",
                           "Movelkar_20260311_080000.mdb", "Movelkar_恢复前_20260101_080000.mdb"}));
    EXPECT_EQ(made11.Removed.size(), 6);
}

TEST(AutoBackup, TheMainWindowMakesTheDaysCopyInTheBackgroundAndShowsIt) {
    TTestCentre c;
    TTestPrompter prompter;
    QSettings(c.paths().StationIni(), QSettings::IniFormat).setValue("backup/Auto", true);
    {
        TfrmMain w(c.dm(), c.paths());
        w.BuildUI();
        auto* background = w.findChild<TBackgroundBackup*>();
        ASSERT_TRUE(background);
        QSignalSpy finished(background, &TBackgroundBackup::Finished);
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_EQ(w.BackupPanelText().trimmed(),
                  "上次备份：" + ListBackups(c.paths().BackupDir()).first().MadeAt.toString("yyyy-MM-dd HH:mm"));
        w.close();
    }
    {
        TfrmMain again(c.dm(), c.paths());  // the second login of the day
        again.BuildUI();
        again.close();
    }
    EXPECT_EQ(ListBackups(c.paths().BackupDir()).size(), 1);
    EXPECT_EQ(c.logActions(), (QStringList{"登录", "自动备份", "退出", "登录", "退出"}));
    EXPECT_TRUE(prompter.Shown.empty());
}
