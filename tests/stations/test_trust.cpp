// A centre's server as it really behaves: it restarts, a commit's answer gets lost, and the
// stations work with an account that may only read and write rows. Each test runs a server of
// its own (tools/pg/cluster), since it restarts, stops or reconfigures it; they run in the
// server run of the suite only.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbInit.h"
#include "data/uDbText.h"
#include "support/TestEngine.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <tuple>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {
const QString kLost = QStringLiteral("与数据库服务器的连接已断开（请检查网络与服务器），刚才的操作未保存");
const QString kUnknown = QStringLiteral("无法确认刚才的操作是否已保存：请在服务器恢复后到台账中核对，切勿重复录入");

QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

// A throw-away server of the test's own, stopped and removed with this object.
class TOwnServer {
public:
    TOwnServer()
        : dir_(QDir::tempPath() + QStringLiteral("/movelkar-own-%1").arg(QRandomGenerator::global()->generate(), 0, 36)) {
        up_ = Cluster({"start", dir_});
    }
    ~TOwnServer() { Cluster({"stop", dir_}); }
    bool Up() const { return up_; }

    TDbConfig Config(const QString& user = QStringLiteral("movelkar"), const QString& database = QStringLiteral("movelkar")) const {
        TDbConfig c;
        std::tie(c.Engine, c.Host, c.Port, c.User, c.Database) = std::tuple(TDbEngine::PostgreSQL, dir_, "5432", user, database);
        return c;
    }
    bool Cluster(const QStringList& args) const {
        QProcess p;
        p.start("sh", QStringList{PG_CLUSTER} + args);
        return p.waitForFinished(120000) && p.exitCode() == 0;
    }
    // A file of SQL run by the superuser, as a technician runs one with psql.
    bool RunFile(const QString& path) const {
        QProcess p;
        const QString bin = qEnvironmentVariable("PG_BIN", "/usr/lib/postgresql/15/bin");
        p.start(bin + "/psql", {"-q", "-X", "-v", "ON_ERROR_STOP=1", "-h", dir_, "-U", "movelkar", "-d", "movelkar", "-f", path});
        const bool ok = p.waitForFinished(60000) && p.exitCode() == 0;
        if (!ok) ADD_FAILURE() << p.readAllStandardError().toStdString();
        return ok;
    }

private:
    QString dir_;
    bool up_ = false;
};

// A station's folder whose Movelkar.ini names the database and the account it works with.
class TStationFolder {
public:
    explicit TStationFolder(const TDbConfig& db) : paths_{dir_.path() + "/"} {
        QSettings ini(paths_.StationIni(), QSettings::IniFormat);
        const QStringList keys{"engine", "host", "port", "database", "user"}, values{"postgresql", db.Host, db.Port, db.Database, db.User};
        for (int i = 0; i < keys.size(); ++i) ini.setValue("database/" + keys[i], values[i]);
    }
    const TAppPaths& Paths() const { return paths_; }
    QString InitLog() const {
        QFile f(paths_.InitErrorLog());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QTemporaryDir dir_;
    TAppPaths paths_;
};

TBatchInput Load(int farmer) {
    return {.RegTime = QDateTime::currentDateTime().addSecs(-7200), .FarmerID = farmer, .GrainID = 1, .WhID = 1,
            .InMoisture = "20", .GrossWt = "10000", .WetNetWt = "10000"};
}

int Count(TDM& dm, const QString& sql, const TParams& params = {}) { return VarToInt(dm.ScalarP(sql, params)); }

// Does `act` with the id of the server session that waits for its commit to reach a standby.
std::thread WhenACommitWaits(const TDbConfig& db, std::function<void(int)> act) {
    return std::thread([db, act] {
        TDM watcher(db, TOpenMode::Inspect);
        watcher.Connect();
        for (int i = 0; i < 600; ++i) {
            const int pid = Count(watcher, "SELECT COALESCE(MAX(pid),0) FROM pg_stat_activity WHERE wait_event='SyncRep'");
            if (pid > 0) return act(pid);
            QThread::msleep(50);
        }
    });
}

class ServerTrust : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestServer()) GTEST_SKIP() << "the server run of the suite only";
        server = std::make_unique<TOwnServer>();
        ASSERT_TRUE(server->Up()) << "tools/pg/cluster could not start a server";
    }
    std::unique_ptr<TOwnServer> server;
    QTemporaryDir backups;
};
}  // namespace

