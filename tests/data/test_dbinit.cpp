#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbInit.h"
#include "data/uPassword.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
int CountOf(TDM& dm, const QString& sql) { return VarToInt(dm.ScalarP(sql)); }

// The seeded schema with one statement broken part-way, after several tables are made.
TSchema SchemaFailingAt(int index) {
    TSchema s = MovelkarSchema();
    s.Statements[index] = "CREATE TABLE T_Broken (X LONG,";
    return s;
}
}  // namespace

TEST(FirstRun, CreatesTheDatabaseOnceAndLeavesItAloneAfterwards) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    EnsureDatabase(paths.DbPath(), paths.BackupDir());
    EXPECT_TRUE(QFileInfo(paths.BackupDir()).isDir());
    {
        TDM dm(paths.DbPath());
        ASSERT_TRUE(dm.Connect());
        EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name LIKE 'T\\_%' ESCAPE '\\'"), 17);
        EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name LIKE 'idx\\_%' ESCAPE '\\'"),
                  MovelkarIndexes().size());
        const TQuery admin = dm.OpenSQL("SELECT LoginName, Pwd, PwdHash, Role, IsActive FROM T_User");
        ASSERT_EQ(admin.RowCount(), 1);
        EXPECT_EQ(VarToStr(admin.Field("Pwd")), "");
        EXPECT_TRUE(PasswordMatches(VarToStr(admin.Field("PwdHash")), {}, "846"));
        EXPECT_EQ(VarToStr(admin.Field("Role")), QStringLiteral("管理员"));
        EXPECT_TRUE(admin.Field("IsActive").AsBool());
        EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM T_Grain g INNER JOIN T_FeeStd f ON f.GrainID=g.GrainID"), 3);
        EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM T_Log"), 0);
        dm.ExecSQLP("DELETE FROM T_Grain WHERE GrainID=3");
    }
    EnsureDatabase(paths.DbPath(), paths.BackupDir());
    TDM dm(paths.DbPath());
    dm.Connect();
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM T_Grain"), 2);

    // A file made before an index existed, or by another program, gets it at its next connect,
    // which says how far it is; a connect with every index in place says nothing.
    dm.ExecSQLP("DROP INDEX idx_batch_status_no");
    dm.ExecSQLP("DROP INDEX idx_log_ref");
    dm.ExecSQLP("DROP TRIGGER trg_log_ref_words");
    dm.ExecSQLP("DROP TABLE idx_log_ref_words");
    dm.ExecSQLP("INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) "
                "VALUES('2025-01-01 08:00:00','admin','修改','T_Batch','PC20250101001','')");
    std::vector<std::pair<int, int>> told;
    dm.SetIndexProgress([&](int done, int total) { told.emplace_back(done, total); });
    dm.Connect();
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{0, 14}, {1, 14}, {2, 14}, {14, 14}}))
        << "the log's reference table counts as twelve indexes";
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('idx_batch_status_no','idx_log_ref')"), 2);
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM idx_log_ref_words WHERE idx_log_ref_words MATCH '\"0101001\"'"), 1)
        << "made over the rows already logged";
    told.clear();
    dm.Connect();
    EXPECT_TRUE(told.empty());
}

TEST(FirstRun, FailingStatementIsLoggedLeavesNoFileAndTheNextStartRetries) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    TTestPrompter prompter;
    EXPECT_EQ(PrepareDatabase(paths, SchemaFailingAt(9)), nullptr);
    QByteArray log = [&] {
        QFile f(paths.InitErrorLog());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_TRUE(log.contains("  >>>  CREATE TABLE T_Broken (X LONG,\r\n")) << log.constData();
    EXPECT_FALSE(log.replace("\r\n", "").contains('\n'));
    EXPECT_TRUE(prompter.LastText().contains("  >>>  "));
    EXPECT_FALSE(QFileInfo::exists(paths.DbPath()));
    EXPECT_EQ(QDir(paths.AppDir + "Data").entryList(QDir::Files), QStringList());

    prompter.Clear();
    auto dm = PrepareDatabase(paths);
    ASSERT_NE(dm, nullptr);
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(CountOf(*dm, "SELECT COUNT(*) FROM T_Grain"), 3);
}

TEST(StartUp, DataFolderBlockedByAFileShowsTheErrorAndWritesTheLog) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    QFile blocker(paths.AppDir + "Data");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TTestPrompter prompter;

    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Error);
    EXPECT_TRUE(prompter.Shown[0].text.startsWith(QStringLiteral("数据库初始化失败：")));
    EXPECT_TRUE(QFileInfo::exists(paths.InitErrorLog()));
    EXPECT_FALSE(QFileInfo(paths.DbPath()).exists());
}
