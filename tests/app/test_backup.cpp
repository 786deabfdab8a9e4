#include "app/uAutoBackup.h"
#include "app/uMain.h"
#include "app/uRestore.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace {
void AddFarmer(TDM& dm, const QString& name) {
    dm.ExecSQLP("INSERT INTO T_Farmer(Name,Phone,Blacklist) VALUES(:n,'',0)", {{"n", name}});
}

// Opens a backup copy on its own, checks its integrity and gives its farmer names.
QStringList ReadCopy(const QString& path) {
    TDM copy(path);
    if (!copy.Connect()) return {"<cannot open>"};
    EXPECT_EQ(VarToStr(copy.ScalarP("PRAGMA quick_check")), "ok") << qPrintable(path);
    QStringList farmers;
    const TQuery q = copy.OpenSQL("SELECT Name FROM T_Farmer ORDER BY FarmerID");
    for (int r = 0; r < q.RowCount(); ++r) farmers << VarToStr(q.Value(r, 0));
    return farmers;
}

// Writes beyond `bytes` fail in this process, as they do on a full disk.
struct TFileSizeLimit {
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limited{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        previous = signal(SIGXFSZ, SIG_IGN);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
    }
    rlimit saved{};
    sighandler_t previous = nullptr;
};

QDateTime At(int y, int m, int d, int h, int min = 0) { return QDateTime(QDate(y, m, d), QTime(h, min)); }

void LogAt(TDM& dm, const QDateTime& at, const QString& action) {
    dm.ExecSQLP("INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) VALUES(:t,'admin',:a,'T_Batch','','')",
                {{"t", at}, {"a", action}});
}

void Touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QStringList Names(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

QByteArray Digest(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}
}  // namespace

TEST(Backup, CopyOfALiveDatabaseHoldsCommittedRowsOnly) {
    TTestCentre c;
    AddFarmer(c.dm(), "已提交");
    // Another program's open transaction stays out of the copy.
    TDM other(c.paths().Database());
    ASSERT_TRUE(other.Connect());
    other.BeginTrans();
    AddFarmer(other, "未提交");
    c.dm().BackupTo(c.paths().BackupDir() + "/open.mdb");
    other.RollbackTrans();
    EXPECT_EQ(ReadCopy(c.paths().BackupDir() + "/open.mdb"), QStringList{"已提交"});
    // A second copy under the same name replaces the first.
    AddFarmer(c.dm(), "后来的");
    c.dm().BackupTo(c.paths().BackupDir() + "/open.mdb");
    EXPECT_EQ(ReadCopy(c.paths().BackupDir() + "/open.mdb"), (QStringList{"已提交", "后来的"}));

    std::atomic<bool> stop{false};
    std::atomic<int> committed{2};
    std::thread writer([&] {
        TDM station(c.paths().Database());
        station.Connect();
        while (!stop) {
            try {
                TTransaction tx(station);
                AddFarmer(station, "写入中");
                AddFarmer(station, "写入中");
                tx.Commit();
                committed += 2;
            } catch (const TDbError&) {
                // Busy while a copy is being read: the next round tries again.
            }
        }
    });
    while (committed < 21) std::this_thread::yield();
    for (int i = 0; i < 3; ++i) {
        const int before = committed;
        const QString target = c.paths().BackupDir() + QStringLiteral("/copy%1.mdb").arg(i);
        c.dm().BackupTo(target);
        const int after = committed;
        // Rows go in pairs, one transaction each: never half of one.
        const qsizetype rows = ReadCopy(target).size();
        EXPECT_TRUE(rows >= before && rows <= after && rows % 2 == 0) << before << " " << rows << " " << after;
    }
    stop = true;
    writer.join();
}

