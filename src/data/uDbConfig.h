#pragma once
// Which database a station works on: the embedded file (the default, nothing to set up) or a
// PostgreSQL server shared by several stations of one centre.

#include <QString>

enum class TDbEngine { SQLite, PostgreSQL };

struct TDbConfig {
    TDbEngine Engine = TDbEngine::SQLite;
    QString Path;  // SQLite: the database file
    // PostgreSQL: empty values fall back to libpq's own defaults (PGHOST, PGPORT, PGDATABASE,
    // PGUSER). The password is never ours to keep: ~/.pgpass or PGPASSWORD supply it.
    QString Host;
    QString Port;
    QString Database;
    QString User;
    QString Schema;  // the schema holding the tables; empty is "public"

    static TDbConfig File(const QString& path);
    bool IsPostgres() const { return Engine == TDbEngine::PostgreSQL; }
    QString SchemaName() const;
    // The libpq connection string (values quoted as libpq wants them).
    QString ConnInfo() const;
    // What the about box says is in use.
    QString Describe() const;
};

// A database named on a tool's command line: "postgresql:" (the server libpq's PGHOST, PGPORT,
// PGUSER and PGDATABASE name) or "postgresql:SCHEMA" for a schema of it; anything else is a file.
TDbConfig DbConfigFromArg(const QString& arg);

// The [database] group of a station's Movelkar.ini: engine=sqlite|postgresql, host, port,
// database, user, schema. Without the file, the group or a known engine: the file at sqlitePath.
TDbConfig ReadDbConfig(const QString& iniPath, const QString& sqlitePath);
