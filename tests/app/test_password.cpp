#include "app/uMain.h"

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

QString StoredPwd(TTestCentre& c) {
    return VarToStr(c.scalar("SELECT Pwd FROM T_User WHERE UserID=:i", {{"i", Session.UserID}}));
}
}  // namespace

TEST(Password, RefusalsInOrderThenStoredAsTyped) {
    TTestCentre c;
    TDM& dm = c.dm();
    EXPECT_EQ(ChangePassword(dm, Session, "846 ", "abcd", "abcd"), QStringLiteral("原密码不正确"));
    // The old password is judged first, even when the new one is also unfit.
    EXPECT_EQ(ChangePassword(dm, Session, "x", "a", "b"), QStringLiteral("原密码不正确"));
    // Five characters, but only two once the blanks around them are set aside.
    EXPECT_EQ(ChangePassword(dm, Session, "846", " ab  ", " ab  "), QStringLiteral("新密码至少3位"));
    EXPECT_EQ(ChangePassword(dm, Session, "846", "abc ", "abc"), QStringLiteral("两次输入的新密码不一致"));
    EXPECT_EQ(StoredPwd(c), "846");
    EXPECT_EQ(c.count("T_Log"), 0);

    EXPECT_TRUE(ChangePassword(dm, Session, "846", "abc ", "abc ").isEmpty());
    EXPECT_EQ(StoredPwd(c), "abc ");
    EXPECT_EQ(c.rows("SELECT ActType, TblName, RefNo FROM T_Log"), QStringLiteral("修改密码/T_User/%1").arg(Session.UserID));
}

TEST(Password, DialogWiringFromTheBoard) {
    TTestCentre c(Roles::Viewer);
    TTestPrompter prompter;
    TScriptedMain w(c.dm(), c.paths());
    w.BuildUI();
    const int logRows = c.count("T_Log");
    EXPECT_FALSE(w.DoPwd());  // cancelled: nothing shown
    EXPECT_TRUE(prompter.Shown.empty());

    // Too long for the user table: the error is shown and the old password stays.
    w.answer = TPwdInput{"pw", QString(21, 'x'), QString(21, 'x')};
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("修改密码")) b->click();
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_EQ(prompter.Shown[0].kind, TMsgKind::Error);
    EXPECT_EQ(StoredPwd(c), "pw");

    // The query-only role may change its own password.
    prompter.Clear();
    w.answer = TPwdInput{"pw", "new", "new"};
    EXPECT_TRUE(w.DoPwd());
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("密码修改成功")});
    EXPECT_EQ(StoredPwd(c), "new");
    EXPECT_EQ(c.count("T_Log"), logRows + 1);
}
