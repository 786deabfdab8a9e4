#include "app/uStartWait.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbInit.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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
        TTransaction tx(dm);
        for (int i = 0; i < 400; ++i)
            dm.ExecSQLP("INSERT INTO T_Farmer(Name,Village,Blacklist) VALUES(:n,'东村',0)",
                        {{"n", QStringLiteral("农户%1").arg(i)}});
        tx.Commit();
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
        EXPECT_EQ(ReadAll(paths.DbPath()), before) << "the file was changed";
        EXPECT_EQ(QDir(DataDir()).entryList(QDir::Files), filesBefore);
        if (prompter.Shown.size() != 1) {
            ADD_FAILURE() << "expected one error box, got " << prompter.Shown.size();
            return {};
        }
        const QString text = prompter.Shown[0].text;
        EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Error);
        EXPECT_TRUE(text.startsWith(lead)) << qPrintable(text);
        QString logged = QString::fromUtf8(ReadAll(paths.InitErrorLog()));
        EXPECT_TRUE(logged.endsWith("\r\n"));
        logged.chop(2);
        // The log also names the data folder, for the technician who reads it.
        EXPECT_EQ(logged, QString(text).replace("\r\n", "\n").replace("\n", "\r\n") + QStringLiteral("\r\n数据文件夹：") +
                              QDir::toNativeSeparators(paths.AppDir));
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

TEST_F(StartUpOnABadFile, DamagedOrForeignFilesAreRefusedNamingTheBackupAndLeftAsTheyWere) {
    const QByteArray good = ReadAll(paths.DbPath());
    const QString randomBytes = Refused(
        [&] {
            QByteArray junk(64 * 1024, '\0');
            for (char& b : junk) b = char(QRandomGenerator::global()->bounded(256));
            WriteAll(paths.DbPath(), junk);
        },
        kDamaged);
    EXPECT_TRUE(randomBytes.contains(QStringLiteral("最近的备份：") + backup)) << qPrintable(randomBytes);
    EXPECT_TRUE(randomBytes.contains(kRestore + TAppPaths::DbShownName()));

    Refused([&] { WriteAll(paths.DbPath(), good.left(good.size() / 2)); }, kDamaged);
    Refused([&] { WriteAll(paths.DbPath(), good.left(60)); }, kDamaged);
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
}

TEST_F(StartUpOnABadFile, MissingTablesAreNamedButAMissingIndexIsNoFault) {
    const auto drop = [&](const QString& statement) {
        TDM dm(paths.DbPath());
        dm.Connect();
        dm.ExecSQLP(statement);
    };
    const QString text = Refused([&] { drop("DROP TABLE T_Batch"); },
                                 QStringLiteral("数据库文件不完整，缺少数据表：T_Batch\r\n"));
    EXPECT_TRUE(text.contains(QStringLiteral("最近的备份：") + backup));
    Refused([&] { drop("DROP TABLE T_Log"); }, QStringLiteral("数据库文件不完整，缺少数据表：T_Batch、T_Log\r\n"));

    QFile::remove(paths.DbPath());
    EnsureDatabase(paths.DbPath(), paths.BackupDir());
    drop("DROP INDEX idx_batch_status");
    TTestPrompter prompter;
    EXPECT_NE(PrepareDatabase(paths), nullptr);
    EXPECT_TRUE(prompter.Shown.empty());
}

TEST_F(StartUpOnABadFile, ReadOnlyFileIsRefusedBeforeAnythingIsLost) {
    // Marked read-only through its permission bits, which bind an administrator account too.
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
    const QString text = Refused([&] { QFile::setPermissions(paths.DbPath(), readOnly); },
                                 QStringLiteral("数据库文件为只读，无法保存任何记录：") +
                                     QDir::toNativeSeparators(paths.DbPath()));
    EXPECT_TRUE(text.contains(QStringLiteral("去掉“只读”")));
    EXPECT_FALSE(QFileInfo::exists(paths.DbPath() + "-journal"));
    QFile::setPermissions(paths.DbPath(), readOnly | QFile::WriteOwner | QFile::WriteUser);
    TTestPrompter prompter;
    EXPECT_NE(PrepareDatabase(paths), nullptr);
}

TEST_F(StartUpOnABadFile, ZeroByteFileIsKeptAsideAndAFreshDatabaseMade) {
    WriteAll(paths.DbPath(), {});
    WriteAll(paths.DbPath() + "-journal", "left from the empty file");
    TTestPrompter prompter;
    auto dm = PrepareDatabase(paths);
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(VarToInt(dm->ScalarP("SELECT COUNT(*) FROM T_User WHERE LoginName='admin'")), 1);
    EXPECT_EQ(VarToInt(dm->ScalarP("SELECT COUNT(*) FROM T_Farmer")), 0);

    const QStringList aside = QDir(DataDir()).entryList({"Movelkar_empty_*.mdb"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(QFileInfo(DataDir() + "/" + aside[0]).size(), 0);
    EXPECT_EQ(ReadAll(DataDir() + "/" + aside[0] + "-journal"), "left from the empty file");

    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Warn);
    const QString text = prompter.Shown[0].text;
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(DataDir() + "/" + aside[0]))) << qPrintable(text);
    EXPECT_TRUE(text.contains(backup));
    EXPECT_EQ(QString::fromUtf8(ReadAll(paths.InitErrorLog())).left(12), text.left(12));
}

TEST(StartWait, TheExpectedTimeComesFromTheFileSizeThenFromTheIndexesAlreadyMade) {
    struct TCase {
        qint64 bytes;
        int done, total;
        qint64 elapsedMs;
        QString text;
    };
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
