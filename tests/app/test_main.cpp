#include "app/uMain.h"

#include "forms/uCrud.h"
#include "support/TestCentre.h"
#include "workflow/uBatchList.h"
#include "support/TestPrompter.h"

#include <QAction>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
QPushButton* BoardButton(TfrmMain& w, const QString& caption) {
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    ADD_FAILURE() << "no button " << qPrintable(caption);
    return nullptr;
}

QAction* MenuAction(TfrmMain& w, const QString& caption) {
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (a->text() == caption) return a;
    ADD_FAILURE() << "no menu entry " << qPrintable(caption);
    return nullptr;
}
}  // namespace

TEST(MainWindow, BuildShowsSessionAndRecordsLoginAndLogoutOnce) {
    TTestCentre c;
    TTestPrompter prompter;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Movelkar  v1.0.0"));
    EXPECT_EQ(w.size(), QSize(1010, 600));
    EXPECT_EQ(w.UserPanelText(), QStringLiteral("  当前用户：系统管理员（管理员）"));
    EXPECT_EQ(w.DatePanelText(),
              QStringLiteral("  今天：") + QDate::currentDate().toString(QStringLiteral("yyyy年MM月dd日")));
    EXPECT_TRUE(w.ClockPanelText().isEmpty());
    w.Tick();
    EXPECT_TRUE(QRegularExpression(R"(^  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)").match(w.ClockPanelText()).hasMatch())
        << qPrintable(w.ClockPanelText());

    const TQuery login = c.dm().OpenSQL("SELECT ActType,TblName,RefNo,Detail,LoginName FROM T_Log");
    ASSERT_EQ(login.RowCount(), 1);
    EXPECT_EQ(VarToStr(login.Field("ActType")), QStringLiteral("登录"));
    EXPECT_EQ(VarToStr(login.Field("TblName")), "T_User");
    EXPECT_EQ(VarToStr(login.Field("RefNo")), "admin");
    EXPECT_EQ(VarToStr(login.Field("Detail")), QStringLiteral("管理员"));
    EXPECT_EQ(VarToStr(login.Field("LoginName")), "admin");

    w.show();
    MenuAction(w, QStringLiteral("退出系统"))->trigger();
    EXPECT_FALSE(w.isVisible());
    w.close();
    EXPECT_EQ(c.logActions(), (QStringList{QStringLiteral("登录"), QStringLiteral("退出")}));
    EXPECT_EQ(VarToStr(c.scalar("SELECT RefNo FROM T_Log WHERE ActType='退出'")), "admin");
}

TEST(MainWindow, BoardGroupsAndMenus) {
    TTestCentre c;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    QStringList titles;
    for (QGroupBox* g : w.findChildren<QGroupBox*>()) {
        titles << g->title();
        EXPECT_TRUE(g->font().bold());
        for (QPushButton* b : g->findChildren<QPushButton*>()) EXPECT_FALSE(b->font().bold());
    }
    EXPECT_EQ(titles, (QStringList{"  基础信息（管理员）  ", "  农户与业务  ", "  库存与出库  ", "  结算与设备  ",
                                   "  报表台账（监管迎检）  ", "  系统管理  "}));
    EXPECT_EQ(w.findChildren<QPushButton*>().size(), 23);
    EXPECT_EQ(BoardButton(w, "粮食出库")->property("actionCode"), BoardButton(w, "出库单打印")->property("actionCode"));

    QStringList menus;
    for (QAction* m : w.menuBar()->actions()) {
        QStringList entries;
        for (QAction* a : m->menu()->actions()) entries << (a->isSeparator() ? "-" : a->text());
        menus << m->text() + ":" + entries.join('|');
    }
    EXPECT_EQ(menus, (QStringList{"系统(&S):修改密码|数据备份|-|退出系统", "帮助(&H):关于本系统"}));
}

TEST(MainWindow, EveryButtonAppliesTheRoleRule) {
    TTestCentre c(Roles::Viewer);
    TTestPrompter prompter;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    const QString refused = QStringLiteral("当前角色【查询员】无权使用该功能");
    const QString notYet = QStringLiteral("该功能尚未开放");
    const QStringList notBuilt{"粮仓库存", "库存预警", "报表/溯源中心", "每日烘干台账", "农户对账", "损耗能耗报表"};
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
        if (b->text() == "修改密码" || b->text() == "数据备份" || b->text() == "农户/客户档案") continue;
        prompter.Clear();
        b->click();
        EXPECT_EQ(prompter.LastText(), notBuilt.contains(b->text()) ? notYet : refused) << qPrintable(b->text());
    }

    // A viewer may look at the farmers but not change them.
    prompter.Clear();
    BoardButton(w, "农户/客户档案")->click();
    EXPECT_TRUE(prompter.Shown.empty());
    auto* farmers = w.findChild<TfrmCrud*>();
    ASSERT_NE(farmers, nullptr);
    EXPECT_FALSE(farmers->AddButton()->isEnabled());
    EXPECT_FALSE(farmers->EditButton()->isEnabled());
    EXPECT_FALSE(farmers->DeleteButton()->isEnabled());
    BoardButton(w, "农户/客户档案")->click();
    EXPECT_EQ(w.findChildren<TfrmCrud*>().size(), 1);

    c.loginAs(Roles::Weigher);
    prompter.Clear();
    BoardButton(w, "收粮入库登记")->click();
    BoardButton(w, "出库单打印")->click();
    BoardButton(w, "烘干批次作业")->click();
    EXPECT_EQ(prompter.Texts(), (QStringList{notYet, QStringLiteral("当前角色【司磅员】无权使用该功能")}));
    EXPECT_NE(w.findChild<TfrmBatchList*>(), nullptr);
}

TEST(MainWindow, BackupIsForAdministratorsOnlyFromButtonAndMenu) {
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    BoardButton(w, "数据备份")->click();
    MenuAction(w, "数据备份")->trigger();
    EXPECT_EQ(prompter.Texts(), (QStringList{"只有管理员可以备份数据", "只有管理员可以备份数据"}));
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}
