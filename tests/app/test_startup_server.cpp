// A station set to work on a shared server: what Movelkar.ini says decides the database, a new
// database gets its tables once, and a server that cannot be reached stops the start with words
// the staff can pass on.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "support/TestEngine.h"
#include "support/TestPrompter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void WriteIni(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}
}  // namespace

TEST(StationDatabase, TheIniChoosesTheEngineAndNeverCarriesAPassword) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    EXPECT_FALSE(paths.Database().IsPostgres()) << "no file: the embedded database";
    EXPECT_EQ(paths.Database().Path, paths.DbPath());

    WriteIni(paths.StationIni(), "[Scale]\nport=COM3\n[database]\nengine=sqlite\nhost=far\n");
    EXPECT_FALSE(paths.Database().IsPostgres());

    WriteIni(paths.StationIni(), "[database]\nengine=PostgreSQL\nhost=10.0.0.5\nport=5433\ndatabase=centre\n"
                                 "user=station1\npassword=secret\n");
    const TDbConfig server = paths.Database();
    ASSERT_TRUE(server.IsPostgres());
    EXPECT_EQ(server.ConnInfo(), "host='10.0.0.5' port='5433' dbname='centre' user='station1' "
                                 "client_encoding='UTF8' application_name='Movelkar' connect_timeout='10'")
        << "a password in the file is not ours to use: ~/.pgpass or PGPASSWORD give it";
    EXPECT_EQ(server.Describe(), "PostgreSQL 数据库 centre（服务器 10.0.0.5，端口 5433）");
}

TEST(StationDatabase, AnUnreachableServerStopsTheStartWithItsReason) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    WriteIni(paths.StationIni(), "[database]\nengine=postgresql\nhost=" + dir.path().toUtf8() + "/nosocket\n");
    TTestPrompter prompter;
    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_TRUE(prompter.LastText().startsWith("数据库初始化失败：无法连接数据库服务器：")) << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().contains("Movelkar.ini"));
    EXPECT_TRUE(QFile::exists(paths.InitErrorLog()));
    EXPECT_FALSE(QFile::exists(paths.DbPath())) << "no file is made in place of the server";
}

TEST(StationDatabase, TwoStationsStartingOnAnEmptyServerShareOneSetOfTables) {
    const std::optional<TDbConfig> server = TestServer();
    if (!server) GTEST_SKIP() << "no PostgreSQL server";
    const TServerSchema schema(*server);
    QTemporaryDir weighbridge, finance;
    const TAppPaths first{weighbridge.path() + "/"}, second{finance.path() + "/"};
    const QByteArray ini = "[database]\nengine=postgresql\nschema=" + schema.Config().Schema.toUtf8() + "\n";
    WriteIni(first.StationIni(), ini);
    WriteIni(second.StationIni(), ini);

    TTestPrompter prompter;
    std::unique_ptr<TDM> a = PrepareDatabase(first);
    std::unique_ptr<TDM> b = PrepareDatabase(second);
    ASSERT_TRUE(a && b) << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(VarToInt(b->ScalarP("SELECT COUNT(*) FROM T_User WHERE LoginName='admin'")), 1)
        << "the starting rows are made once";
    a->ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('张三',0)");
    EXPECT_EQ(VarToStr(b->ScalarP("SELECT Name FROM T_Farmer")), "张三") << "both stations see one database";
    EXPECT_FALSE(QFile::exists(first.DbPath()));

    b->ExecSQLP("DROP TABLE T_Outbound");
    EXPECT_EQ(PrepareDatabase(first), nullptr);
    EXPECT_TRUE(prompter.LastText().startsWith("数据库不完整，缺少数据表：T_Outbound")) << prompter.LastText().toStdString();
}

// A database of this system that lacks a table or a column the program uses stops the start
// naming what is missing, on the file and on the server alike; every numbered save would fail.
TEST(StationDatabase, AnIncompleteDatabaseNamesTheMissingColumnOrTable) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    const TTestDatabase db(paths.DbPath());
    db.WriteStationIni(paths.StationIni());
    TTestPrompter prompter;
    ASSERT_NE(PrepareDatabase(paths), nullptr) << prompter.LastText().toStdString();
    const auto alter = [&](const QString& sql) {
        TDM dm(db.Config(), TOpenMode::Inspect);
        dm.Connect();
        dm.ExecSQLP(sql);
    };
    alter("ALTER TABLE T_Batch DROP COLUMN VoidMemo");
    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    EXPECT_TRUE(prompter.LastText().contains(QStringLiteral("不完整，缺少数据列：T_Batch.VoidMemo\r\n")))
        << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().contains(QStringLiteral("备份"))) << "the restore hint stays";
    if (db.Config().IsPostgres()) {
        alter("DROP TABLE T_Counter");
        EXPECT_EQ(PrepareDatabase(paths), nullptr);
        EXPECT_TRUE(prompter.LastText().contains(QStringLiteral("缺少数据表：T_Counter\r\n")))
            << prompter.LastText().toStdString();
    }
}
