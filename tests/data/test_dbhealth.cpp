#include "data/uDM.h"
#include "data/uDbHealth.h"
#include "data/uDbInit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A database with enough farmers to fill many pages, its last use ended as `lastAction` says.
class FullCheck : public ::testing::Test {
protected:
    FullCheck() : path(dir.path() + "/Data/Movelkar.mdb") {
        EnsureDatabase(path, dir.path() + "/Backup");
        TDM dm(path);
        dm.Connect();
        TTransaction tx(dm);
        for (int i = 0; i < 2000; ++i)
            dm.ExecSQLP("INSERT INTO T_Farmer(Name,Address,Blacklist) VALUES(:n,:a,0)",
                        {{"n", QStringLiteral("农户%1").arg(i)}, {"a", QString(60, QChar(u'路'))}});
        tx.Commit();
    }

    void EndLastUseWith(const QString& action) {
        TDM dm(path);
        dm.Connect();
        dm.WriteLog(action, "T_User", "admin", {});
    }

    // Scribbles over the middle of a page deep in the farmer table: the file still opens and
    // has every table, only a page-by-page check can tell.
    void SpoilAPage() {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 page = 4096;
        const qint64 target = (f.size() / page) / 2;
        f.seek(target * page + 8);
        f.write(QByteArray(200, '\x7f'));
    }

    TDbHealth Check(const QDate& day = QDate::currentDate()) {
        return CheckDatabaseFile(path, SchemaColumns(TDbEngine::SQLite), day);
    }

    QTemporaryDir dir;
    QString path;
};
}  // namespace

TEST_F(FullCheck, RunsOnceADayAfterCleanExitsAndAtEveryStartAfterAnUncleanOne) {
    const QDate today = QDate::currentDate();
    EndLastUseWith(QStringLiteral("退出"));
    TDbHealth h = Check();
    EXPECT_TRUE(h.Healthy());
    EXPECT_TRUE(h.FullCheckRan);
    EXPECT_EQ(ReadAll(FullCheckMarkerPath(path)).trimmed(), today.toString(Qt::ISODate).toLatin1());

    SpoilAPage();
    const QByteArray spoiled = ReadAll(path);
    // Already passed today: the quick start does not look at every page.
    h = Check();
    EXPECT_TRUE(h.Healthy());
    EXPECT_FALSE(h.FullCheckRan);
    // The next day it does, and finds the damage without touching the file.
    h = Check(today.addDays(1));
    EXPECT_EQ(h.Fault, TDbFault::Damaged);
    EXPECT_FALSE(h.Detail.isEmpty());
    EXPECT_EQ(ReadAll(path), spoiled);
    EXPECT_EQ(ReadAll(FullCheckMarkerPath(path)).trimmed(), today.toString(Qt::ISODate).toLatin1());
}

TEST_F(FullCheck, ALastUseWithoutItsExitRowIsCheckedAtOnce) {
    EndLastUseWith(QStringLiteral("退出"));
    ASSERT_TRUE(Check().FullCheckRan);
    EndLastUseWith(QStringLiteral("登录"));
    SpoilAPage();
    EXPECT_EQ(Check().Fault, TDbFault::Damaged) << "checked again on the same day";
}
