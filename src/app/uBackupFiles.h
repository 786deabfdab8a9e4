#pragma once
// The copies in the backup folder: which files are backups, when each was made, and which ones
// the keeping rule lets go.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct TBackupFile {
    QString Path;
    QDateTime MadeAt;  // from its name, which the backup gives it when it is made
    qint64 Size = 0;
};

// Where a backup taken at the given moment goes.
QString BackupTarget(const QString& backupDir, const QDateTime& at);

// The copies named Movelkar_yyyyMMdd_HHmmss.mdb, newest first. Other files (a database set
// aside before a restore, a file the technician put there) are never taken for backups.
QList<TBackupFile> ListBackups(const QString& backupDir);

// How many copies are kept: the newest of each of the last Daily days that have one, and the
// newest of each of the last Monthly months that have one. Days without work make no copy, so
// a season's pause does not empty the folder.
struct TBackupKeeping {
    int Daily = 30;
    int Monthly = 12;
};

struct TBackupSettings {
    bool Auto = true;  // the daily copy at login and at exit
    TBackupKeeping Keep;
};

// The [backup] group of Movelkar.ini: Auto (true/false), KeepDaily, KeepMonthly (each at least 1).
TBackupSettings ReadBackupSettings(const QString& iniPath);

// The copies the rule lets go, among `copies` (any order).
QStringList CopiesBeyondKeeping(const QList<TBackupFile>& copies, const TBackupKeeping& keep);
