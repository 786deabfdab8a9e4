// Start-up: which database a station uses, and a file or server the program cannot work on
// stopped with words the staff can pass on, before anything in it is changed.

#include "app/uDataDir.h"
#include "app/uStartWait.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbInit.h"
#include "support/TestEngine.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A centre folder whose database holds a season's records, last used with a clean exit, and
// with one backup copy.
class StartUpOnABadFile : public ::testing::Test {
protected:
    StartUpOnABadFile() : paths{dir.path() + "/"} {
        EnsureDatabase(paths.DbPath(), paths.BackupDir());
        TDM dm(paths.DbPath());
        dm.Connect();
        dm.ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<400) "
                    "INSERT INTO T_Farmer(Name,Village,Blacklist) SELECT '农户'||i, '东村', 0 FROM n");
        dm.WriteLog(QStringLiteral("登录"), "T_User", "admin", {});
        dm.WriteLog(QStringLiteral("退出"), "T_User", "admin", {});
        dm.Close();
        backup = QDir::toNativeSeparators(paths.BackupDir() + "/Movelkar_20250301_180000.mdb");
        QFile::copy(paths.DbPath(), backup);
    }

    QString DataDir() const { return paths.AppDir + "Data"; }

    // Starts on the file as `spoil` leaves it; the start must refuse with one error box whose
    // text begins with `lead`, write the same text to init_error.log and change nothing in Data.
    QString Refused(const std::function<void()>& spoil, const QString& lead) {
        spoil();
        const QByteArray before = ReadAll(paths.DbPath());
        const QStringList filesBefore = QDir(DataDir()).entryList(QDir::Files);
        TTestPrompter prompter;
        EXPECT_EQ(PrepareDatabase(paths), nullptr);
        EXPECT_TRUE(ReadAll(paths.DbPath()) == before && QDir(DataDir()).entryList(QDir::Files) == filesBefore)
            << "the file was changed";
        if (prompter.Shown.size() != 1 || prompter.Shown[0].kind != TMsgKind::Error) {
            ADD_FAILURE() << "expected one error box, got " << qPrintable(prompter.Texts().join('\n'));
            return {};
        }
        const QString text = prompter.Shown[0].text;
        EXPECT_TRUE(text.startsWith(lead)) << qPrintable(text);
        // The log also names the data folder, for the technician who reads it.
        EXPECT_EQ(QString::fromUtf8(ReadAll(paths.InitErrorLog())),
                  QString(text).replace("\r\n", "\n").replace("\n", "\r\n") + QStringLiteral("\r\n数据文件夹：") +
                      QDir::toNativeSeparators(paths.AppDir) + "\r\n");
        QFile::remove(paths.InitErrorLog());
        return text;
    }

    QTemporaryDir dir;
    TAppPaths paths;
    QString backup;
};

const QString kDamaged = QStringLiteral("数据库文件已损坏或不是本系统的数据库：");
const QString kRestore = QStringLiteral("恢复方法：关闭本程序，把这个备份文件复制到 ");
}  // namespace

