#pragma once
// The look at the database file before anyone logs in: is it a database of this system, whole,
// with every table, and can records be saved in it. The look never changes the file.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

struct TSchema;
struct TDbConfig;
struct TTableColumns;

enum class TDbFault {
    None,
    Damaged,         // not a database, cut short, another program's file, or the full check failed
    MissingTables,   // a database of this system with tables or columns gone (Detail names them)
    Foreign,         // a server's schema that holds another program's tables and none of this one's
    ReadOnly,        // the file is marked read-only
    FolderReadOnly,  // the folder cannot take the save journal
    Unreadable,      // the file cannot be opened at all
    Busy,            // another program holds the file locked
    Unreachable,     // the database server cannot be reached or refuses the connection
};

struct TDbHealth {
    TDbFault Fault = TDbFault::None;
    QString Detail;             // what is wrong, for the technician; the missing tables by name
    bool FullCheckRan = false;  // the page-by-page check ran (and passed, when healthy)

    bool Healthy() const { return Fault == TDbFault::None; }
};

// The table names the schema creates, in its order.
QStringList SchemaTables(const TSchema& schema);

// The small file beside the database that remembers the day the full check last passed.
QString FullCheckMarkerPath(const QString& dbPath);

// Checks the database file at dbPath, which must exist. The file is only read: nothing is
// written into it, no journal is made beside it. The one exception is a save cut off half-way
// (a crash, a power loss): its journal is played back first, as the database engine always
// does on opening, because until then the file does not hold its last committed state.
// The full page-by-page check (slow on a large file) runs when the last use did not end with
// its "退出" row, when a cut-off save was undone, or when it has not passed yet on `today`.
// Every table and every column of `tables` must be there.
TDbHealth CheckDatabaseFile(const QString& dbPath, const QList<TTableColumns>& tables,
                            const QDate& today = QDate::currentDate());

// A backup copy, before it is offered or put in place: a database of this system with every
// table, passing the page-by-page check. Only read: nothing is written beside it.
TDbHealth CheckBackupCopy(const QString& path, const QStringList& tables);

// The start-up look at a server's database: it answers, and the schema holds every table and
// column. Only the catalog is read; nothing is made in the database. No page check: the server
// keeps its own files whole.
TDbHealth CheckServerDatabase(const TDbConfig& config, const QList<TTableColumns>& tables);

// A zero-byte database file holds nothing; it is renamed aside (with its journal, if any) to
// "Movelkar_empty_<yyyyMMdd_HHmmss>.mdb" beside it, so that a fresh database can be made.
// Gives the new name, or empty when the file is missing or not empty. Raises TDbError when
// the rename fails.
QString SetAsideEmptyDatabase(const QString& dbPath, const QDateTime& at = QDateTime::currentDateTime());