TEST_F(ServerTrust, ARestartCostsNoSaveACutSaveIsReportedLostAndALostAnswerIsAskedAbout) {
    const TDbConfig db = server->Config();
    EnsureDatabase(db, backups.path());
    {
        // What a station saves must outlive a crash of the server, as on a centre's server.
        TDM admin(db);
        admin.Connect();
        admin.ExecSQLP("ALTER DATABASE movelkar SET synchronous_commit = on");
    }
    TDM idle(db), registering(db), saving(db);
    for (TDM* dm : {&idle, &registering, &saving}) dm->Connect();
    idle.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('张三',0)");
    int saved = 0;
    for (const char* mode : {"immediate", "fast"}) {
        // The registration dialog is open: its fee estimate read, its form typed.
        TBatchLogic dialog(registering);
        EXPECT_GT(dialog.EstimateFee(1, 10000, 20), 0);
        saving.BeginTrans();
        saving.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('半途',0)");

        ASSERT_TRUE(server->Cluster({"restart", db.Host, mode})) << mode;

        EXPECT_EQ(Count(idle, "SELECT COUNT(*) FROM T_Farmer"), 1) << mode << ": the idle station's first look";
        const TBatchSaveResult r = dialog.Save(Load(1));
        EXPECT_TRUE(r.Saved()) << mode << ": " << r.Refusal.toStdString();
        saved += r.Saved();
        try {
            saving.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('另一半',0)");
            saving.CommitTrans();
            ADD_FAILURE() << mode << ": half a save committed";
        } catch (const TDbError& e) {
            EXPECT_EQ(DbErrorText(e), kLost) << mode;
        }
        saving.RollbackTrans();
        EXPECT_EQ(Count(saving, "SELECT COUNT(*) FROM T_Farmer"), 1) << mode << ": nothing of the cut save kept";
    }
    EXPECT_EQ(saved, 2);
    EXPECT_EQ(Count(idle, "SELECT COUNT(*) FROM T_Batch"), 2);

    // Every commit now waits for a standby that never comes, and is durable before it waits.
    TDM admin(db);
    admin.Connect();
    admin.ExecSQLP("ALTER SYSTEM SET synchronous_standby_names = 'standby_that_never_comes'");
    admin.ExecSQLP("SELECT pg_reload_conf()");
    TDM station(db);
    station.Connect();
    // The server keeps each save, and the station's session is ended before the answer leaves.
    for (int i = 3; i <= 5; ++i) {
        std::thread killer = WhenACommitWaits(db, [&](int pid) {
            TDM other(db, TOpenMode::Inspect);
            other.Connect();
            other.ExecSQLP("SELECT pg_terminate_backend(:p)", {{"p", pid}});
        });
        const TBatchSaveResult r = TBatchLogic(station).Save(Load(1));
        killer.join();
        EXPECT_TRUE(r.Saved()) << r.Refusal.toStdString();
        EXPECT_EQ(r.BatchNo, QStringLiteral("PC%1%2").arg(Today()).arg(i, 3, 10, QChar('0'))) << "its number shown";
    }
    EXPECT_EQ(Count(admin, "SELECT COUNT(*) FROM T_Batch"), 5);
    EXPECT_EQ(Count(admin, "SELECT COUNT(*) FROM T_Log WHERE ActType='收粮登记'"), 5);

    // The server stops while the commit waits: nobody can say whether it was kept.
    std::thread crash = WhenACommitWaits(db, [&](int) { server->Cluster({"halt", db.Host}); });
    const TBatchInput typed = Load(1);
    const TBatchSaveResult unknown = TBatchLogic(station).Save(typed);
    crash.join();
    EXPECT_EQ(unknown.Refusal, kUnknown) << "neither kept nor failed: the dialog stays open with its input";
    EXPECT_TRUE(unknown.BatchNo.isEmpty());

    ASSERT_TRUE(server->Cluster({"resume", db.Host}));
    admin.ExecSQLP("ALTER SYSTEM RESET synchronous_standby_names");
    admin.ExecSQLP("SELECT pg_reload_conf()");
    EXPECT_EQ(Count(admin, "SELECT COUNT(*) FROM T_Batch"), 6) << "it was kept: the ledger shows it, as the box said to check";
    const TBatchSaveResult next = TBatchLogic(station).Save(typed);
    EXPECT_EQ(next.BatchNo, "PC" + Today() + "007") << next.Refusal.toStdString();
}