TEST(Backup, AFailedCopyLeavesNothingBehindAndSaysWhy) {
    TTestCentre c;
    TTestPrompter prompter;
    c.dm().ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<3000) "
                    "INSERT INTO T_Farmer(Name,Address,Blacklist) SELECT 'x'||i, :a, 0 FROM n",
                    {{"a", QString(40, QChar(u'路'))}});
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    const QString failure =
        TestOnServer() ? QStringLiteral("备份失败，请稍后重试。\r\n原因：")
                       : QStringLiteral("备份失败，请关闭其他占用数据库的程序后重试。\r\n也可直接复制 ") +
                             QDir::toNativeSeparators("Data/Movelkar.mdb") + QStringLiteral(" 文件进行备份。\r\n原因：");
    const auto backupFolder = [&] { return QDir(c.paths().BackupDir()).entryList(QDir::Files | QDir::Hidden); };

    // The disk fills up part-way through the copy.
    {
        TFileSizeLimit full(64 * 1024);
        w.DoBackup();
    }
    EXPECT_EQ(backupFolder(), QStringList()) << qPrintable(backupFolder().join(", "));
    EXPECT_EQ(prompter.LastText(), failure + QStringLiteral("写入备份文件时磁盘出错（磁盘可能已满或损坏）"));

    // Another program holds the database locked for longer than the window waits.
    c.dm().SetCommandTimeout(std::chrono::milliseconds(100));
    {
        TDM other(c.paths().Database());
        ASSERT_TRUE(other.Connect());
        if (TestOnServer()) {
            other.BeginTrans();
            other.ExecSQLP("LOCK TABLE T_Farmer IN ACCESS EXCLUSIVE MODE");
        } else {
            other.ExecSQLP("BEGIN EXCLUSIVE");
        }
        w.DoBackup();
    }
    EXPECT_EQ(backupFolder(), QStringList()) << qPrintable(backupFolder().join(", "));
    EXPECT_EQ(prompter.LastText(), failure + QStringLiteral("数据库正被其他程序或其他电脑占用，备份未完成，请稍后重试"));

    // A file stands where the backup folder should be.
    QDir(c.paths().BackupDir()).removeRecursively();
    Touch(c.paths().BackupDir());
    w.DoBackup();
    EXPECT_EQ(prompter.LastText(), failure + QStringLiteral("无法创建备份文件（请检查 Backup 文件夹是否存在、能否写入）"));
    for (const auto& shown : prompter.Shown) EXPECT_EQ(shown.kind, TMsgKind::Warn);
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}

TEST(AutoBackup, MadeOnTheFirstLoginOfADayAndAtAnExitAfterWorkThatHasNoneAlsoFromTheMainWindowOlderOnesPruned) {
    TTestCentre c;
    QDateTime now = At(2026, 3, 2, 7, 50);
    TDailyBackup daily(c.dm(), c.paths().BackupDir(), {}, [&] { return now; });
    ASSERT_TRUE(daily.Status().Overdue && daily.DueAtLogin());  // never backed up
    const TBackupRun first = daily.RunNow();
    ASSERT_TRUE(first.Ok) << qPrintable(first.Reason);
    EXPECT_TRUE(daily.Record(first).isEmpty() && c.logActions().contains("自动备份"));
    EXPECT_EQ(Names(c.paths().BackupDir()), QStringList{"Movelkar_20260302_075000.mdb"});

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

    // The main window makes today's copy in the background and shows it; the second login makes none.
    TTestPrompter prompter;
    QSettings(c.paths().StationIni(), QSettings::IniFormat).setValue("backup/Auto", true);
    for (int login = 1; login <= 2; ++login) {
        TfrmMain w(c.dm(), c.paths());
        w.BuildUI();
        if (auto* background = w.findChild<TBackgroundBackup*>(); login == 1) {
            ASSERT_TRUE(background);
            QSignalSpy finished(background, &TBackgroundBackup::Finished);
            ASSERT_TRUE(finished.wait(20000));
            EXPECT_EQ(w.BackupPanelText().trimmed(),
                      "上次备份：" + ListBackups(c.paths().BackupDir()).first().MadeAt.toString("yyyy-MM-dd HH:mm"));
        }
        w.close();
    }
    EXPECT_TRUE(ListBackups(c.paths().BackupDir()).size() == 2 && prompter.Shown.empty());
    EXPECT_EQ(c.logActions().mid(c.logActions().size() - 5), (QStringList{"登录", "自动备份", "退出", "登录", "退出"}));

    // Older copies go only after a new copy passed its check; the newest copy of each of the last
    // 3 days and of the last 2 months stays.
    const QList<QDateTime> made{At(2026, 3, 10, 17), At(2026, 3, 10, 8), At(2026, 3, 9, 8), At(2026, 3, 5, 8),
                                At(2026, 3, 1, 8),   At(2026, 2, 27, 8), At(2026, 2, 10, 8), At(2026, 1, 31, 8),
                                At(2025, 12, 31, 8)};
    QList<TBackupFile> copies;
    for (const QDateTime& at : made) copies.append({at.toString("yyyyMMdd_HHmm"), at, 1});
    EXPECT_EQ(CopiesBeyondKeeping(copies, {3, 2}),
              (QStringList{"20260310_0800", "20260301_0800", "20260210_0800", "20260131_0800", "20251231_0800"}));

    QTemporaryDir dir;
    for (const QDateTime& at : made) Touch(BackupTarget(dir.path(), at));
    Touch(dir.filePath("Movelkar_恢复前_20260101_080000.mdb"));  // not a backup: never removed
    const QStringList before = Names(dir.path());

    // A copy that fails leaves every older copy, and no file of its own.
    const QString damaged = c.paths().AppDir + "damaged.db";
    Touch(damaged, QByteArray(8192, 'z'));
    const TBackupRun failed = MakeBackup(TDbConfig::File(damaged), dir.path(), At(2026, 3, 11, 8), {3, 2});
    EXPECT_TRUE(!failed.Ok && !failed.Reason.isEmpty());
    EXPECT_EQ(Names(dir.path()), before);
    TDailyBackup pruned(c.dm(), dir.path(), {3, 2});
    EXPECT_TRUE(pruned.Record(failed).contains(failed.Reason) && pruned.Record(failed).isEmpty()) << "shown once";
    EXPECT_EQ(c.logActions().count("自动备份失败"), 2);
    QFile::remove(damaged);

    const TBackupRun made11 = MakeBackup(c.dm().Config(), dir.path(), At(2026, 3, 11, 8), {3, 2});
    ASSERT_TRUE(made11.Ok) << qPrintable(made11.Reason);
    EXPECT_EQ(Names(dir.path()),
              (QStringList{"Movelkar_20260227_080000.mdb", "Movelkar_20260309_080000.mdb", "Movelkar_20260310_170000.mdb",
                           "Movelkar_20260311_080000.mdb", "Movelkar_恢复前_20260101_080000.mdb"}));
    EXPECT_EQ(made11.Removed.size(), 6);
}