TEST_F(StartUpOnABadFile, ReadOnlyIncompleteDamagedOrForeignFilesAreRefusedNamingTheBackupAndLeftAsTheyWere) {
    // Marked read-only through its permission bits, which bind an administrator account too.
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
    const QString readOnlyText = Refused([&] { QFile::setPermissions(paths.DbPath(), readOnly); },
                                         QStringLiteral("数据库文件为只读，无法保存任何记录：") +
                                             QDir::toNativeSeparators(paths.DbPath()));
    EXPECT_TRUE(readOnlyText.contains(QStringLiteral("去掉“只读”")) && !QFileInfo::exists(paths.DbPath() + "-journal"));
    QFile::setPermissions(paths.DbPath(), readOnly | QFile::WriteOwner | QFile::WriteUser);
    const QByteArray good = ReadAll(paths.DbPath());

    const auto drop = [&](const QString& statement) {
        TDM dm(paths.DbPath());
        dm.Connect();
        dm.ExecSQLP(statement);
    };
    const QString missing = Refused([&] { drop("DROP TABLE T_Batch"); },
                                    QStringLiteral("数据库文件不完整，缺少数据表：T_Batch\r\n"));
    EXPECT_TRUE(missing.contains(QStringLiteral("最近的备份：") + backup));
    Refused([&] { drop("DROP TABLE T_Log"); }, QStringLiteral("数据库文件不完整，缺少数据表：T_Batch、T_Log\r\n"));

    QByteArray junk(64 * 1024, '\0');
    for (char& b : junk) b = char(QRandomGenerator::global()->bounded(256));
    const QString randomBytes = Refused([&] { WriteAll(paths.DbPath(), junk); }, kDamaged);
    EXPECT_TRUE(randomBytes.contains(QStringLiteral("最近的备份：") + backup) &&
                randomBytes.contains(kRestore + TAppPaths::DbShownName())) << qPrintable(randomBytes);
    for (const QByteArray& cut : {good.left(good.size() / 2), good.left(60)})
        Refused([&] { WriteAll(paths.DbPath(), cut); }, kDamaged);
    Refused(
        [&] {
            QFile::remove(paths.DbPath());
            TDM other(paths.DbPath(), TOpenMode::CreateNew);
            other.Connect();
            other.ExecSQLP("CREATE TABLE Songs(Title TEXT, Singer TEXT)");
        },
        kDamaged);

    // Without a backup the box says so instead of naming one.
    QFile::remove(backup);
    const QString noBackup = Refused([&] { WriteAll(paths.DbPath(), "not a database at all"); }, kDamaged);
    EXPECT_TRUE(noBackup.contains(QStringLiteral("Backup 文件夹中没有备份"))) << qPrintable(noBackup);

    // A missing index is no fault: the start makes it.
    WriteAll(paths.DbPath(), good);
    drop("DROP INDEX idx_batch_status");
    TTestPrompter prompter;
    EXPECT_TRUE(PrepareDatabase(paths) && prompter.Shown.empty()) << qPrintable(prompter.LastText());
}

TEST_F(StartUpOnABadFile, ZeroByteFileIsKeptAsideAndAFreshDatabaseMade) {
    WriteAll(paths.DbPath(), {});
    WriteAll(paths.DbPath() + "-journal", "left from the empty file");
    TTestPrompter prompter;
    auto dm = PrepareDatabase(paths);
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(VarToStr(dm->ScalarP("SELECT (SELECT LoginName FROM T_User)||(SELECT COUNT(*) FROM T_Farmer)")), "admin0");

    const QStringList aside = QDir(DataDir()).entryList({"Movelkar_empty_*.mdb"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(ReadAll(DataDir() + "/" + aside[0]) + ReadAll(DataDir() + "/" + aside[0] + "-journal"), "left from the empty file");

    ASSERT_TRUE(prompter.Shown.size() == 1u && prompter.Shown[0].kind == TMsgKind::Warn);
    const QString text = prompter.Shown[0].text;
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(DataDir() + "/" + aside[0])) && text.contains(backup))
        << qPrintable(text);
    EXPECT_EQ(QString::fromUtf8(ReadAll(paths.InitErrorLog())).left(12), text.left(12));
}

TEST(StartWait, TheExpectedTimeComesFromTheFileSizeThenFromTheIndexesAlreadyMade) {
    struct TCase { qint64 bytes; int done, total; qint64 elapsedMs; QString text; };
    for (const TCase& t : std::vector<TCase>{
             {350'000'000, 0, 27, 0, "正在为数据库建立索引，仅首次需要，约需 10 秒…"},
             {350'000'000, 9, 27, 6000, "正在为数据库建立索引，仅首次需要，约需 12 秒…"},
             {1'000'000, 0, 27, 0, "正在为数据库建立索引，仅首次需要，约需 1 秒…"},
             {0, 0, 5, 0, "正在为数据库建立索引，仅首次需要，请稍候…"},  // a server: nothing tells yet
             {0, 2, 5, 4000, "正在为数据库建立索引，仅首次需要，约需 6 秒…"}}) {
        const TStartEstimate estimate(t.bytes);
        EXPECT_EQ(TStartEstimate::IndexText(estimate.IndexSeconds(t.done, t.total, t.elapsedMs)), t.text);
    }
    EXPECT_EQ(TStartEstimate::CheckText(TStartEstimate(636'000'000).CheckSeconds()), "正在逐页检查数据库文件，约需 3 秒…");
}

