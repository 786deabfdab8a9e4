#pragma once
// The database schema and its creation on first start.

#include <QString>
#include <QStringList>

struct TSchema {
    QStringList Statements;    // tables, then indexes
    QStringList StartingRows;  // rows every new database starts with
};

const TSchema& MovelkarSchema();
// Every index of the schema as "CREATE INDEX IF NOT EXISTS", so that a file made before an
// index was added gets it at its next connect.
QStringList MovelkarIndexes();

// When no file exists at dbPath: creates the folders, then the database with every
// statement and starting row. The new file appears at dbPath complete or not at all.
// A failing statement raises TDbError "<database message>  >>>  <statement>".
void EnsureDatabase(const QString& dbPath, const QString& backupDir,
                    const TSchema& schema = MovelkarSchema());