TEST(Restore, ADamagedCopyIsRefusedAndAGoodOnePutInPlaceWithTheOldFileKeptAside) {
    SKIP_ON_SERVER();
    TTestCentre c;
    c.addFarmer("备份前");
    const QString backupDir = c.paths().BackupDir();
    const TBackupRun good = MakeBackup(c.dm().Config(), backupDir, QDateTime(QDate(2026, 3, 1), QTime(8, 0)), {});
    ASSERT_TRUE(good.Ok) << qPrintable(good.Reason);
    c.addFarmer("备份后");
    // A copy cut short, as a full disk or a broken stick leaves it.
    const QString damaged = BackupTarget(backupDir, QDateTime(QDate(2026, 3, 2), QTime(8, 0)));
    ASSERT_TRUE(QFile::copy(good.Target, damaged) && QFile(damaged).resize(QFile(damaged).size() / 2));

    const QDateTime now(QDate(2026, 3, 5), QTime(9, 30, 15));
    TRestoreLogic logic(c.dm(), c.paths(), [&] { return now; });
    const QByteArray before = Digest(c.paths().DbPath());
    const TRestoreResult refused = logic.Restore(damaged, Session);
    EXPECT_TRUE(!refused.Ok && refused.Message.contains("没有恢复")) << qPrintable(refused.Message);
    EXPECT_TRUE(Digest(c.paths().DbPath()) == before && QDir(c.paths().AppDir + "Data").entryList({"Movelkar_*"}).isEmpty());

    const TRestoreResult restored = logic.Restore(good.Target, Session);
    ASSERT_TRUE(restored.Ok) << qPrintable(restored.Message);
    EXPECT_EQ(c.rows("SELECT Name FROM T_Farmer"), "备份前");
    const QString aside = c.paths().AppDir + "Data/Movelkar_恢复前_20260305_093015.mdb";
    EXPECT_EQ(Digest(aside), before);
    const QString detail = VarToStr(c.dm().ScalarP("SELECT ActType||Detail FROM T_Log ORDER BY LogID DESC"));
    EXPECT_TRUE(detail.startsWith("数据恢复") && detail.contains("Movelkar_20260301_080000.mdb") &&
                detail.contains(Session.LoginName) && detail.contains("Movelkar_恢复前_20260305_093015.mdb"))
        << qPrintable(detail);
    EXPECT_FALSE(QFile::exists(c.paths().AppDir + "Data/Movelkar_恢复中.tmp"));

    c.loginAs(Roles::Finance);
    EXPECT_EQ(logic.Refusal(Session), "只有管理员可以恢复数据");
}
