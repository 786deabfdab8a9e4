#include "app/uMain.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
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
}  // namespace

TEST(Backup, CopyOfALiveDatabaseHoldsCommittedRowsOnly) {
    TTestCentre c;
    AddFarmer(c.dm(), "已提交");
    {
        // Another program's open transaction stays out of the copy.
        TDM other(c.paths().Database());
        ASSERT_TRUE(other.Connect());
        other.BeginTrans();
        AddFarmer(other, "未提交");
        c.dm().BackupTo(c.paths().BackupDir() + "/open.mdb");
        other.RollbackTrans();
        EXPECT_EQ(ReadCopy(c.paths().BackupDir() + "/open.mdb"), QStringList{"已提交"});
    }

    std::atomic<bool> stop{false};
    std::atomic<int> committed{1};
    std::thread writer([&] {
        TDM other(c.paths().Database());
        other.Connect();
        while (!stop) {
            try {
                TTransaction tx(other);
                AddFarmer(other, "写入中");
                AddFarmer(other, "写入中");
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
        const qsizetype rows = ReadCopy(target).size();
        EXPECT_GE(rows, before);
        EXPECT_LE(rows, after);
        EXPECT_EQ(rows % 2, 1);  // rows go in pairs, one transaction each: never half of one
    }
    stop = true;
    writer.join();
}

TEST(Backup, ReportedAndLoggedOnSuccess) {
    EXPECT_EQ(BackupTarget("/centre/Backup", QDateTime(QDate(2025, 3, 3), QTime(14, 5, 9))),
              QDir::toNativeSeparators("/centre/Backup/Movelkar_20250303_140509.mdb"));
    TTestCentre c;
    TTestPrompter prompter;
    AddFarmer(c.dm(), "张三");
    QDir(c.paths().BackupDir()).removeRecursively();
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    w.DoBackup();
    const QString text = prompter.LastText();
    ASSERT_TRUE(text.startsWith(QStringLiteral("数据已备份到："))) << qPrintable(text);
    const QString target = text.mid(QStringLiteral("数据已备份到：").size());
    EXPECT_EQ(QDir::cleanPath(QFileInfo(target).absolutePath()), QDir::cleanPath(c.paths().BackupDir()));
    EXPECT_EQ(ReadCopy(target), QStringList{"张三"});
    EXPECT_EQ(c.rows("SELECT TblName, RefNo, Detail FROM T_Log WHERE ActType='数据备份'"), "T_User//" + target);
    // A second copy in the same second replaces the first.
    AddFarmer(c.dm(), "后来的");
    c.dm().BackupTo(target);
    EXPECT_EQ(ReadCopy(target), (QStringList{"张三", "后来的"}));
}

namespace {
// Writes beyond `bytes` fail in this process, as they do on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limited{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        previous_ = signal(SIGXFSZ, SIG_IGN);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    sighandler_t previous_ = nullptr;
};
}  // namespace

TEST(Backup, AFailedCopyLeavesNothingBehindAndSaysWhy) {
    TTestCentre c;
    TTestPrompter prompter;
    TTransaction tx(c.dm());
    for (int i = 0; i < 3000; ++i)
        c.dm().ExecSQLP("INSERT INTO T_Farmer(Name,Address,Blacklist) VALUES(:n,:a,0)",
                        {{"n", QStringLiteral("农户%1").arg(i)}, {"a", QString(40, QChar(u'路'))}});
    tx.Commit();
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
    QFile blocker(c.paths().BackupDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.DoBackup();
    EXPECT_EQ(prompter.LastText(), failure + QStringLiteral("无法创建备份文件（请检查 Backup 文件夹是否存在、能否写入）"));

    for (const auto& shown : prompter.Shown) EXPECT_EQ(shown.kind, TMsgKind::Warn);
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}
