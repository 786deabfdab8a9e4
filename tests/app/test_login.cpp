#include "app/uLogin.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {
const QString kRefused = QStringLiteral("用户名或密码错误");

// A fresh centre with nobody logged in yet, and the login dialog over it.
class LoginDialog : public ::testing::Test {
protected:
    LoginDialog() { Session = TSession{}; }
    TfrmLogin& Open() {
        dlg = std::make_unique<TfrmLogin>(c.dm());
        dlg->BuildUI();
        return *dlg;
    }
    int Try(const QString& name, const QString& pwd) {
        dlg->NameBox()->setEditText(name);
        dlg->PasswordBox()->setText(pwd);
        dlg->DoOK();
        return dlg->result();
    }
    void AddUser(const QString& login, const QString& pwd, const QString& role, bool active = true) {
        c.dm().ExecSQLP("INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:n,:p,:r,:a)",
                        {{"l", login}, {"n", login + "名"}, {"p", pwd}, {"r", role}, {"a", active}});
    }
    TTestCentre c;
    TTestPrompter prompter;
    std::unique_ptr<TfrmLogin> dlg;
};
}  // namespace

TEST_F(LoginDialog, WrongPasswordAndBlankNameThenTheSeededAdministrator) {
    Open();
    EXPECT_EQ(dlg->NameBox()->currentText(), "admin");
    EXPECT_EQ(Try("admin", "847"), QDialog::Rejected);
    EXPECT_EQ(prompter.Texts(), QStringList{kRefused});
    EXPECT_TRUE(dlg->PasswordBox()->text().isEmpty());
    EXPECT_EQ(Session.UserID, 0);

    prompter.Clear();
    Try("   ", "846");
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("请输入用户名")});
    EXPECT_EQ(Session.UserID, 0);

    prompter.Clear();
    EXPECT_EQ(Try("admin", "846"), QDialog::Accepted);  // attempts are not limited
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_EQ(Session.Role, Roles::Admin);
    EXPECT_EQ(c.count("T_Log"), 0);  // the main window records the login, not the dialog
}

TEST_F(LoginDialog, NameTrimmedPasswordExactAndDisabledAccountsRefused) {
    AddUser("zhang", " a b ", Roles::Weigher);
    AddUser("li", "Secret", Roles::Viewer);
    AddUser("wang", "123", Roles::Finance, false);
    const TLoginLogic logic(c.dm());
    EXPECT_EQ(logic.LoginNames(), (QStringList{"admin", "zhang", "li"}));
    const TLoginCheck ok = logic.Check("  zhang\t", " a b ");
    ASSERT_TRUE(ok.Accepted());
    EXPECT_EQ(ok.session.LoginName, "zhang");
    EXPECT_EQ(ok.session.Role, Roles::Weigher);
    EXPECT_TRUE(logic.Check("li", "Secret").session.ReadOnly);
    const std::vector<std::pair<QString, QString>> wrong{
        {"zhang", "a b"}, {"zhang", " a b"}, {"li", "secret"}, {"wang", "123"}};
    for (const auto& [name, pwd] : wrong) EXPECT_EQ(logic.Check(name, pwd).Message(), kRefused) << qPrintable(pwd);

    // An account created after the dialog filled its list gets in without joining the list.
    Open();
    AddUser("sun", "456", Roles::Finance);
    EXPECT_EQ(Try("sun", "456"), QDialog::Accepted);
    EXPECT_EQ(Session.LoginName, "sun");
}
