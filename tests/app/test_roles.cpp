#include "app/uGlobal.h"

#include <gtest/gtest.h>

#include <map>

namespace {
TSession As(const QString& role) { return MakeSession(7, "u", "某人", role); }

// Every role plus a role text outside the five.
QStringList AllRoles() { return Roles::All + QStringList{QStringLiteral("保管员")}; }
}  // namespace

TEST(Roles, EveryRoleAgainstEveryButtonAndTheReadOnlySwitch) {
    // A = administrator only, E = every role, or the one role besides the administrator.
    // 17 and 18 are open at the button (the backup tests inside).
    const std::map<int, QString> buttons{
        {1, "A"},  {2, "A"},  {3, "A"},  {4, "A"},  {5, "A"},  {6, "E"},  {7, "司磅员"}, {8, "操作工"},
        {9, "E"},  {10, "司磅员"}, {11, "财务"}, {12, "操作工"}, {13, "操作工"}, {14, "E"}, {15, "A"},
        {16, "A"}, {17, "E"}, {18, "E"}, {20, "E"}, {21, "E"}, {22, "E"}, {23, "E"},
    };
    for (const QString& role : AllRoles()) {
        EXPECT_EQ(As(role).ReadOnly, role == Roles::Viewer) << qPrintable(role);
        for (int code = 0; code <= 24; ++code) {
            const auto rule = buttons.find(code);
            const bool expected = rule != buttons.end() &&
                                  (rule->second == "E" || role == Roles::Admin || rule->second == role);
            EXPECT_EQ(ButtonAllowed(As(role), code), expected) << qPrintable(role) << " code " << code;
        }
    }
    EXPECT_TRUE(As(Roles::Admin).HasRole({}));
    EXPECT_FALSE(As(Roles::Weigher).HasRole({}));
    EXPECT_FALSE(As(Roles::Admin + " ").IsAdmin());  // role texts are compared exactly
}

TEST(Roles, ActionsInsideWindows) {
    struct TCase {
        TAction action;
        QString role;  // the one role besides the administrator, or "A"
        QString refusal;
    };
    const std::vector<TCase> cases{
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
        for (const TCase& c : cases) {
            const bool allowed = role == Roles::Admin || role == c.role;
            EXPECT_EQ(ActionAllowed(As(role), c.action), allowed) << qPrintable(role) << " " << qPrintable(c.refusal);
            EXPECT_EQ(ActionRefusal(As(role), c.action), allowed ? QString() : c.refusal) << qPrintable(role);
        }
        // Master data may be changed by everyone but the query-only role, which gets no message.
        EXPECT_EQ(ActionAllowed(As(role), TAction::EditMasterData), role != Roles::Viewer) << qPrintable(role);
    }
    EXPECT_TRUE(ActionRefusal(As(Roles::Viewer), TAction::EditMasterData).isEmpty());

    // Read-only is refused before the role is tested: write actions fail even for an administrator, voids do not.
    TSession s = As(Roles::Admin);
    s.ReadOnly = true;
    EXPECT_EQ(ActionRefusal(s, TAction::NewIntake), QStringLiteral("当前角色无权登记收粮"));
    EXPECT_EQ(ActionRefusal(s, TAction::Settle), QStringLiteral("当前角色无权结算"));
    EXPECT_FALSE(ActionAllowed(s, TAction::EditMasterData));
    EXPECT_TRUE(ActionAllowed(s, TAction::VoidBatch));
    EXPECT_TRUE(ActionAllowed(s, TAction::Backup));
}
