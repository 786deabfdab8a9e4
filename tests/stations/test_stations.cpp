// Stations sharing one database server: the weighbridge, the dryer room and the finance desk
// save on the same batches at the same moment. Four worker processes race through the same saves
// (tests/support/station_worker.cpp); whatever order the server lets them through in, no number
// is given twice or skipped, no grain is handed out that is not there, no round is dispatched or
// ended twice, no batch is settled twice, and every save has its log row.

#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbInit.h"
#include "data/uDbText.h"
#include "support/TestCentre.h"
#include "support/TestEngine.h"
#include "support/TestIntegrity.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <tuple>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {
constexpr int kStations = 4;
// Enough batches that the stations catch each other up: the first one off does not finish
// before the others start, and a save refused is quicker than one that goes through.
constexpr int kBatches = 30;

// Today's document numbers of a kind, from the first to the last sequence, in order.
QString Numbered(const QString& prefix, int first, int last) {
    QStringList numbers;
    const QString head = prefix + QDate::currentDate().toString("yyyyMMdd");
    for (int i = first; i <= last; ++i) numbers << head + QStringLiteral("%1").arg(i, 3, 10, QChar('0'));
    return numbers.join("; ");
}

QString Sorted(QStringList words) {
    words.sort();
    return words.join("; ");
}

// How often each word follows the action in the stations' lines ("void PC…" counts PC… under "void").
QHash<QString, int> Tally(const QStringList& lines, const QString& action, int field = 1) {
    QHash<QString, int> tally;
    for (const QString& line : lines) {
        const QStringList words = line.split(' ');
        if (words.first() == action) ++tally[words.value(field)];
    }
    return tally;
}

// A centre on a schema of its own on the server, and the stations that share it.
class Stations : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestOnServer()) GTEST_SKIP() << "the server run of the suite only";
        c = std::make_unique<TTestCentre>();
        c->addFarmer("张三");  // the farmer every station registers for
    }
    void TearDown() override {
        // Whatever the stations did, the centre's records still agree with each other.
        if (c) EXPECT_EQ(IntegrityFaults(c->dm()).join('\n'), "");
        if (retries > 0) std::printf("[ stations ] %d saves sent back by a lock and tried again\n", retries);
    }

    // Starts the stations on the same work, lets them go together once every one has connected
    // and read its rows, and waits for all of them: the lines of their saves.
    QStringList Race(const QString& work, int count = 0) {
        std::vector<std::unique_ptr<QProcess>> stations;
        for (int i = 1; i <= kStations; ++i) {
            auto& p = stations.emplace_back(std::make_unique<QProcess>());
            QStringList args{c->paths().Database().Schema, QString::number(i), work};
            if (count > 0) args << QString::number(count);
            p->start(STATION_WORKER, args);
        }
        for (auto& p : stations) {
            while (!p->canReadLine() && p->waitForReadyRead(60000)) {
            }
            EXPECT_EQ(p->readLine().trimmed(), "ready") << p->readAllStandardError().toStdString();
        }
        for (auto& p : stations) {
            // Written at once: a QProcess otherwise writes only while it is being waited on.
            p->write("go\n");
            p->waitForBytesWritten(60000);
        }
        QStringList lines;
        for (auto& p : stations) {
            p->waitForFinished(120000);
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
            for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
                if (line == "retry") ++retries;  // a lock sent the station back to try again
                else if (!line.isEmpty()) lines << QString::fromUtf8(line);
            }
        }
        return lines;
    }
    int Count(const QString& sql, const TParams& params = {}) { return VarToInt(c->scalar(sql, params)); }
    int Logged(const QString& action) { return c->count("T_Log", "ActType=:a", {{"a", action}}); }

    // The settlements stored are those the stations reported, number, batch and payment, and each
    // batch's status follows its settlement's.
    void ExpectSettledAsReported(const QStringList& lines) {
        QStringList reported;
        for (const QString& line : lines) reported << line.split(' ').mid(1, 3).join('/');
        EXPECT_EQ(c->rows("SELECT SettleNo, BatchNo, CAST(ROUND(PaidAmt*100) AS INTEGER) FROM T_Settle ORDER BY SettleNo"), Sorted(reported));
        EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Settle s JOIN T_Batch b ON b.BatchNo=s.BatchNo WHERE b.Status <> CASE WHEN "
                        "s.Status=:full THEN :done ELSE :due END", {{"full", kSettledInFull}, {"done", kBatchFinished}, {"due", kBatchToSettle}}), 0)
            << "batches whose status does not follow their settlement";
    }
    // A load of 10 t dried in one round into the first dry store; its dry row.
    int Dried(int dryKg) { return c->driedBatch(10000, dryKg).DryRow; }

    std::unique_ptr<TTestCentre> c;
    int retries = 0;
};
}  // namespace

