#include "app/uGlobal.h"
#include "app/uLocale.h"
#include "app/uLogin.h"
#include "app/uMain.h"
#include "app/uStartup.h"
#include "data/uDbUpgrade.h"
#include "data/uPassword.h"
#include "forms/uCrud.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uOutbound.h"
#include "workflow/uStock.h"

#include <QAbstractButton>
#include <QAbstractFileIconProvider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

namespace {
TSession As(const QString& role) { return MakeSession(7, "u", "某人", role); }

QStringList AllRoles() { return Roles::All + QStringList{QStringLiteral("保管员")}; }

void AddUser(TDM& dm, const QString& login, const QString& pwd, const QString& role, bool active = true) {
    dm.ExecSQLP("INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:n,:p,:r,:a)",
                {{"l", login}, {"n", login + "名"}, {"p", pwd}, {"r", role}, {"a", active}});
}

// What the account keeps: its plain text and whether a hash of the password is stored.
QString Stored(TTestCentre& c, int userId, const QString& password) {
    const TQuery q = c.dm().OpenSQLP("SELECT Pwd, PwdHash FROM T_User WHERE UserID=:i", {{"i", userId}});
    const QString hash = VarToStr(q.Field("PwdHash"));
    return VarToStr(q.Field("Pwd")) + "/" + (hash.isEmpty() ? "no hash" : PasswordMatches(hash, {}, password) ? "hash" : "other hash");
}

class TScriptedMain : public TfrmMain {
public:
    using TfrmMain::TfrmMain;
    std::optional<TPwdInput> answer;

protected:
    std::optional<TPwdInput> AskPasswords() override { return answer; }
};
template <class T>
T* Find(TfrmMain& w, const QString& caption) {
    for (T* x : w.findChildren<T*>())
        if (x->text() == caption) return x;
    ADD_FAILURE() << "nothing called " << qPrintable(caption);
    return nullptr;
}
}  // namespace

TEST(Roles, EveryRoleAgainstEveryButtonEveryActionAndTheReadOnlySwitch) {
    // A = administrator only, E = every role, or the one role besides the administrator.
    // 17 and 18 are open at the button (the backup tests inside).
    const std::map<int, QString> buttons{
        {1, "A"},  {2, "A"},  {3, "A"},  {4, "A"},  {5, "A"},  {6, "E"},  {7, "司磅员"}, {8, "操作工"},
        {9, "E"},  {10, "司磅员"}, {11, "财务"}, {12, "操作工"}, {13, "操作工"}, {14, "E"}, {15, "A"},
        {16, "A"}, {17, "E"}, {18, "E"}, {20, "E"}, {21, "E"}, {22, "E"}, {23, "E"},
    };
    const std::vector<std::tuple<TAction, QString, QString>> actions{
        {TAction::NewIntake, Roles::Weigher, "当前角色无权登记收粮"},
        {TAction::VoidBatch, "A", "只有管理员可以作废批次（数据留痕、不可删除）"},
        {TAction::Dispatch, Roles::Operator, "当前角色无权派工"},
        {TAction::EndRound, Roles::Operator, "当前角色无权操作烘干记录"},
        {TAction::NewOutbound, Roles::Weigher, "当前角色无权登记出库"},
        {TAction::Settle, Roles::Finance, "当前角色无权结算"},
        {TAction::VoidSettle, "A", "只有管理员可以作废结算单"},
        {TAction::Backup, "A", "只有管理员可以备份数据"},
    };
    for (const QString& role : AllRoles()) {
        EXPECT_EQ(As(role).ReadOnly, role == Roles::Viewer) << qPrintable(role);
        for (int code = 0; code <= 24; ++code) {
            const auto rule = buttons.find(code);
            const bool expected = rule != buttons.end() &&
                                  (rule->second == "E" || role == Roles::Admin || rule->second == role);
            EXPECT_EQ(ButtonAllowed(As(role), code), expected) << qPrintable(role) << " code " << code;
        }
        for (const auto& [action, only, refusal] : actions) {
            const bool allowed = role == Roles::Admin || role == only;
            EXPECT_EQ(ActionAllowed(As(role), action), allowed) << qPrintable(role) << " " << qPrintable(refusal);
            EXPECT_EQ(ActionRefusal(As(role), action), allowed ? QString() : refusal) << qPrintable(role);
        }
        // Master data may be changed by everyone but the query-only role, which gets no message.
        EXPECT_EQ(ActionAllowed(As(role), TAction::EditMasterData), role != Roles::Viewer) << qPrintable(role);
    }
    EXPECT_TRUE(ActionRefusal(As(Roles::Viewer), TAction::EditMasterData).isEmpty());
    EXPECT_TRUE(As(Roles::Admin).HasRole({}) && !As(Roles::Weigher).HasRole({}));
    EXPECT_FALSE(As(Roles::Admin + " ").IsAdmin());  // role texts are compared exactly

    // Read-only is refused before the role is tested: write actions fail even for an administrator, voids do not.
    TSession s = As(Roles::Admin);
    s.ReadOnly = true;
    EXPECT_EQ(ActionRefusal(s, TAction::NewIntake) + ActionRefusal(s, TAction::Settle), "当前角色无权登记收粮当前角色无权结算");
    EXPECT_TRUE(!ActionAllowed(s, TAction::EditMasterData) && ActionAllowed(s, TAction::VoidBatch) &&
                ActionAllowed(s, TAction::Backup));
}

