// The administrator's way back to yesterday's data through the real windows: the status bar
// names the last copy, 系统 → 数据恢复 lists the copies with their checks, a damaged copy is
// refused, 否 changes nothing, and 是 puts the chosen copy in place and ends the session.

#include "road/RoadUi.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include "app/uAutoBackup.h"
#include "app/uMain.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

TEST(RestoreRoad, AnAdministratorPutsYesterdaysCopyInPlaceFromTheMenu) {
    SKIP_ON_SERVER();
    TTestCentre c;
    TTestPrompter prompter;
    const QDate today = QDate::currentDate();
    const auto farmers = [&] { return c.rows("SELECT Name FROM T_Farmer ORDER BY FarmerID"); };
    c.addFarmer("张三");
    const QString backupDir = c.paths().BackupDir();
    ASSERT_TRUE(MakeBackup(c.dm().Config(), backupDir, QDateTime(today.addDays(-3), QTime(8, 5)), {}).Ok);
    const TBackupRun yesterday = MakeBackup(c.dm().Config(), backupDir, QDateTime(today.addDays(-1), QTime(7, 58)), {});
    ASSERT_TRUE(yesterday.Ok);
    const QString damaged = BackupTarget(backupDir, QDateTime(today.addDays(-2), QTime(8, 1)));
    ASSERT_TRUE(QFile::copy(yesterday.Target, damaged));
    QFile cut(damaged);
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    c.addFarmer("李四");

    TfrmMain main(c.dm(), c.paths());
    main.BuildUI();
    main.show();
    EXPECT_EQ(main.BackupPanelText().trimmed(), "上次备份：" + today.addDays(-1).toString("yyyy-MM-dd") + " 07:58");
    Shot(&main, "23-backup-status");
    QAction* restore = nullptr;
    for (QAction* a : main.findChildren<QAction*>())
        if (a->text() == "数据恢复") restore = a;
    ASSERT_TRUE(restore);
    // Restores the copy in the row, answering the question with `yes`.
    const auto restoreRow = [&](QDialog& d, int row, bool yes) {
        GridOf(&d)->setFocus();
        GridOf(&d)->selectRow(row);
        yes ? prompter.AnswerYes() : prompter.AnswerNo();
        Click(&d, "恢复所选备份");
    };
    WithDialog([&] { restore->trigger(); },
               [&](QDialog& d) {
                   ASSERT_EQ(GridOf(&d)->model()->rowCount(), 3);
                   // The copies are checked one by one after the window opens.
                   EXPECT_TRUE(QTest::qWaitFor([&] { return !ColumnOf(GridOf(&d), "检查结果").contains("检查中…"); }, 10000));
                   EXPECT_EQ(ColumnOf(GridOf(&d), "检查结果").at(0), "完好");
                   EXPECT_TRUE(ColumnOf(GridOf(&d), "检查结果").at(1).startsWith("损坏"));
                   Shot(&d, "24-restore");
                   restoreRow(d, 1, true);
                   EXPECT_TRUE(prompter.LastText().contains("没有恢复")) << qPrintable(prompter.LastText());
                   EXPECT_EQ(farmers(), "张三; 李四");
                   restoreRow(d, 0, false);
                   EXPECT_EQ(farmers(), "张三; 李四");
                   restoreRow(d, 0, true);
               });
    EXPECT_TRUE(prompter.LastText().startsWith("数据已从备份恢复")) << qPrintable(prompter.LastText());
    EXPECT_TRUE(main.RestartRequested());
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(farmers(), "张三");
    EXPECT_EQ(QDir(c.paths().AppDir + "Data").entryList({"Movelkar_恢复前_*.mdb"}).size(), 1);
    // The restored log: the copy's own rows, the restore, and the session's end.
    const QStringList actions = c.logActions();
    EXPECT_EQ(actions.mid(actions.size() - 2), (QStringList{"数据恢复", "退出"}));
}
