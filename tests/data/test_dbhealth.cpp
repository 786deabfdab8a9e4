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
        return CheckDatabaseFile(path, SchemaTables(MovelkarSchema()), day);
    }

    QTemporaryDir dir;
    QString path;
};
}  // namespace

TEST(SchemaTables, AllSixteenInTheirOrder) {
    const QStringList tables = SchemaTables(MovelkarSchema());
    ASSERT_EQ(tables.size(), 16);
    EXPECT_EQ(tables.first(), "T_User");
    EXPECT_EQ(tables.at(7), "T_Batch");
    EXPECT_EQ(tables.last(), "T_Log");
}

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
    EXPECT_TRUE(Check().FullCheckRan);
    SpoilAPage();
    EXPECT_EQ(Check().Fault, TDbFault::Damaged);
}

TEST_F(FullCheck, ASaveCutOffHalfWayIsUndoneBeforeTheCheck) {
    EndLastUseWith(QStringLiteral("退出"));
    ASSERT_TRUE(Check().FullCheckRan);
    // A save caught half-way: some of its pages already in the file, the old ones in the journal.
    // Copying both while the save is open leaves exactly what a power loss would.
    const QString cut = dir.path() + "/Cut/Movelkar.mdb";
    QDir().mkpath(dir.path() + "/Cut");
    {
        TDM dm(path);
        dm.Connect();
        dm.ExecSQLP("PRAGMA cache_size=5");
        TTransaction tx(dm);
        dm.ExecSQLP("UPDATE T_Farmer SET Address='改了一半'");
        dm.ExecSQLP("DELETE FROM T_Farmer WHERE FarmerID>1000");
        ASSERT_TRUE(QFile::exists(path + "-journal"));
        ASSERT_TRUE(QFile::copy(path, cut));
        ASSERT_TRUE(QFile::copy(path + "-journal", cut + "-journal"));
        ASSERT_TRUE(QFile::copy(FullCheckMarkerPath(path), FullCheckMarkerPath(cut)));
    }
    ASSERT_NE(ReadAll(cut), ReadAll(path));

    const TDbHealth h = CheckDatabaseFile(cut, SchemaTables(MovelkarSchema()));
    EXPECT_TRUE(h.Healthy()) << qPrintable(h.Detail);
    EXPECT_TRUE(h.SaveRolledBack);
    EXPECT_TRUE(h.FullCheckRan);
    EXPECT_FALSE(QFile::exists(cut + "-journal"));
    EXPECT_EQ(ReadAll(cut), ReadAll(path));
}
