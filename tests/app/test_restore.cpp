#include "app/uRestore.h"

#include "support/TestCentre.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
QByteArray Digest(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString Farmers(TDM& dm) {
    QStringList names;
    const TQuery q = dm.OpenSQL("SELECT Name FROM T_Farmer ORDER BY FarmerID");
    for (int r = 0; r < q.RowCount(); ++r) names << VarToStr(q.Value(r, 0));
    return names.join(",");
}
}  // namespace

TEST(Restore, ADamagedCopyIsRefusedAndAGoodOnePutInPlaceWithTheOldFileKeptAside) {
    SKIP_ON_SERVER();
    TTestCentre c;
    c.addFarmer("备份前");
    const QString backupDir = c.paths().BackupDir();
    const TBackupRun good = MakeBackup(c.dm().Config(), backupDir, QDateTime(QDate(2026, 3, 1), QTime(8, 0)), {});
    ASSERT_TRUE(good.Ok) << qPrintable(good.Reason);
    c.addFarmer("备份后");
    // A copy cut short, as a full disk or a broken stick leaves it.
    const QString damaged = BackupTarget(backupDir, QDateTime(QDate(2026, 3, 2), QTime(8, 0)));
    ASSERT_TRUE(QFile::copy(good.Target, damaged));
    QFile cut(damaged);
    ASSERT_TRUE(cut.resize(cut.size() / 2));

    const QDateTime now(QDate(2026, 3, 5), QTime(9, 30, 15));
    TRestoreLogic logic(c.dm(), c.paths(), [&] { return now; });
    const QList<TBackupEntry> list = logic.List();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].File.Path, QDir(damaged).absolutePath());
    EXPECT_FALSE(list[0].Check.Healthy());
    EXPECT_EQ(list[1].CheckText(), "完好");

    const QByteArray before = Digest(c.paths().DbPath());
    const TRestoreResult refused = logic.Restore(damaged, Session);
    EXPECT_FALSE(refused.Ok);
    EXPECT_TRUE(refused.Message.contains("没有恢复"));
    EXPECT_EQ(Digest(c.paths().DbPath()), before);
    EXPECT_EQ(QDir(c.paths().AppDir + "Data").entryList({"Movelkar_*"}), QStringList{});
    EXPECT_EQ(Farmers(c.dm()), "备份前,备份后");

    const TRestoreResult restored = logic.Restore(good.Target, Session);
    ASSERT_TRUE(restored.Ok) << qPrintable(restored.Message);
    EXPECT_EQ(Farmers(c.dm()), "备份前");
    const QString aside = c.paths().AppDir + "Data/Movelkar_恢复前_20260305_093015.mdb";
    EXPECT_EQ(Digest(aside), before);
    EXPECT_EQ(VarToStr(c.dm().ScalarP("SELECT ActType FROM T_Log ORDER BY LogID DESC")), "数据恢复");
    const QString detail = VarToStr(c.dm().ScalarP("SELECT Detail FROM T_Log ORDER BY LogID DESC"));
    EXPECT_TRUE(detail.contains("Movelkar_20260301_080000.mdb") && detail.contains(Session.LoginName) &&
                detail.contains("Movelkar_恢复前_20260305_093015.mdb"))
        << qPrintable(detail);
    EXPECT_FALSE(QFile::exists(c.paths().AppDir + "Data/Movelkar_恢复中.tmp"));

    c.loginAs(Roles::Finance);
    EXPECT_EQ(logic.Refusal(Session), "只有管理员可以恢复数据");
}
