#include "app/uMain.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {
int AddFarmer(TDM& dm, const QString& name) {
    dm.ExecSQLP("INSERT INTO T_Farmer(Name,Phone,Blacklist) VALUES(:n,'',0)", {{"n", name}});
    return int(dm.LastInsertId());
}

// Opens a backup copy on its own and reports its integrity and farmer names.
struct TCopy {
    QString check;
    QStringList farmers;
};
TCopy ReadCopy(const QString& path) {
    TDM copy(path);
    if (!copy.Connect()) return {};
    TCopy result{VarToStr(copy.ScalarP("PRAGMA quick_check")), {}};
    const TQuery q = copy.OpenSQL("SELECT Name FROM T_Farmer ORDER BY FarmerID");
    for (int r = 0; r < q.RowCount(); ++r) result.farmers << VarToStr(q.Value(r, 0));
    return result;
}

const QString kFailure = QStringLiteral("备份失败，请关闭其他占用数据库的程序后重试。\r\n也可直接复制 ") +
                         QDir::toNativeSeparators("Data/Movelkar.mdb") + QStringLiteral(" 文件进行备份。");
}  // namespace

TEST(Backup, TargetNameCarriesTheMoment) {
    const QDateTime at(QDate(2025, 3, 3), QTime(14, 5, 9));
    EXPECT_EQ(BackupTarget("/centre/Backup", at), QDir::toNativeSeparators("/centre/Backup/Movelkar_20250303_140509.mdb"));
}

TEST(Backup, CopyHoldsCommittedRowsButNotAnotherProgramsOpenTransaction) {
    TTestCentre c;
    AddFarmer(c.dm(), "已提交");
    TDM other(c.paths().DbPath());
    ASSERT_TRUE(other.Connect());
    other.BeginTrans();
    AddFarmer(other, "未提交");
    const QString target = c.paths().BackupDir() + "/open.mdb";
    c.dm().BackupTo(target);
    other.RollbackTrans();

    const TCopy copy = ReadCopy(target);
    EXPECT_EQ(copy.check, "ok");
    EXPECT_EQ(copy.farmers, QStringList{"已提交"});
}

TEST(Backup, AdministratorsCopyIsReportedAndLogged) {
    TTestCentre c;
    TTestPrompter prompter;
    AddFarmer(c.dm(), "张三");
    QDir(c.paths().BackupDir()).removeRecursively();
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    w.DoBackup();

    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Info);
    const QString text = prompter.Shown[0].text;
    ASSERT_TRUE(text.startsWith(QStringLiteral("数据已备份到："))) << qPrintable(text);
    const QString target = text.mid(QStringLiteral("数据已备份到：").size());
    EXPECT_TRUE(QFileInfo(target).fileName().startsWith("Movelkar_"));
    EXPECT_EQ(QDir::cleanPath(QFileInfo(target).absolutePath()), QDir::cleanPath(c.paths().BackupDir()));
    EXPECT_EQ(ReadCopy(target).farmers, QStringList{"张三"});

    const TQuery log = c.dm().OpenSQL("SELECT TblName,RefNo,Detail FROM T_Log WHERE ActType='数据备份'");
    ASSERT_EQ(log.RowCount(), 1);
    EXPECT_EQ(VarToStr(log.Field("TblName")), "T_User");
    EXPECT_TRUE(VarToStr(log.Field("RefNo")).isEmpty());
    EXPECT_EQ(VarToStr(log.Field("Detail")), target);
}

TEST(Backup, ConsistentWhileAnotherConnectionKeepsWriting) {
    TTestCentre c;
    std::atomic<bool> stop{false};
    std::atomic<int> committed{0};
    std::thread writer([&] {
        TDM other(c.paths().DbPath());
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
    while (committed < 20) std::this_thread::yield();

    for (int i = 0; i < 3; ++i) {
        const int before = committed;
        const QString target = c.paths().BackupDir() + QStringLiteral("/copy%1.mdb").arg(i);
        c.dm().BackupTo(target);
        const int after = committed;
        const TCopy copy = ReadCopy(target);
        EXPECT_EQ(copy.check, "ok");
        EXPECT_GE(copy.farmers.size(), before);
        EXPECT_LE(copy.farmers.size(), after);
        // Rows go in pairs, one transaction each: a copy never holds half of one.
        EXPECT_EQ(copy.farmers.size() % 2, 0);
    }
    stop = true;
    writer.join();
}

TEST(Backup, SecondCopyInTheSameSecondReplacesTheFirst) {
    TTestCentre c;
    const QString target = BackupTarget(c.paths().BackupDir(), QDateTime::currentDateTime());
    c.dm().BackupTo(target);
    AddFarmer(c.dm(), "后来的");
    c.dm().BackupTo(target);
    EXPECT_EQ(ReadCopy(target).farmers, QStringList{"后来的"});
}

TEST(Backup, FailureIsReportedAndNotLogged) {
    TTestCentre c;
    TTestPrompter prompter;
    // A file where the backup folder should be: neither the folder nor the copy can be made.
    QDir(c.paths().BackupDir()).removeRecursively();
    QFile blocker(c.paths().BackupDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    w.DoBackup();
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Warn);
    EXPECT_EQ(prompter.Shown[0].text, kFailure);
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}

TEST(Backup, DatabaseLockedByAnotherProgramGivesUpWithTheWarning) {
    TTestCentre c;
    TTestPrompter prompter;
    c.dm().SetCommandTimeout(std::chrono::milliseconds(100));
    TDM other(c.paths().DbPath());
    ASSERT_TRUE(other.Connect());
    other.ExecSQLP("BEGIN EXCLUSIVE");

    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    w.DoBackup();
    other.RollbackTrans();
    EXPECT_EQ(prompter.Texts(), QStringList{kFailure});
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
    EXPECT_TRUE(QDir(c.paths().BackupDir()).entryList({"Movelkar_*"}, QDir::Files).isEmpty());
}
