#pragma once
// The database schema and its creation on first start.

#include "data/uDbConfig.h"

#include <QString>
#include <QStringList>

class TDM;

struct TSchema {
    QStringList Statements;    // tables, then indexes
    QStringList StartingRows;  // rows every new database starts with
};

const TSchema& MovelkarSchema();
// Every index of the schema as "CREATE INDEX IF NOT EXISTS", so that a file made before an
// index was added gets it at its next connect.
QStringList MovelkarIndexes();

// The schema's tables and indexes as the engine spells them (the server adds its numbering
// counters).
QStringList SchemaStatements(TDbEngine engine, const TSchema& schema = MovelkarSchema());
// A table and the columns the program reads and writes in it.
struct TTableColumns {
    QString Table;
    QStringList Columns;
};
// Every table of the schema with its columns, as the engine's tables hold them (the server's
// counter table included), read from the statements themselves: a column added to the schema is
// expected in every database from then on.
QList<TTableColumns> SchemaColumns(TDbEngine engine, const TSchema& schema = MovelkarSchema());

// One table's CREATE TABLE and its indexes as the engine spells them, for adding it to an
// existing database.
QStringList TableStatements(TDbEngine engine, const QString& table);
// Creates every table and index in an empty database, inside the caller's transaction.
void CreateSchema(TDM& dm, const TSchema& schema = MovelkarSchema(), bool withStartingRows = true);

// On a server: creates the schema, its tables and starting rows when the schema holds no table
// yet, which needs a user allowed to create them; a schema that holds tables is only looked at.
void EnsureDatabase(const TDbConfig& config, const QString& backupDir, const TSchema& schema = MovelkarSchema());

// When no file exists at dbPath: creates the folders, then the database with every
// statement and starting row. The new file appears at dbPath complete or not at all.
// A failing statement raises TDbError "<database message>  >>>  <statement>".
void EnsureDatabase(const QString& dbPath, const QString& backupDir,
                    const TSchema& schema = MovelkarSchema());
