#include "app/uGlobal.h"

#include <array>

TSession Session;

bool TSession::IsAdmin() const { return Role == Roles::Admin; }

bool TSession::HasRole(const QStringList& roles) const { return IsAdmin() || roles.contains(Role); }

TSession MakeSession(int userId, const QString& loginName, const QString& userName, const QString& role) {
    return TSession{userId, loginName, userName, role, role == Roles::Viewer};
}

bool IsAdmin() { return Session.IsAdmin(); }

bool HasRole(const QStringList& roles) { return Session.HasRole(roles); }

namespace {
enum class TWho { Everyone, AdminOnly, Role };

struct TButtonRule {
    int code;
    TWho who;
    const QString* role;  // for TWho::Role
};

const std::array<TButtonRule, 22> kButtonRules{{
    {1, TWho::AdminOnly, nullptr},       {2, TWho::AdminOnly, nullptr},
    {3, TWho::AdminOnly, nullptr},       {4, TWho::AdminOnly, nullptr},
    {5, TWho::AdminOnly, nullptr},       {6, TWho::Everyone, nullptr},
    {7, TWho::Role, &Roles::Weigher},    {8, TWho::Role, &Roles::Operator},
    {9, TWho::Everyone, nullptr},        {20, TWho::Everyone, nullptr},
    {10, TWho::Role, &Roles::Weigher},   {11, TWho::Role, &Roles::Finance},
    {12, TWho::Role, &Roles::Operator},  {13, TWho::Role, &Roles::Operator},
    {14, TWho::Everyone, nullptr},       {21, TWho::Everyone, nullptr},
    {22, TWho::Everyone, nullptr},       {23, TWho::Everyone, nullptr},
    {16, TWho::AdminOnly, nullptr},      {15, TWho::AdminOnly, nullptr},
    {17, TWho::Everyone, nullptr},       {18, TWho::Everyone, nullptr},
}};

struct TActionRule {
    TAction action;
    bool needsWrite;  // refused to a read-only session before the role is tested
    TWho who;
    const QString* role;  // for TWho::Role
    const char* refusal;
};

const std::array<TActionRule, 11> kActionRules{{
    {TAction::NewIntake, true, TWho::Role, &Roles::Weigher, "当前角色无权登记收粮"},
    {TAction::VoidBatch, false, TWho::AdminOnly, nullptr, "只有管理员可以作废批次（数据留痕、不可删除）"},
    {TAction::Dispatch, true, TWho::Role, &Roles::Operator, "当前角色无权派工"},
    {TAction::EndRound, true, TWho::Role, &Roles::Operator, "当前角色无权操作烘干记录"},
    {TAction::NewOutbound, true, TWho::Role, &Roles::Weigher, "当前角色无权登记出库"},
    {TAction::Settle, true, TWho::Role, &Roles::Finance, "当前角色无权结算"},
    {TAction::VoidSettle, false, TWho::AdminOnly, nullptr, "只有管理员可以作废结算单"},
    {TAction::Backup, false, TWho::AdminOnly, nullptr, "只有管理员可以备份数据"},
    {TAction::Restore, false, TWho::AdminOnly, nullptr, "只有管理员可以恢复数据"},
    {TAction::EditMasterData, true, TWho::Everyone, nullptr, ""},
    {TAction::ScaleSettings, false, TWho::AdminOnly, nullptr, "只有管理员可以设置地磅"},
}};

bool Passes(const TSession& s, TWho who, const QString* role) {
    switch (who) {
    case TWho::Everyone: return true;
    case TWho::AdminOnly: return s.IsAdmin();
    case TWho::Role: return s.HasRole({*role});
    }
    return false;
}
}  // namespace

bool ButtonAllowed(const TSession& s, int code) {
    for (const TButtonRule& rule : kButtonRules)
        if (rule.code == code) return Passes(s, rule.who, rule.role);
    return false;
}

QString ButtonRefusal(const TSession& s) {
    return QStringLiteral("当前角色【") + s.Role + QStringLiteral("】无权使用该功能");
}

bool ActionAllowed(const TSession& s, TAction action) {
    for (const TActionRule& rule : kActionRules) {
        if (rule.action != action) continue;
        if (rule.needsWrite && s.ReadOnly) return false;
        return Passes(s, rule.who, rule.role);
    }
    return false;
}

QString ActionRefusal(const TSession& s, TAction action) {
    if (ActionAllowed(s, action)) return {};
    for (const TActionRule& rule : kActionRules)
        if (rule.action == action) return QString::fromUtf8(rule.refusal);
    return {};
}