TEST_F(ServerTrust, AStationStartsOnlyOnItsOwnDatabaseWithRowRightsAndItsPasswordNeverShown) {
    ASSERT_TRUE(server->RunFile(ROLES_SQL));
    TTestPrompter prompter;
    const TStationFolder owner(server->Config("movelkar_owner"));
    ASSERT_NE(PrepareDatabase(owner.Paths()), nullptr) << prompter.LastText().toStdString();
    {
        TDM dm(server->Config("movelkar_owner"));
        dm.Connect();
        dm.ExecSQLP("DROP INDEX idx_batch_status");
        dm.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('张三',0)");
    }

    const TStationFolder station(server->Config("movelkar_station"));
    std::unique_ptr<TDM> dm = PrepareDatabase(station.Paths());
    ASSERT_NE(dm, nullptr) << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.Shown.empty()) << prompter.LastText().toStdString();
    EXPECT_TRUE(station.InitLog().contains("idx_batch_status")) << "the index it may not make is named in the log";
    dm->SetLogUser("weigher");

    const TBatchSaveResult reg = TBatchLogic(*dm).Save(Load(1));
    ASSERT_TRUE(reg.Saved()) << reg.Refusal.toStdString();
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
    const TDispatchResult dispatched = TDispatchLogic(*dm).Save({.BatchNo = reg.BatchNo, .EquipID = 1, .WhInID = 1, .StartTime = start});
    ASSERT_TRUE(dispatched.Saved()) << dispatched.Refusal.toStdString();
    TDryEndLogic dryEnd(*dm);
    const TRoundEndResult stored = dryEnd.Pass(*dryEnd.LoadOpenRound(reg.BatchNo),
                                               {.EndTime = start.addSecs(1800), .OutMoisture = "14", .DryNetWt = "9000",
                                                .DryHours = "0.5", .LossWt = "1000", .LossRate = "10", .DryWhID = 2});
    ASSERT_TRUE(stored.Saved()) << stored.Refusal.toStdString();
    const int dryRow = Count(*dm, "SELECT MAX(StockID) FROM T_Stock");
    const TOutboundResult out = TOutboundLogic(*dm).Save({.StockID = dryRow, .OutType = QStringLiteral("农户自提"),
                                                          .OutTime = QDateTime::currentDateTime(), .Weight = "9000"});
    EXPECT_EQ(out.OutNo, "CK" + Today() + "001") << out.Refusal.toStdString();
    const TSettleResult settled = TSettleLogic(*dm).Save({.BatchNo = reg.BatchNo, .Items = {"1200", "0", "0", "0", "0"},
                                                          .Paid = "1200", .SettleTime = QDateTime::currentDateTime()});
    EXPECT_EQ(settled.SettleNo, "JS" + Today() + "001") << settled.Refusal.toStdString();
    EXPECT_EQ(VarToStr(dm->ScalarP("SELECT Status FROM T_Batch")), QStringLiteral("已完结"));
    EXPECT_EQ(Count(*dm, "SELECT COUNT(*) FROM T_Log"), 5);

    const auto refusal = [&](TDM& on, const QString& sql) {
        try {
            on.ExecSQLP(sql);
        } catch (const TDbError& e) {
            return DbErrorText(e);
        }
        return QStringLiteral("(done)");
    };
    const QString noRight = QStringLiteral("数据库用户没有这项操作的权限（请联系技术人员检查服务器上的授权）");
    EXPECT_EQ(refusal(*dm, "UPDATE T_Log SET Detail=''"), noRight);
    EXPECT_EQ(refusal(*dm, "DELETE FROM T_Log"), noRight);
    EXPECT_EQ(refusal(*dm, "CREATE TABLE T_Mine(a integer)"), noRight);
    TDM ownerDm(server->Config("movelkar_owner"));
    ownerDm.Connect();
    EXPECT_EQ(refusal(ownerDm, "DELETE FROM T_Log"), QStringLiteral("操作日志不能修改或删除")) << "not even the owner, in the program";
    EXPECT_EQ(Count(*dm, "SELECT COUNT(*) FROM T_Log"), 5);

    // Another program's database is refused and nothing is made in it.
    TDM super(server->Config());
    super.Connect();
    super.ExecSQLP("CREATE DATABASE songs");
    TDM other(server->Config("movelkar", "songs"), TOpenMode::Inspect);
    other.Connect();
    other.ExecSQLP("CREATE TABLE Songs(Title text, Singer text)");
    const auto catalog = [&] {
        return VarToStr(other.ScalarP("SELECT (SELECT COUNT(*) FROM pg_class WHERE relnamespace='public'::regnamespace) || '/' "
                                      "|| (SELECT COUNT(*) FROM pg_extension) || '/' || (SELECT COUNT(*) FROM pg_namespace)"));
    };
    const QString before = catalog();

    prompter.Clear();
    const TStationFolder songs(server->Config("movelkar", "songs"));
    EXPECT_EQ(PrepareDatabase(songs.Paths()), nullptr);
    EXPECT_TRUE(prompter.LastText().startsWith(QStringLiteral("不是本系统的数据库：PostgreSQL 数据库 songs（服务器 ")))
        << prompter.LastText().toStdString();
    EXPECT_FALSE(prompter.LastText().contains(QStringLiteral("恢复"))) << "no backup is to be restored over it";
    EXPECT_EQ(catalog(), before) << "no table, index, schema or extension made in it";

    // A wrong password says where it comes from and never shows it.
    super.ExecSQLP("CREATE ROLE clerk LOGIN PASSWORD 'secret-846'");
    // This account alone must give its password, even on the server's own socket.
    const QString hba = server->Config().Host + "/data/pg_hba.conf";
    QFile file(hba);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray rules = "local all clerk scram-sha-256\n" + file.readAll();
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(rules);
    file.close();
    super.ExecSQLP("SELECT pg_reload_conf()");

    const TStationFolder clerk(server->Config("clerk"));
    for (const char* typed : {"", "wrong-password"}) {
        qputenv("PGPASSWORD", typed);
        if (!*typed) qunsetenv("PGPASSWORD");
        prompter.Clear();
        EXPECT_EQ(PrepareDatabase(clerk.Paths()), nullptr);
        const QString text = prompter.LastText();
        EXPECT_TRUE(text.contains("~/.pgpass") && text.contains("PGPASSWORD") && text.contains("clerk")) << text.toStdString();
        EXPECT_FALSE(text.contains("secret") || (*typed && text.contains(typed))) << text.toStdString();
    }
    qunsetenv("PGPASSWORD");
}
