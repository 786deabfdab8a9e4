#pragma once
// Identifying the user at start-up: the check against the user table and the dialog over it.

#include "app/uGlobal.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class TDM;

struct TLoginCheck {
    enum class TOutcome { Accepted, NameMissing, Refused };
    TOutcome outcome = TOutcome::Refused;
    TSession session;  // filled when accepted

    bool Accepted() const { return outcome == TOutcome::Accepted; }
    // The warning shown for a refused attempt; empty when accepted.
    QString Message() const;
};

class TLoginLogic {
public:
    explicit TLoginLogic(TDM& dm) : dm_(dm) {}

    // The enabled accounts, in the order they were created.
    QStringList LoginNames() const;
    // The name is trimmed; the password is compared exactly as typed, letter case included.
    // A disabled account is refused like a wrong password, so nobody learns it exists.
    // A password still kept as typed by an earlier version is replaced by its hash here.
    TLoginCheck Check(const QString& typedName, const QString& password) const;

private:
    void HashPlainPassword(int userId, const QString& password) const;

    TDM& dm_;
};

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(TDM& dm, QWidget* parent = nullptr);

    void BuildUI();
    // On success the global Session is filled and the dialog closes with OK.
    void DoOK();
    void DoCancel();

    QComboBox* NameBox() const { return cboUser_; }
    QLineEdit* PasswordBox() const { return edtPwd_; }

private:
    TLoginLogic logic_;
    QComboBox* cboUser_ = nullptr;
    QLineEdit* edtPwd_ = nullptr;
};

// A one-line box that shows every typed character as "*".
QLineEdit* MakePasswordBox(QWidget* parent, int left, int top, int width);

// Shows the login dialog modally; true when a user logged in (Session is then filled).
bool RunLogin(TDM& dm);