// Wrong and blank entries are refused and clear the password; names are trimmed, passwords exact,
// disabled accounts refused; attempts are not limited.
TEST(Login, RefusalsTheSeededAdministratorALateAccountAndTheMainWindowsLogRowsListsAndButtonRoles) {
    TTestCentre c;
    TTestPrompter prompter;
    Session = TSession{};
    AddUser(c.dm(), "zhang", " a b ", Roles::Weigher);
    AddUser(c.dm(), "li", "Secret", Roles::Viewer);
    AddUser(c.dm(), "wang", "123", Roles::Finance, false);
    const TLoginLogic logic(c.dm());
    EXPECT_EQ(logic.LoginNames(), (QStringList{"admin", "zhang", "li"}));
    const TLoginCheck ok = logic.Check("  zhang\t", " a b ");
    EXPECT_TRUE(ok.Accepted() && ok.session.LoginName == "zhang" && ok.session.Role == Roles::Weigher &&
                logic.Check("li", "Secret").session.ReadOnly);
    const QString refused = QStringLiteral("用户名或密码错误");
    for (const auto& [name, pwd] : std::vector<std::pair<QString, QString>>{
             {"zhang", "a b"}, {"zhang", " a b"}, {"li", "secret"}, {"wang", "123"}})
        EXPECT_EQ(logic.Check(name, pwd).Message(), refused) << qPrintable(pwd);

    TfrmLogin dlg(c.dm());
    dlg.BuildUI();
    const auto attempt = [&](const QString& name, const QString& pwd) {
        prompter.Clear();
        dlg.NameBox()->setEditText(name);
        dlg.PasswordBox()->setText(pwd);
        dlg.DoOK();
        return dlg.result();
    };
    EXPECT_EQ(attempt("admin", "847"), QDialog::Rejected);
    EXPECT_TRUE(prompter.Texts() == QStringList{refused} && dlg.PasswordBox()->text().isEmpty());
    attempt("   ", "846");
    EXPECT_TRUE(prompter.Texts() == QStringList{QStringLiteral("请输入用户名")} && Session.UserID == 0);
    // An account created after the dialog filled its list gets in without joining the list.
    AddUser(c.dm(), "sun", "456", Roles::Finance);
    EXPECT_TRUE(attempt("sun", "456") == QDialog::Accepted && Session.LoginName == "sun");
    EXPECT_TRUE(attempt("admin", "846") == QDialog::Accepted && Session.Role == Roles::Admin);
    EXPECT_TRUE(prompter.Shown.empty() && c.count("T_Log") == 0) << "the main window records the login, not the dialog";

    // The main window logs the login and the exit, opens each list once, holds each button to its role.
    prompter.Clear();
    auto admin = std::make_unique<TfrmMain>(c.dm(), c.paths());
    admin->BuildUI();
    EXPECT_EQ(c.rows("SELECT ActType, TblName, RefNo, Detail, LoginName FROM T_Log"),
              QStringLiteral("登录/T_User/admin/管理员/admin"));

    const std::vector<std::pair<QString, QString>> lists{
        {"粮种管理", "粮种管理"},       {"收费标准", "烘干收费标准"},         {"仓位管理", "仓位管理"},
        {"设备台账", "烘干机设备台账"},   {"班组操作员", "班组操作员管理"},      {"农户/客户档案", "农户/客户档案"},
        {"运行能耗填报", "设备运行与能耗填报"}, {"保养维修记录", "设备保养维修记录"}, {"用户权限", "系统用户管理"}};
    for (const auto& [button, title] : lists) {
        Find<QPushButton>(*admin, button)->click();
        const auto open = admin->findChildren<TfrmCrud*>();
        EXPECT_TRUE(std::any_of(open.begin(), open.end(), [&](TfrmCrud* f) { return f->Def().Title == title; }))
            << qPrintable(button);
    }
    EXPECT_TRUE(prompter.Shown.empty());
    admin->show();
    Find<QAction>(*admin, QStringLiteral("退出系统"))->trigger();
    EXPECT_FALSE(admin->isVisible());
    admin.reset();
    EXPECT_EQ(c.rows("SELECT ActType, RefNo FROM T_Log ORDER BY LogID"), "登录/admin; 退出/admin");

    c.loginAs(Roles::Viewer);
    TfrmMain w(c.dm(), c.paths());
    w.BuildUI();
    const QString noRight = QStringLiteral("当前角色【查询员】无权使用该功能");
    const QStringList reports{"报表/溯源中心", "每日烘干台账", "农户对账", "损耗能耗报表"};
    const QStringList everyone{"修改密码", "数据备份", "农户/客户档案", "粮仓库存", "库存预警"};
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
        if (everyone.contains(b->text())) continue;
        prompter.Clear();
        b->click();
        const QString expected = reports.contains(b->text()) ? QString() : noRight;
        EXPECT_EQ(prompter.LastText(), expected) << qPrintable(b->text());
    }

    // A second click opens no second window; stock and its warnings share one.
    prompter.Clear();
    Find<QPushButton>(w, "农户/客户档案")->click();
    Find<QPushButton>(w, "农户/客户档案")->click();
    EXPECT_EQ(w.findChildren<TfrmCrud*>().size(), 1);
    Find<QPushButton>(w, "粮仓库存")->click();
    Find<QPushButton>(w, "库存预警")->click();
    ASSERT_EQ(w.findChildren<TfrmStock*>().size(), 1);
    EXPECT_EQ(w.findChild<TfrmStock*>()->pages->currentIndex(), TfrmStock::PageWarn);

    c.loginAs(Roles::Weigher);
    Find<QPushButton>(w, "出库单打印")->click();
    Find<QPushButton>(w, "粮食出库")->click();
    EXPECT_EQ(w.findChildren<TfrmOutList*>().size(), 1) << "both outbound buttons open the one ledger";

    // Backup is for administrators only, from the board and from the menu.
    Find<QPushButton>(w, "数据备份")->click();
    Find<QAction>(w, "数据备份")->trigger();
    EXPECT_EQ(prompter.Texts(), (QStringList{"只有管理员可以备份数据", "只有管理员可以备份数据"}))
        << "nothing else shown since the second click";
    EXPECT_EQ(c.count("T_Log", "ActType='数据备份'"), 0);
}

