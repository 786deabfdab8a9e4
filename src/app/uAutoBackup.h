#pragma once
// Backups that happen by themselves: the first login of each day (and an exit after a day's
// work, when that day has none yet) makes the same checked copy that 数据备份 makes, on a
// worker thread with its own connection, then lets go of the copies beyond the keeping rule.

#include "app/uBackupFiles.h"
#include "data/uDbConfig.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <optional>
#include <thread>

class TDM;

struct TBackupRun {
    bool Ok = false;
    QString Target;
    QString Reason;  // why it failed, in words the staff can act on
    QStringList Removed;
};

// One checked copy of the database `config` names, through a connection of its own, into
// backupDir. Only after the copy passed its check are the copies beyond `keep` removed: a failed
// run leaves the folder as it was.
TBackupRun MakeBackup(const TDbConfig& config, const QString& backupDir, const QDateTime& at,
                      const TBackupKeeping& keep);

struct TBackupStatus {
    QString Text;  // "上次备份：…"
    bool Overdue = false;
};

using TClock = std::function<QDateTime()>;

// The decisions around the daily copy, for one session. The copy itself runs where the caller
// chooses (TBackgroundBackup, or at once).
class TDailyBackup {
public:
    TDailyBackup(TDM& dm, QString backupDir, TBackupKeeping keep, TClock clock = &QDateTime::currentDateTime);

    // No copy was made today yet.
    bool DueAtLogin() const;
    // No copy today, and today's operation log holds more than logins and logouts.
    bool DueAtExit() const;
    // Runs the copy here and now.
    TBackupRun RunNow() const;
    // Writes the run's log row. Gives the failure's message the first time a run fails in
    // this session, and empty otherwise: a failure is shown once.
    QString Record(const TBackupRun& run);
    // The newest copy in the folder; overdue when more than three days old, or none at all.
    TBackupStatus Status() const;

    const QString& BackupDir() const { return backupDir_; }
    const TBackupKeeping& Keeping() const { return keep_; }
    QDateTime Now() const { return clock_(); }

private:
    bool CopyMadeToday() const;

    TDM& dm_;
    QString backupDir_;
    TBackupKeeping keep_;
    TClock clock_;
    bool failureShown_ = false;
};

// Runs MakeBackup on a worker thread and says Finished on the thread that started it.
class TBackgroundBackup : public QObject {
    Q_OBJECT
public:
    explicit TBackgroundBackup(TDbConfig config, QObject* parent = nullptr);
    ~TBackgroundBackup() override;  // waits for a copy under way: it is never cut off

    // False when a copy is already under way.
    bool Start(const QString& backupDir, const QDateTime& at, const TBackupKeeping& keep);
    bool Running() const { return running_; }
    // Waits for a copy under way and gives its outcome (Finished is then not said).
    std::optional<TBackupRun> Wait();

signals:
    void Finished(const TBackupRun& run);

private:
    TDbConfig config_;
    std::thread worker_;
    TBackupRun result_;  // written by the worker, read after it is joined
    bool running_ = false;
};