TEST_F(Stations, WeighbridgesRegisteringAtOnceTakeEveryNumberOnceAndAVoidEndsTheCorrections) {
    const int loads = kStations * 10;
    const QStringList intakes = Race("intake", 10);
    const QString numbers = Numbered("PC", 1, loads);
    EXPECT_EQ(Sorted(Tally(intakes, "intake").keys()), numbers) << "every station's numbers, none twice, none skipped";
    EXPECT_EQ(intakes.size(), loads);
    EXPECT_EQ(c->rows("SELECT BatchNo FROM T_Batch ORDER BY BatchNo"), numbers);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='收粮登记' ORDER BY RefNo"), numbers);
    EXPECT_EQ(c->rows("SELECT BatchNo FROM T_Stock ORDER BY BatchNo"), numbers) << "one wet row each";

    // Every station corrects every load and then voids it, at once.
    const QStringList amended = Race("amend");
    const int voids = int(amended.filter(QRegularExpression("^void ")).size());
    EXPECT_EQ(voids, loads) << "each load voided by one station only";
    EXPECT_EQ(Tally(amended, "void").size(), loads);
    EXPECT_EQ(Logged("作废"), loads);
    EXPECT_EQ(Logged("修改登记"), amended.size() - voids) << "a log row for each correction saved";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Log e JOIN T_Log v ON v.RefNo=e.RefNo AND v.ActType='作废' "
                    "WHERE e.ActType='修改登记' AND e.LogID>v.LogID"), 0) << "corrections saved over a voided load";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Batch b WHERE COALESCE((SELECT l.Detail FROM T_Log l WHERE l.RefNo=b.BatchNo AND "
                    "l.ActType='修改登记' ORDER BY l.LogID DESC LIMIT 1),'') NOT LIKE '%' || COALESCE(b.QualityMemo,'')"), 0)
        << "registrations that do not hold the last correction logged";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Batch b JOIN T_Stock s ON s.BatchNo=b.BatchNo WHERE s.Qty=b.WetNetWt "
                    "AND s.Status=:v AND b.Status=:v", {{"v", kStatusVoid}}), loads)
        << "each wet row voided with its load and weighing what the load's last correction says";
}

TEST_F(Stations, OutboundAtOnceHandsOutExactlyTheGrainStored) {
    const QHash<int, int> stored{{Dried(400), 400}, {Dried(300), 300}, {Dried(250), 250}};
    const int loads = (400 + 300 + 250) / 10;
    const QStringList outs = Race("outbound");

    const QString numbers = Numbered("CK", 1, loads);
    EXPECT_EQ(outs.size(), loads) << "10 kg loads handed out";
    EXPECT_EQ(Sorted(Tally(outs, "out").keys()), numbers) << "one number per load, none twice, none skipped";
    EXPECT_EQ(c->rows("SELECT OutNo FROM T_Outbound ORDER BY OutNo"), numbers);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='出库' ORDER BY RefNo"), numbers);
    const QHash<QString, int> fromRow = Tally(outs, "out", 2);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        EXPECT_EQ(fromRow.value(QString::number(it.key())) * 10, it.value());
        EXPECT_EQ(c->rows("SELECT CAST((SELECT SUM(OutWt) FROM T_Outbound o WHERE o.BatchNo=s.BatchNo) AS INTEGER), CAST((SELECT SUM(Qty) "
                          "FROM T_StockMove m WHERE m.MoveType='出仓' AND m.BatchNo=s.BatchNo) AS INTEGER), s.Status, b.Status FROM "
                          "T_Stock s JOIN T_Batch b ON b.BatchNo=s.BatchNo WHERE s.StockID=:s", {{"s", it.key()}}),
                  QString("%1/%1/").arg(it.value()) + kStockOut + "/" + kBatchToSettle)
            << "kg handed out and moved out of a row that held " << it.value() << " kg";
    }
}

