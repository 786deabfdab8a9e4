#include "app/uMain.h"

#include "forms/uCrud.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uOutbound.h"
#include "workflow/uStock.h"

#include <QAction>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace {
// The board button or menu entry with this caption.
template <class T>
T* Find(TfrmMain& w, const QString& caption) {
    for (T* x : w.findChildren<T*>())
        if (x->text() == caption) return x;
    ADD_FAILURE() << "nothing called " << qPrintable(caption);
    return nullptr;
}
}  // namespace

TEST(MainWindow, LoginAndLogoutRowsAndEachMasterDataButtonOpensItsList) {
    TTestCentre c;
    TTestPrompter prompter;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    EXPECT_EQ(c.rows("SELECT ActType, TblName, RefNo, Detail, LoginName FROM T_Log"),
              QStringLiteral("登录/T_User/admin/管理员/admin"));

    const std::vector<std::pair<QString, QString>> lists{
        {"粮种管理", "粮种管理"},       {"收费标准", "烘干收费标准"},         {"仓位管理", "仓位管理"},
        {"设备台账", "烘干机设备台账"},   {"班组操作员", "班组操作员管理"},      {"农户/客户档案", "农户/客户档案"},
        {"运行能耗填报", "设备运行与能耗填报"}, {"保养维修记录", "设备保养维修记录"}, {"用户权限", "系统用户管理"}};
    for (const auto& [button, title] : lists) {
        Find<QPushButton>(w, button)->click();
        const auto open = w.findChildren<TfrmCrud*>();
        EXPECT_TRUE(std::any_of(open.begin(), open.end(), [&](TfrmCrud* f) { return f->Def().Title == title; }))
            << qPrintable(button);
    }
    EXPECT_TRUE(prompter.Shown.empty());

    w.show();
    Find<QAction>(w, QStringLiteral("退出系统"))->trigger();
    EXPECT_FALSE(w.isVisible());
    w.close();
    EXPECT_EQ(c.logActions(), (QStringList{QStringLiteral("登录"), QStringLiteral("退出")}));
    EXPECT_EQ(VarToStr(c.scalar("SELECT RefNo FROM T_Log WHERE ActType='退出'")), "admin");
}

TEST(MainWindow, EveryButtonAppliesTheRoleRule) {
    TTestCentre c(Roles::Viewer);
    TTestPrompter prompter;
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    const QString refused = QStringLiteral("当前角色【查询员】无权使用该功能");
    const QStringList reports{"报表/溯源中心", "每日烘干台账", "农户对账", "损耗能耗报表"};
    const QStringList everyone{"修改密码", "数据备份", "农户/客户档案", "粮仓库存", "库存预警"};
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
        if (everyone.contains(b->text())) continue;
        prompter.Clear();
        b->click();
        const QString expected = reports.contains(b->text()) ? QString() : refused;
        EXPECT_EQ(prompter.LastText(), expected) << qPrintable(b->text());
    }

    // A second click opens no second window; stock and its warnings share one.
    prompter.Clear();
    Find<QPushButton>(w, "农户/客户档案")->click();
    Find<QPushButton>(w, "农户/客户档案")->click();
    EXPECT_EQ(w.findChildren<TfrmCrud*>().size(), 1);
    Find<QPushButton>(w, "粮仓库存")->click();
    Find<QPushButton>(w, "库存预警")->click();
    EXPECT_TRUE(prompter.Shown.empty());
    ASSERT_EQ(w.findChildren<TfrmStock*>().size(), 1);
    EXPECT_EQ(w.findChild<TfrmStock*>()->pages->currentIndex(), TfrmStock::PageWarn);

    c.loginAs(Roles::Weigher);
    prompter.Clear();
    Find<QPushButton>(w, "出库单打印")->click();
    Find<QPushButton>(w, "粮食出库")->click();
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(w.findChildren<TfrmOutList*>().size(), 1) << "both outbound buttons open the one ledger";

    // Backup is for administrators only, from the board and from the menu.
    prompter.Clear();
    Find<QPushButton>(w, "数据备份")->click();
    Find<QAction>(w, "数据备份")->trigger();
    EXPECT_EQ(prompter.Texts(), (QStringList{"只有管理员可以备份数据", "只有管理员可以备份数据"}));
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}
