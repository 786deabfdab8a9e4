#pragma once
// Who is logged in, and the one rule of which role may do what.

#include <QString>
#include <QStringList>

namespace Roles {
inline const QString Admin = QStringLiteral("管理员");
inline const QString Weigher = QStringLiteral("司磅员");
inline const QString Operator = QStringLiteral("操作工");
inline const QString Finance = QStringLiteral("财务");
inline const QString Viewer = QStringLiteral("查询员");
inline const QStringList All = {Admin, Weigher, Operator, Finance, Viewer};
}  // namespace Roles

struct TSession {
    int UserID = 0;
    QString LoginName;
    QString UserName;
    QString Role;
    bool ReadOnly = false;  // exactly when Role is "查询员"

    bool IsAdmin() const;
    // The administrator passes every role test.
    bool HasRole(const QStringList& roles) const;
};

TSession MakeSession(int userId, const QString& loginName, const QString& userName, const QString& role);

// Filled once by the login; the windows read it.
extern TSession Session;
bool IsAdmin();
bool HasRole(const QStringList& roles);

// The main window's buttons, by action code. Codes 17 and 18 are never refused here:
// the password change is open to all and the backup makes its own test.
bool ButtonAllowed(const TSession& s, int code);
QString ButtonRefusal(const TSession& s);

// Actions tested inside the windows when they are started.
enum class TAction {
    NewIntake, VoidBatch, Dispatch, EndRound, NewOutbound, Settle, VoidSettle, Backup, Restore, EditMasterData,
    ScaleSettings
};
// The refusal message, or an empty text when the action is allowed. Editing master data is
// refused without a message (its buttons are disabled): check with ActionAllowed.
QString ActionRefusal(const TSession& s, TAction action);
bool ActionAllowed(const TSession& s, TAction action);