TEST_F(Stations, DryerRoomsDispatchAndEndEachRoundOnce) {
    for (int i = 0; i < kBatches; ++i) c->registeredBatch(10000);

    const QStringList dispatched = Race("dispatch");
    EXPECT_EQ(dispatched.size(), kBatches) << "dispatches saved";
    EXPECT_EQ(Tally(dispatched, "dispatch").size(), kBatches);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying WHERE Round=1"), kBatches) << "first rounds opened";
    EXPECT_EQ(Logged("派工上机"), kBatches);
    EXPECT_EQ(c->count("T_Batch", "Status=:s", {{"s", kStatusDrying}}), kBatches);

    // Odd stations send a first round back to the dryer, even ones put the grain into store.
    const QStringList ended = Race("dryend");
    const int redried = int(ended.filter(QRegularExpression("^redry ")).size());
    EXPECT_EQ(ended.size() - redried, kBatches) << "rounds passed into store";
    EXPECT_EQ(Tally(ended, "pass").size(), kBatches);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying"), kBatches + redried) << "rounds, a re-dry opening the next";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_Drying WHERE Round>2 OR EndTime IS NULL"), 0) << "rounds beyond the second or never ended";
    EXPECT_EQ(Logged("返烘"), redried);
    EXPECT_EQ(Logged("烘干入仓"), kBatches);
    EXPECT_EQ(c->count("T_Stock", "Status=:s", {{"s", kStatusInStore}}), kBatches) << "dry rows in store";
    EXPECT_EQ(c->count("T_Stock", "Status=:s", {{"s", kStockOut}}), kBatches) << "wet rows retired";
    EXPECT_EQ(Count("SELECT COUNT(*) FROM T_StockMove WHERE MoveType='入仓'"), kBatches);
    EXPECT_EQ(c->count("T_Batch", "Status=:s", {{"s", kStatusInStore}}), kBatches);
}

TEST_F(Stations, FinanceDesksSettleEachBatchOnceAndVoidEachSettlementOnce) {
    for (int i = 0; i < kBatches; ++i) Dried(8000);

    const QStringList first = Race("settle");
    EXPECT_EQ(first.size(), kBatches) << "settlements saved";
    EXPECT_EQ(Tally(first, "settle", 2).size(), kBatches);
    ExpectSettledAsReported(first);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='结算' ORDER BY RefNo"), Numbered("JS", 1, kBatches));

    const QStringList voided = Race("unsettle");
    EXPECT_EQ(voided.size(), kBatches) << "voids saved";
    EXPECT_EQ(Tally(voided, "unsettle").size(), kBatches);
    EXPECT_EQ(c->count("T_Settle"), 0);
    EXPECT_EQ(c->rows("SELECT RefNo FROM T_Log WHERE ActType='作废结算' ORDER BY RefNo"), Numbered("JS", 1, kBatches))
        << "one void logged per settlement";
    EXPECT_EQ(c->count("T_Batch", "Status=:s", {{"s", kBatchToSettle}}), kBatches);

    const QStringList again = Race("settle");
    EXPECT_EQ(again.size(), kBatches);
    ExpectSettledAsReported(again);
    EXPECT_EQ(c->rows("SELECT SettleNo FROM T_Settle ORDER BY SettleNo"), Numbered("JS", kBatches + 1, 2 * kBatches))
        << "a voided settlement's number is never given again";
}

