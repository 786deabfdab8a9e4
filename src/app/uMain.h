#pragma once
// The home screen: menus, the function board by business area, the status bar, and the
// small functions of its own (password change, backup, restore, about). It starts the day's
// automatic backup and shows when the last one was made.

#include "app/uAutoBackup.h"
#include "app/uGlobal.h"
#include "app/uStartup.h"
#include "forms/uCtl.h"

#include <QDateTime>
#include <QDialog>
#include <QMainWindow>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QTimer;
class TDM;

// The refusal message, or an empty text when the session's password was changed (and logged).
// The new password is hashed exactly as typed; only its length is judged without the blanks.
QString ChangePassword(TDM& dm, const TSession& s, const QString& oldPwd, const QString& newPwd,
                       const QString& confirm);

struct TPwdInput {
    QString oldPwd, newPwd, confirm;
};

class TfrmPwd : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPwd(QWidget* parent = nullptr);
    void BuildUI();
    TPwdInput Input() const;

private:
    QLineEdit* edtOld_ = nullptr;
    QLineEdit* edtNew_ = nullptr;
    QLineEdit* edtConfirm_ = nullptr;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    TfrmMain(TDM& dm, const TAppPaths& paths, QWidget* parent = nullptr);

    // Builds the window and records the login.
    void BuildUI();
    void DoAction(int code);
    bool DoPwd();
    void DoBackup();
    void DoRestore();
    void DoAbout();
    void DoExit();
    void Tick();
    // Records the logout, once, however the window is closed.
    void FormClose();

    QString UserPanelText() const;
    QString DatePanelText() const;
    QString ClockPanelText() const;
    QString BackupPanelText() const;
    // A restore put another database in place: the program starts over at the login.
    bool RestartRequested() const { return restart_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // The password dialog; nothing when it is not confirmed.
    virtual std::optional<TPwdInput> AskPasswords();

private:
    void BuildMenus();
    void BuildBoard();
    void BuildStatusBar();
    // The one place where an action code meets the window it opens.
    void OpenWindow(int code);
    void BackupFinished(const TBackupRun& run);
    void ShowBackupStatus();

    TDM& dm_;
    TAppPaths paths_;
    QLabel* pnlUser_ = nullptr;
    QLabel* pnlDate_ = nullptr;
    QLabel* pnlClock_ = nullptr;
    QLabel* pnlBackup_ = nullptr;
    QTimer* timer_ = nullptr;
    bool closed_ = false;
    bool restart_ = false;
    TBackupSettings backupSettings_;
    std::unique_ptr<TDailyBackup> daily_;
    TBackgroundBackup* background_ = nullptr;

};
