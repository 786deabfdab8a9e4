#include "app/uLogin.h"
#include "app/uMain.h"
#include "app/uStartup.h"
#include "data/uDbUpgrade.h"
#include "data/uPassword.h"

#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {
// The main window with the password dialog answered by the test.
class TScriptedMain : public TfrmMain {
public:
    using TfrmMain::TfrmMain;
    std::optional<TPwdInput> answer;

protected:
    std::optional<TPwdInput> AskPasswords() override { return answer; }
};

// What the account keeps: its plain text and whether a hash of the password is stored.
QString Stored(TTestCentre& c, int userId, const QString& password) {
    const TQuery q = c.dm().OpenSQLP("SELECT Pwd, PwdHash FROM T_User WHERE UserID=:i", {{"i", userId}});
    const QString hash = VarToStr(q.Field("PwdHash"));
    return VarToStr(q.Field("Pwd")) + "/" + (hash.isEmpty() ? "no hash" : PasswordMatches(hash, {}, password) ? "hash" : "other hash");
}
}  // namespace

TEST(Password, RefusalsInOrderThenStoredOnlyAsAHash) {
    TTestCentre c;
    TDM& dm = c.dm();
    EXPECT_EQ(ChangePassword(dm, Session, "846 ", "abcd", "abcd"), QStringLiteral("原密码不正确"));
    // The old password is judged first, even when the new one is also unfit.
    EXPECT_EQ(ChangePassword(dm, Session, "x", "a", "b"), QStringLiteral("原密码不正确"));
    // Five characters, but only two once the blanks around them are set aside.
    EXPECT_EQ(ChangePassword(dm, Session, "846", " ab  ", " ab  "), QStringLiteral("新密码至少3位"));
    EXPECT_EQ(ChangePassword(dm, Session, "846", "abc ", "abc"), QStringLiteral("两次输入的新密码不一致"));
    EXPECT_EQ(Stored(c, Session.UserID, "846"), "/hash");
    EXPECT_EQ(c.count("T_Log"), 0);

    EXPECT_TRUE(ChangePassword(dm, Session, "846", "abc ", "abc ").isEmpty());
    EXPECT_EQ(Stored(c, Session.UserID, "abc "), "/hash");
    EXPECT_FALSE(TLoginLogic(dm).Check("admin", "846").Accepted());
    EXPECT_TRUE(TLoginLogic(dm).Check("admin", "abc ").Accepted());
    EXPECT_EQ(c.rows("SELECT ActType, TblName, RefNo FROM T_Log"), QStringLiteral("修改密码/T_User/%1").arg(Session.UserID));
}

// A database of an earlier version: no hash column, passwords as typed. Start-up adds the column;
// each plain password logs in once and is then kept only as its hash.
TEST(Password, AnEarlierDatabaseKeepsItsAccountsAndLosesItsPlainPasswords) {
    TTestCentre c;
    TDM& dm = c.dm();
    const int admin = Session.UserID;
    c.loginAs(Roles::Finance);
    const int finance = Session.UserID;
    dm.ExecSQLP("ALTER TABLE T_User DROP COLUMN PwdHash");
    dm.ExecSQLP("UPDATE T_User SET Pwd='846' WHERE UserID=:i", {{"i", admin}});
    TTestPrompter prompter;
    ASSERT_NE(PrepareDatabase(c.paths()), nullptr) << prompter.LastText().toStdString();
    EXPECT_EQ(UpgradeDatabase(dm), "");  // once is enough

    TLoginLogic login(dm);
    EXPECT_FALSE(login.Check("admin", "847").Accepted());
    EXPECT_EQ(Stored(c, admin, "846"), "846/no hash");
    EXPECT_TRUE(login.Check("admin", "846").Accepted());
    EXPECT_EQ(Stored(c, admin, "846"), "/hash");
    EXPECT_TRUE(login.Check("admin", "846").Accepted());
    EXPECT_FALSE(login.Check("admin", "").Accepted());
    EXPECT_EQ(Stored(c, finance, "pw"), "pw/no hash");
    EXPECT_TRUE(login.Check(Session.LoginName, "pw").Accepted());
    EXPECT_EQ(Stored(c, finance, "pw"), "/hash");
    EXPECT_EQ(VarToInt(c.scalar("SELECT COUNT(*) FROM T_User WHERE Pwd<>''")), 0);
}

TEST(Password, DialogWiringFromTheBoard) {
    TTestCentre c(Roles::Viewer);
    TTestPrompter prompter;
    TScriptedMain w(c.dm(), c.paths());
    w.BuildUI();
    const int logRows = c.count("T_Log");
    EXPECT_FALSE(w.DoPwd());  // cancelled: nothing shown
    EXPECT_TRUE(prompter.Shown.empty());

    // A wrong old password: the warning is shown and the old password stays.
    w.answer = TPwdInput{"px", "new", "new"};
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("修改密码")) b->click();
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("原密码不正确")});
    EXPECT_EQ(Stored(c, Session.UserID, "pw"), "pw/no hash");

    // The query-only role may change its own password.
    prompter.Clear();
    w.answer = TPwdInput{"pw", "new", "new"};
    EXPECT_TRUE(w.DoPwd());
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("密码修改成功")});
    EXPECT_EQ(Stored(c, Session.UserID, "new"), "/hash");
    EXPECT_EQ(c.count("T_Log"), logRows + 1);
}
