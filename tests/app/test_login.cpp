#include "app/uLogin.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {
void AddUser(TTestCentre& c, const QString& login, const QString& pwd, const QString& role, bool active = true) {
    c.dm().ExecSQLP("INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:n,:p,:r,:a)",
                    {{"l", login}, {"n", login + "名"}, {"p", pwd}, {"r", role}, {"a", active}});
}

// A fresh centre with nobody logged in yet, and the login dialog over it.
class LoginDialog : public ::testing::Test {
protected:
    LoginDialog() { Session = TSession{}; }
    TfrmLogin& Open() {
        dlg = std::make_unique<TfrmLogin>(c.dm());
        dlg->BuildUI();
        return *dlg;
    }
    TTestCentre c;
    TTestPrompter prompter;
    std::unique_ptr<TfrmLogin> dlg;
};
}  // namespace

TEST_F(LoginDialog, SeededAdministratorLogsInWithThePreselectedName) {
    TfrmLogin& dlg = Open();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("登录 - Movelkar"));
    ASSERT_EQ(dlg.NameBox()->count(), 1);
    EXPECT_EQ(dlg.NameBox()->currentText(), "admin");
    // The name is chosen, so typing goes straight into the password box.
    EXPECT_EQ(dlg.focusWidget(), dlg.PasswordBox());

    dlg.PasswordBox()->setText("846");
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(Session.LoginName, "admin");
    EXPECT_EQ(Session.UserName, QStringLiteral("系统管理员"));
    EXPECT_EQ(Session.Role, QStringLiteral("管理员"));
    EXPECT_FALSE(Session.ReadOnly);
    EXPECT_EQ(c.count("T_Log"), 0);  // the main window records the login, not the dialog
}

TEST_F(LoginDialog, WrongPasswordEmptiesTheBoxAndKeepsTheName) {
    TfrmLogin& dlg = Open();
    dlg.PasswordBox()->setText("847");
    dlg.DoOK();
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("用户名或密码错误")});
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dlg.PasswordBox()->text().isEmpty());
    EXPECT_EQ(dlg.NameBox()->currentText(), "admin");
    EXPECT_EQ(dlg.focusWidget(), dlg.PasswordBox());
    EXPECT_EQ(Session.UserID, 0);

    prompter.Clear();
    dlg.NameBox()->setEditText("   ");
    dlg.PasswordBox()->setText("846");
    dlg.DoOK();
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("请输入用户名")});
    EXPECT_EQ(dlg.focusWidget(), dlg.NameBox());
    EXPECT_EQ(dlg.PasswordBox()->text(), "846");

    // Attempts are not limited: the right password still gets in afterwards.
    dlg.NameBox()->setEditText("admin");
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(Login, NameTrimmedPasswordExactAndCaseSensitive) {
    TTestCentre c;
    AddUser(c, "zhang", " a b ", QStringLiteral("司磅员"));
    AddUser(c, "li", "Secret", QStringLiteral("查询员"));
    const TLoginLogic logic(c.dm());

    const TLoginCheck ok = logic.Check("  zhang\t", " a b ");
    ASSERT_TRUE(ok.Accepted());
    EXPECT_EQ(ok.session.LoginName, "zhang");
    EXPECT_EQ(ok.session.Role, QStringLiteral("司磅员"));
    EXPECT_TRUE(ok.Message().isEmpty());
    EXPECT_FALSE(logic.Check("zhang", "a b").Accepted());
    EXPECT_FALSE(logic.Check("zhang", " a b").Accepted());

    EXPECT_FALSE(logic.Check("li", "secret").Accepted());
    EXPECT_FALSE(logic.Check("li", "SECRET").Accepted());
    const TLoginCheck viewer = logic.Check("li", "Secret");
    ASSERT_TRUE(viewer.Accepted());
    EXPECT_TRUE(viewer.session.ReadOnly);
    EXPECT_EQ(viewer.session.UserName, QStringLiteral("li名"));

    EXPECT_EQ(logic.Check("nobody", "x").Message(), QStringLiteral("用户名或密码错误"));
    EXPECT_EQ(logic.Check("", "846").Message(), QStringLiteral("请输入用户名"));
}

TEST_F(LoginDialog, DisabledAccountsAreNeitherOfferedNorAdmitted) {
    AddUser(c, "wang", "123", QStringLiteral("财务"), false);
    AddUser(c, "zhao", "123", QStringLiteral("操作工"));
    TfrmLogin& dlg = Open();
    EXPECT_EQ(TLoginLogic(c.dm()).LoginNames(), (QStringList{"admin", "zhao"}));

    dlg.NameBox()->setEditText("wang");
    dlg.PasswordBox()->setText("123");
    dlg.DoOK();
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("用户名或密码错误")});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Session.UserID, 0);

    // An account created after the list was filled can be typed in by hand.
    AddUser(c, "sun", "456", QStringLiteral("财务"));
    dlg.NameBox()->setEditText("sun");
    dlg.PasswordBox()->setText("456");
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Session.LoginName, "sun");
    // A typed name does not join the offered list.
    EXPECT_EQ(dlg.NameBox()->count(), 2);
}

TEST_F(LoginDialog, CancelEndsWithoutSessionOrLogRow) {
    TfrmLogin& dlg = Open();
    dlg.PasswordBox()->setText("846");
    dlg.DoCancel();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Session.UserID, 0);
    EXPECT_TRUE(Session.LoginName.isEmpty());
    EXPECT_EQ(c.count("T_Log"), 0);
    EXPECT_TRUE(prompter.Shown.empty());
}

TEST_F(LoginDialog, NoEnabledAccountLeavesTheNameToBeTyped) {
    c.dm().ExecSQLP("UPDATE T_User SET IsActive=0");
    TfrmLogin& dlg = Open();
    EXPECT_EQ(dlg.NameBox()->count(), 0);
    EXPECT_EQ(dlg.focusWidget(), dlg.NameBox());
}