TEST(Password, RefusalsInOrderThenStoredOnlyAsAHashAlsoFromTheBoardAndFromAnEarlierDatabase) {
    TTestCentre c;
    TDM& dm = c.dm();
    const int admin = Session.UserID;
    // The old password is judged first, even when the new one is also unfit; " ab  " is two
    // characters once the blanks around them are set aside.
    for (const auto& [old, a, b, refusal] : std::vector<std::tuple<QString, QString, QString, QString>>{
             {"846 ", "abcd", "abcd", "原密码不正确"}, {"x", "a", "b", "原密码不正确"},
             {"846", " ab  ", " ab  ", "新密码至少3位"}, {"846", "abc ", "abc", "两次输入的新密码不一致"}})
        EXPECT_EQ(ChangePassword(dm, Session, old, a, b), refusal) << qPrintable(old + "/" + a);
    EXPECT_EQ(Stored(c, Session.UserID, "846") + QString::number(c.count("T_Log")), "/hash0");
    EXPECT_TRUE(ChangePassword(dm, Session, "846", "abc ", "abc ").isEmpty());
    EXPECT_EQ(Stored(c, Session.UserID, "abc "), "/hash");
    EXPECT_TRUE(!TLoginLogic(dm).Check("admin", "846").Accepted() && TLoginLogic(dm).Check("admin", "abc ").Accepted());
    EXPECT_EQ(c.rows("SELECT ActType, TblName, RefNo FROM T_Log"), QStringLiteral("修改密码/T_User/%1").arg(Session.UserID));

    c.loginAs(Roles::Viewer);
    TTestPrompter prompter;
    TScriptedMain w(c.dm(), c.paths());
    w.BuildUI();
    const int logRows = c.count("T_Log");
    EXPECT_FALSE(w.DoPwd());  // cancelled: nothing shown
    // A wrong old password: the warning is shown and the old password stays.
    w.answer = TPwdInput{"px", "new", "new"};
    EXPECT_FALSE(w.DoPwd());
    EXPECT_EQ(Stored(c, Session.UserID, "pw"), "pw/no hash");
    // The query-only role may change its own password.
    w.answer = TPwdInput{"pw", "new", "new"};
    Find<QPushButton>(w, QStringLiteral("修改密码"))->click();
    EXPECT_EQ(prompter.Texts(), (QStringList{QStringLiteral("原密码不正确"), QStringLiteral("密码修改成功")}));
    EXPECT_EQ(Stored(c, Session.UserID, "new") + QString::number(c.count("T_Log") - logRows), "/hash1");

    // A database of an earlier version: no hash column, passwords as typed. Start-up adds the
    // column; each plain password logs in once and is then kept only as its hash.
    c.loginAs(Roles::Finance);
    const int finance = Session.UserID;
    dm.ExecSQLP("ALTER TABLE T_User DROP COLUMN PwdHash");
    dm.ExecSQLP("UPDATE T_User SET Pwd='846' WHERE UserID=:i", {{"i", admin}});
    prompter.Clear();
    ASSERT_NE(PrepareDatabase(c.paths()), nullptr) << prompter.LastText().toStdString();
    EXPECT_EQ(UpgradeDatabase(dm), "");  // once is enough

    TLoginLogic login(dm);
    EXPECT_FALSE(login.Check("admin", "847").Accepted());
    EXPECT_EQ(Stored(c, admin, "846") + " " + Stored(c, finance, "pw"), "846/no hash pw/no hash");
    EXPECT_TRUE(login.Check("admin", "846").Accepted() && login.Check(Session.LoginName, "pw").Accepted());
    EXPECT_EQ(Stored(c, admin, "846") + " " + Stored(c, finance, "pw"), "/hash /hash");
    EXPECT_TRUE(login.Check("admin", "846").Accepted() && !login.Check("admin", "").Accepted());
    EXPECT_EQ(c.count("T_User", "Pwd<>''"), 0);
}

// Questions read Chinese and Enter answers Yes, except where the answer deletes or voids.
TEST(ChineseInterface, EnterAnswersYesExceptForDeleteAndVoid) {
    ASSERT_TRUE(InstallChineseInterface(*qApp)) << "Qt's zh_CN translations are installed with the package";
    EXPECT_EQ(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), "文件夹");
    QString yesText, defaultText;
    const auto pressEnter = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box) << "no question box is up";
            yesText = box->button(QMessageBox::Yes)->text();
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
    };
    pressEnter();
    EXPECT_TRUE(AskYesNo(QStringLiteral("确认第 1 轮烘干合格并入仓？")));
    EXPECT_TRUE(yesText.startsWith(QStringLiteral("是")) && defaultText == yesText) << qPrintable(defaultText);
    pressEnter();
    EXPECT_FALSE(AskYesNo(QStringLiteral("确认删除【荞麦】？删除后不可恢复。"), TDefaultAnswer::No));
    EXPECT_TRUE(defaultText.startsWith(QStringLiteral("否"))) << qPrintable(defaultText);
}
