#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbHealth.h"
#include "data/uDbInit.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
int CountOf(TDM& dm, const QString& sql) { return VarToInt(dm.ScalarP(sql)); }

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

TEST(FirstRun, CreatesTheDatabaseOnceMakesMissingIndexesAtTheNextConnectAndChecksItPageByPageOnceADay) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    EnsureDatabase(paths.DbPath(), paths.BackupDir());
    EXPECT_TRUE(QFileInfo(paths.BackupDir()).isDir());
    TDM dm(paths.DbPath());
    ASSERT_TRUE(dm.Connect());
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT LoginName||'/'||Pwd||'/'||Role||'/'||IsActive||'/'||(SELECT COUNT(*) FROM T_Grain g "
                                  "JOIN T_FeeStd f ON f.GrainID=g.GrainID)||'/'||(SELECT COUNT(*) FROM T_Log) FROM T_User")),
              "admin//管理员/-1/3/0");
    dm.ExecSQLP("DELETE FROM T_Grain WHERE GrainID=3");
    EnsureDatabase(paths.DbPath(), paths.BackupDir());
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM T_Grain"), 2);

    // A file made before an index existed, or by another program, gets it at its next connect,
    // which says how far it is; a connect with every index in place says nothing.
    for (const char* drop : {"DROP INDEX idx_batch_status_no", "DROP INDEX idx_log_ref", "DROP TRIGGER trg_log_ref_words",
                             "DROP TABLE idx_log_ref_words"})
        dm.ExecSQLP(drop);
    dm.ExecSQLP("INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) "
                "VALUES('2025-01-01 08:00:00','admin','修改','T_Batch','PC20250101001','')");
    std::vector<std::pair<int, int>> told;
    dm.SetIndexProgress([&](int done, int total) { told.emplace_back(done, total); });
    dm.Connect();
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{0, 14}, {1, 14}, {2, 14}, {14, 14}}))
        << "the log's reference table counts as twelve indexes";
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name LIKE 'idx\\_%' ESCAPE '\\'"),
              MovelkarIndexes().size());
    EXPECT_EQ(CountOf(dm, "SELECT COUNT(*) FROM idx_log_ref_words WHERE idx_log_ref_words MATCH '\"0101001\"'"), 1)
        << "made over the rows already logged";
    told.clear();
    dm.Connect();
    EXPECT_TRUE(told.empty());
    dm.Close();

    // The page-by-page check runs once a day after clean exits, and at every start after a use that
    // ended without its exit row; it finds damage that opening the file does not, and touches nothing.
    const QString path = paths.DbPath();
    const auto endLastUseWith = [&](const QString& action, int farmers) {
        TDM use(path);
        use.Connect();
        use.ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<:f) "
                     "INSERT INTO T_Farmer(Name,Address,Blacklist) SELECT '农户'||i, :a, 0 FROM n WHERE i<=:f",
                     {{"f", farmers}, {"a", QString(60, QChar(u'路'))}});
        use.WriteLog(action, "T_User", "admin", {});
    };
    // Scribbles over the middle of a page deep in the farmer table: the file still opens and has
    // every table, only a page-by-page check can tell.
    const auto spoilAPage = [&] {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek((f.size() / 4096) / 2 * 4096 + 8);
        f.write(QByteArray(200, '\x7f'));
    };
    const QDate today = QDate::currentDate();
    const auto check = [&](const QDate& day) { return CheckDatabaseFile(path, SchemaColumns(TDbEngine::SQLite), day); };

    endLastUseWith(QStringLiteral("退出"), 2000);
    TDbHealth h = check(today);
    EXPECT_TRUE(h.Healthy() && h.FullCheckRan);
    EXPECT_EQ(ReadAll(FullCheckMarkerPath(path)).trimmed(), today.toString(Qt::ISODate).toLatin1());
    const QByteArray clean = ReadAll(path);

    spoilAPage();
    const QByteArray spoiled = ReadAll(path);
    h = check(today);
    EXPECT_TRUE(h.Healthy() && !h.FullCheckRan) << "already passed today";
    h = check(today.addDays(1));
    EXPECT_TRUE(h.Fault == TDbFault::Damaged && !h.Detail.isEmpty());
    EXPECT_EQ(ReadAll(path), spoiled);
    EXPECT_EQ(ReadAll(FullCheckMarkerPath(path)).trimmed(), today.toString(Qt::ISODate).toLatin1());

    QFile restore(path);
    ASSERT_TRUE(restore.open(QIODevice::WriteOnly | QIODevice::Truncate) && restore.write(clean) == clean.size());
    restore.close();
    endLastUseWith(QStringLiteral("登录"), 0);
    spoilAPage();
    EXPECT_EQ(check(today).Fault, TDbFault::Damaged) << "checked again on the same day";
}

// A start that cannot make its database shows the error, writes it to init_error.log on one
// line per row, leaves no file behind, and the next start tries again.
TEST(FirstRun, AFailedCreationIsLoggedLeavesNoFileAndTheNextStartRetries) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    TTestPrompter prompter;
    ASSERT_TRUE(QFile(paths.AppDir + "Data").open(QIODevice::WriteOnly));
    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    ASSERT_TRUE(prompter.Shown.size() == 1u && prompter.Shown[0].kind == TMsgKind::Error);
    EXPECT_TRUE(prompter.Shown[0].text.startsWith(QStringLiteral("数据库初始化失败："))) << "the data folder is a file";
    EXPECT_TRUE(QFileInfo::exists(paths.InitErrorLog()));
    QFile::remove(paths.AppDir + "Data");

    TSchema broken = MovelkarSchema();
    broken.Statements[9] = "CREATE TABLE T_Broken (X LONG,";  // after several tables are made
    EXPECT_EQ(PrepareDatabase(paths, broken), nullptr);
    QByteArray log = ReadAll(paths.InitErrorLog());
    EXPECT_TRUE(log.contains("  >>>  CREATE TABLE T_Broken (X LONG,\r\n")) << log.constData();
    EXPECT_FALSE(log.replace("\r\n", "").contains('\n'));
    EXPECT_TRUE(prompter.LastText().contains("  >>>  "));
    EXPECT_EQ(QDir(paths.AppDir + "Data").entryList(QDir::Files), QStringList());

    prompter.Clear();
    auto dm = PrepareDatabase(paths);
    ASSERT_NE(dm, nullptr);
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(CountOf(*dm, "SELECT COUNT(*) FROM T_Grain"), 3);
}
