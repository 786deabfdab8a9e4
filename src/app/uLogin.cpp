#include "app/uLogin.h"

#include "data/uDM.h"
#include "data/uPassword.h"
#include "data/uDbText.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QString TLoginCheck::Message() const {
    switch (outcome) {
    case TOutcome::Accepted: return {};
    case TOutcome::NameMissing: return QStringLiteral("请输入用户名");
    case TOutcome::Refused: return QStringLiteral("用户名或密码错误");
    }
    return {};
}

QStringList TLoginLogic::LoginNames() const {
    const TQuery q = dm_.OpenSQL("SELECT LoginName,UserName FROM T_User WHERE IsActive=-1 ORDER BY UserID");
    QStringList names;
    for (int r = 0; r < q.RowCount(); ++r) names << VarToStr(q.Value(r, "LoginName"));
    return names;
}

TLoginCheck TLoginLogic::Check(const QString& typedName, const QString& password) const {
    const QString name = typedName.trimmed();
    if (name.isEmpty()) return {TLoginCheck::TOutcome::NameMissing, {}};
    // No account holds a control character; the server would compare only up to a NUL.
    if (!ControlCharRefusal({}, {}, {}, name + password).isEmpty()) return {TLoginCheck::TOutcome::Refused, {}};
    const TQuery q = dm_.OpenSQLP(
        "SELECT UserID,LoginName,UserName,Role,IsActive,Pwd,PwdHash FROM T_User WHERE LoginName=:u", {{"u", name}});
    for (int r = 0; r < q.RowCount(); ++r) {
        if (!q.Value(r, "IsActive").AsBool()) continue;
        const QString hash = VarToStr(q.Value(r, "PwdHash"));
        if (!PasswordMatches(hash, VarToStr(q.Value(r, "Pwd")), password)) continue;
        const int userId = VarToInt(q.Value(r, "UserID"));
        if (hash.isEmpty()) HashPlainPassword(userId, password);
        return {TLoginCheck::TOutcome::Accepted,
                MakeSession(userId, VarToStr(q.Value(r, "LoginName")), VarToStr(q.Value(r, "UserName")),
                            VarToStr(q.Value(r, "Role")))};
    }
    return {TLoginCheck::TOutcome::Refused, {}};
}

// Only while the plain text is still there: another station logging in at the same moment
// stores a hash of the same password, and either one will do.
void TLoginLogic::HashPlainPassword(int userId, const QString& password) const {
    try {
        dm_.ExecSQLP("UPDATE T_User SET PwdHash=:h,Pwd='' WHERE UserID=:i AND (PwdHash IS NULL OR PwdHash='')",
                     {{"h", PasswordHash(password)}, {"i", userId}});
    } catch (const TDbError&) {
        // The login stands; the plain text is replaced at a later login.
    }
}

TfrmLogin::TfrmLogin(TDM& dm, QWidget* parent) : QDialog(parent), logic_(dm) {}

void TfrmLogin::BuildUI() {
    setWindowTitle(QStringLiteral("登录 - Movelkar"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(380, 250);
    CentreOnScreen(this);
    ApplyFormFont(this);

    QLabel* heading = MakeLabel(this, QStringLiteral("Movelkar"), 0, 16, 380, 34);
    heading->setAlignment(Qt::AlignCenter);
    heading->setFont(QFont(kSansFamily, 15));

    MakeLabel(this, QStringLiteral("用户名："), 80, 76, 60);
    cboUser_ = MakeCombo(this, 140, 74, 160, TComboStyle::Editable);
    // A typed name must not join the list of accounts offered.
    cboUser_->setInsertPolicy(QComboBox::NoInsert);
    cboUser_->addItems(logic_.LoginNames());
    cboUser_->setCurrentIndex(cboUser_->count() > 0 ? 0 : -1);

    MakeLabel(this, QStringLiteral("密  码："), 80, 114, 60);
    edtPwd_ = MakePasswordBox(this, 140, 114, 160);

    QPushButton* ok = MakeButton(this, QStringLiteral("登 录"), 100, 162, 80, 28, [this] { RunGuarded([this] { DoOK(); }); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("退 出"), 200, 162, 80, 28, [this] { DoCancel(); });

    QLabel* hint = new QLabel(QStringLiteral("初始账号：admin  初始密码：846"), this);
    hint->setGeometry(0, 250 - 22, 380, 22);
    hint->setAlignment(Qt::AlignCenter);
    hint->setFont(QFont(kSongFamily, 8));
    hint->setStyleSheet("QLabel { color: #808080; }");

    // With a name already chosen the user only has to type the password and press Enter.
    if (cboUser_->currentText().isEmpty())
        cboUser_->setFocus();
    else
        edtPwd_->setFocus();
}

void TfrmLogin::DoOK() {
    const TLoginCheck check = logic_.Check(cboUser_->currentText(), edtPwd_->text());
    switch (check.outcome) {
    case TLoginCheck::TOutcome::NameMissing:
        ShowWarn(check.Message());
        cboUser_->setFocus();
        return;
    case TLoginCheck::TOutcome::Refused:
        ShowWarn(check.Message());
        edtPwd_->clear();
        edtPwd_->setFocus();
        return;
    case TLoginCheck::TOutcome::Accepted:
        Session = check.session;
        accept();
        return;
    }
}

void TfrmLogin::DoCancel() { reject(); }

QLineEdit* MakePasswordBox(QWidget* parent, int left, int top, int width) {
    QLineEdit* edit = MakeEdit(parent, left, top, width);
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    return edit;
}

bool RunLogin(TDM& dm) {
    TfrmLogin dlg(dm);
    dlg.BuildUI();
    return dlg.exec() == QDialog::Accepted;
}