TEST_F(Stations, ASaveKeptWaitingByAnotherStationGivesUpWithTheLockedTextAndWritesNothing) {
    const QString locked = QStringLiteral("数据库正被其他程序或其他电脑占用，请稍后重试");
    TDM& dm = c->dm();
    const QDateTime now = QDateTime::currentDateTime();
    const TDriedBatch stored = c->driedBatch(10000, 100);
    const QString waiting = c->registeredBatch(10000), drying = c->registeredBatch(10000);
    ASSERT_TRUE(TDispatchLogic(dm).Save({.BatchNo = drying, .EquipID = 1, .WhInID = 1, .StartTime = now.addSecs(-60)}).Saved());
    const std::optional<TOpenRound> round = TDryEndLogic(dm).LoadOpenRound(drying);
    ASSERT_TRUE(round);
    const auto written = [&] {
        return c->rows("SELECT (SELECT COUNT(*) FROM T_Outbound) || '/' || (SELECT COUNT(*) FROM T_Settle) || '/' || (SELECT "
                       "COUNT(*) FROM T_Drying WHERE EndTime IS NULL) || '/' || (SELECT COUNT(*) FROM T_Log) || '/' || (SELECT "
                       "COUNT(*) FROM T_Counter) || '/' || (SELECT string_agg(Status, ',' ORDER BY BatchNo) FROM T_Batch)");
    };
    const QString before = written();

    // Another station is in the middle of saves on all three batches; this one gives up waiting
    // after a fifth of a second instead of ten.
    TDM other(c->paths().Database());
    other.Connect();
    other.BeginTrans();
    for (const QString& b : {stored.BatchNo, waiting, drying})
        other.ExecSQLP("SELECT Status FROM T_Batch WHERE BatchNo=:b FOR UPDATE", {{"b", b}});
    dm.ExecSQLP("SET lock_timeout = '200ms'");

    const TOutboundInput out{.StockID = stored.DryRow, .OutType = QStringLiteral("农户自提"), .OutTime = now, .Weight = "40"};
    EXPECT_EQ(TOutboundLogic(dm).Save(out).Refusal, "出库失败：" + locked);
    const TSettleInput settle{.BatchNo = stored.BatchNo, .Items = {"100", "0", "0", "0", "0"}, .Paid = "100", .SettleTime = now};
    EXPECT_EQ(TSettleLogic(dm).Save(settle).Refusal, "保存失败：" + locked);
    EXPECT_EQ(TDispatchLogic(dm).Save({.BatchNo = waiting, .EquipID = 1, .WhInID = 1, .StartTime = now}).Refusal, "派工失败：" + locked);
    const TRoundEndInput end{.EndTime = now, .OutMoisture = "14", .DryNetWt = "8000", .DryHours = "1", .LossWt = "0",
                             .LossRate = "0", .DryWhID = 2};
    EXPECT_EQ(TDryEndLogic(dm).Pass(*round, end).Refusal, "入仓失败：" + locked);
    EXPECT_EQ(TDryEndLogic(dm).Fail(*round, end).Refusal, "返烘单生成失败：" + locked);
    TBatchInput correction = TBatchLogic(dm).Load(waiting)->Input;
    correction.WetNetWt = "9000";
    EXPECT_EQ(TBatchLogic(dm).Save(correction).Refusal, "保存失败：" + locked);
    try {
        TBatchVoidLogic(dm).Void(waiting, QStringLiteral("录错"));
        ADD_FAILURE() << "voided under another station's lock";
    } catch (const TDbError& e) {
        EXPECT_EQ(DbErrorText(e), locked);
    }
    EXPECT_FALSE(dm.InTransaction());
    EXPECT_EQ(written(), before) << "nothing of the refused saves stays behind, not even a number drawn";

    // The other station is done: the same saves go through, numbered as if nothing had been refused.
    other.RollbackTrans();
    EXPECT_EQ(TOutboundLogic(dm).Save(out).OutNo, Numbered("CK", 1, 1));
    EXPECT_EQ(TSettleLogic(dm).Save(settle).SettleNo, Numbered("JS", 1, 1));
    EXPECT_TRUE(TDryEndLogic(dm).Pass(*round, end).Saved());
    EXPECT_EQ(TBatchVoidLogic(dm).Void(waiting, QStringLiteral("录错")), "");
}

