#pragma once
// 数据恢复: an administrator puts a checked backup copy in place of the database file. The file
// in use is kept aside, never overwritten; a copy that fails its check is refused before anything
// is replaced. On a server the technician restores with the copy tool instead.

#include "app/uAutoBackup.h"
#include "app/uBackupFiles.h"
#include "app/uGlobal.h"
#include "app/uStartup.h"
#include "data/uDbHealth.h"

#include <QDialog>
#include <atomic>
#include <thread>

class QTableWidget;
class TDM;

struct TBackupEntry {
    TBackupFile File;
    TDbHealth Check;

    QString CheckText() const;  // "完好", or what is wrong
};

struct TRestoreResult {
    bool Ok = false;
    QString Message;  // what the user is told
    QString Aside;    // where the database in use was kept
};

class TRestoreLogic {
public:
    TRestoreLogic(TDM& dm, TAppPaths paths, TClock clock = &QDateTime::currentDateTime);

    // The refusal message, or empty when the session may restore on this engine.
    QString Refusal(const TSession& s) const;
    // The technician's steps when the data is on a server.
    static QString ServerSteps(const TDbConfig& config);

    // The copies in the backup folder, newest first, each checked.
    QList<TBackupEntry> List() const;
    // The copies, not checked yet; and the check of one of them.
    QList<TBackupFile> Copies() const;
    static TDbHealth CheckCopy(const QString& path);
    // Checks the copy again, keeps the database in use aside as Movelkar_恢复前_<time>.mdb,
    // puts the copy in place and writes the restore into the restored database's log. The data
    // module is connected to the restored file afterwards (to the old one, untouched, when a
    // step fails).
    TRestoreResult Restore(const QString& backupPath, const TSession& who);

private:
    TDM& dm_;
    TAppPaths paths_;
    TClock clock_;
};

class TfrmRestore : public QDialog {
    Q_OBJECT
public:
    TfrmRestore(TDM& dm, const TAppPaths& paths, QWidget* parent = nullptr);
    ~TfrmRestore() override;
    void BuildUI();
    void DoRestore();
    // A copy was put in place: the program starts over at the login.
    bool Restored() const { return restored_; }

private:
    // Lists the copies at once and checks them one by one on a worker thread: a centre keeps
    // some forty copies, and checking them all takes seconds on a large database.
    void Fill();
    void StopChecks();
    void ShowCheck(int row, const TDbHealth& check);

    TRestoreLogic logic_;
    std::thread checker_;
    std::atomic<bool> stop_{false};
    QTableWidget* grid_ = nullptr;
    QList<TBackupEntry> entries_;
    bool restored_ = false;
};

// The menu's 数据恢复: refusals and the server's steps are shown here; true when a copy was
// put in place.
bool OpenRestore(TDM& dm, const TAppPaths& paths, QWidget* parent);