TEST(DataDir, ABuildTreeKeepsItsDataBesideTheProgramAndAnInstalledOneInTheSharedFolder) {
    QTemporaryDir etc;
    const auto ini = [&](const char* name, const char* key, const char* value) {
        QSettings(etc.filePath(name), QSettings::IniFormat).setValue(key, value);
        return etc.filePath(name);
    };
    const QString named = ini("Movelkar.ini", "paths/DataDir", "/srv/grain");
    const QString empty = ini("empty.ini", "paths/Other", "x");
    const QString relative = ini("relative.ini", "paths/DataDir", "grain");
    struct TCase { QString exeDir, ini, dir; bool shared; };
    const TCase cases[] = {
        {"/home/li/movelkar/build/src", named, "/home/li/movelkar/build/src/", false},  // the ini is not read
        {"/usr/bin", etc.filePath("missing.ini"), "/var/lib/movelkar/", true},
        {"/usr/bin/", named, "/srv/grain/", true},
        {"/usr/local/bin", empty, "/var/lib/movelkar/", true},
        {"/usr/bin", relative, "/var/lib/movelkar/", true},  // a relative folder would follow the current one
    };
    for (const TCase& c : cases) {
        const TDataDir d = ChooseDataDir(c.exeDir, c.ini);
        EXPECT_EQ(d.Dir, c.dir) << qPrintable(c.exeDir + " " + c.ini);
        EXPECT_EQ(d.Shared, c.shared) << qPrintable(c.exeDir);
    }
}

TEST(StationDatabase, TheIniChoosesTheEngineAStartMakesTheTablesOnceAndAnUnreachableOrIncompleteDatabaseStopsIt) {
    QTemporaryDir dir;
    const TAppPaths paths{dir.path() + "/"};
    EXPECT_TRUE(!paths.Database().IsPostgres() && paths.Database().Path == paths.DbPath()) << "no file: the embedded database";

    WriteAll(paths.StationIni(), "[Scale]\nport=COM3\n[database]\nengine=sqlite\nhost=far\n");
    EXPECT_FALSE(paths.Database().IsPostgres());

    WriteAll(paths.StationIni(), "[database]\nengine=PostgreSQL\nhost=10.0.0.5\nport=5433\ndatabase=centre\n"
                                 "user=station1\npassword=secret\n");
    const TDbConfig server = paths.Database();
    ASSERT_TRUE(server.IsPostgres());
    EXPECT_EQ(server.ConnInfo(), "host='10.0.0.5' port='5433' dbname='centre' user='station1' "
                                 "client_encoding='UTF8' application_name='Movelkar' connect_timeout='10'")
        << "a password in the file is not ours to use: ~/.pgpass or PGPASSWORD give it";
    WriteAll(paths.StationIni(), "[database]\nengine=postgresql\nhost=" + dir.path().toUtf8() + "/nosocket\n");
    TTestPrompter prompter;
    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_TRUE(prompter.LastText().startsWith("数据库初始化失败：无法连接数据库服务器：") &&
                prompter.LastText().contains("Movelkar.ini")) << prompter.LastText().toStdString();
    EXPECT_TRUE(QFile::exists(paths.InitErrorLog()) && !QFile::exists(paths.DbPath()))
        << "logged, and no file made in place of the server";

    // A second start leaves a made database as it is; a database of this system that lacks a table or
    // a column the program uses stops the start naming what is missing, on the file and on the server
    // alike; every numbered save would fail.
    QFile::remove(paths.StationIni());
    const TTestDatabase db(paths.DbPath());
    db.WriteStationIni(paths.StationIni());
    prompter.Clear();
    ASSERT_TRUE(PrepareDatabase(paths)) << prompter.LastText().toStdString();
    const std::unique_ptr<TDM> again = PrepareDatabase(paths);
    ASSERT_NE(again, nullptr) << prompter.LastText().toStdString();
    EXPECT_EQ(VarToInt(again->ScalarP("SELECT COUNT(*) FROM T_User WHERE LoginName='admin'")), 1)
        << "the starting rows are made once";
    const auto alter = [&](const QString& sql) {
        TDM dm(db.Config(), TOpenMode::Inspect);
        dm.Connect();
        dm.ExecSQLP(sql);
    };
    alter("ALTER TABLE T_Batch DROP COLUMN VoidMemo");
    EXPECT_EQ(PrepareDatabase(paths), nullptr);
    EXPECT_TRUE(prompter.LastText().contains(QStringLiteral("不完整，缺少数据列：T_Batch.VoidMemo\r\n")) &&
                prompter.LastText().contains(QStringLiteral("备份")))
        << "the restore hint stays: " << prompter.LastText().toStdString();
    if (db.Config().IsPostgres()) {
        alter("DROP TABLE T_Counter");
        EXPECT_EQ(PrepareDatabase(paths), nullptr);
        EXPECT_TRUE(prompter.LastText().contains(QStringLiteral("缺少数据表：T_Counter\r\n")))
            << prompter.LastText().toStdString();
    }
}