// Two weighbridges with the same intake open in their dialogs, and two finance desks with the same
// settlement, on either engine: the first save is kept, the second is refused naming what changed,
// writes nothing and keeps what its clerk typed.
TEST(TwoDialogs, TheSecondSaveOfOneIntakeOrOneSettlementIsRefusedAndKeepsItsInput) {
    TTestCentre c;
    TTestPrompter prompter;
    TDM other(c.paths().Database());
    other.Connect();
    other.SetLogUser("u_2");

    const QString batch = c.registeredBatch(10000);
    TfrmBatchEdit first(c.dm(), batch);
    TfrmBatchEdit second(other, batch);
    first.edGross->setText("12500");
    first.edTare->setText("2000");
    first.DoOK();
    ASSERT_EQ(first.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    second.edCar->setText(QStringLiteral("皖B12345"));
    second.DoOK();
    EXPECT_NE(second.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.LastText().startsWith(QStringLiteral("该记录已被其他电脑修改（改动了：毛重、皮重、湿粮净重、预计烘干费")))
        << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().endsWith(QStringLiteral("修改登记），请关闭后重新打开再保存")));
    EXPECT_EQ(second.edCar->text(), QStringLiteral("皖B12345"));
    EXPECT_EQ(c.rows("SELECT CarNo, WetNetWt FROM T_Batch WHERE BatchNo=:b", {{"b", batch}}), "/10500");
    TfrmBatchEdit again(other, batch);
    again.edCar->setText(QStringLiteral("皖B12345"));
    again.DoOK();
    EXPECT_EQ(again.result(), QDialog::Accepted);

    const TDriedBatch dried = c.driedBatch(10000, 8500);
    const TSettleResult made = TSettleLogic(c.dm()).Save({.BatchNo = dried.BatchNo, .SettleNo = {},
                                                          .Items = {"100", "0", "0", "0", "0"}, .Paid = "0",
                                                          .SettleTime = QDateTime::currentDateTime()});
    ASSERT_TRUE(made.Saved()) << made.Refusal.toStdString();
    TfrmSettleEdit deskA(c.dm(), dried.BatchNo, made.SettleNo);
    TfrmSettleEdit deskB(other, dried.BatchNo, made.SettleNo);
    deskA.edPaid->setText("60");
    deskA.DoOK();
    ASSERT_EQ(deskA.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    deskB.edPaid->setText("100");
    deskB.DoOK();
    EXPECT_NE(deskB.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.LastText().startsWith(QStringLiteral("该记录已被其他电脑修改（改动了：收款金额、结算状态；最近一次：admin")))
        << prompter.LastText().toStdString();
    EXPECT_EQ(deskB.edPaid->text(), "100");
    EXPECT_EQ(c.rows("SELECT PaidAmt, DebtAmt FROM T_Settle WHERE SettleNo=:n", {{"n", made.SettleNo}}), "60/40");
}

// A centre's server as it really behaves: it restarts, a commit's answer gets lost, and the
// stations work with an account that may only read and write rows. Each test runs a server of
// its own (tools/pg/cluster), since it restarts, stops or reconfigures it; they run in the
// server run of the suite only.
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
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray rules = "local all clerk scram-sha-256\n" + file.readAll();
    ASSERT_TRUE(file.seek(0) && file.write(rules) == rules.size() && file.flush());
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
