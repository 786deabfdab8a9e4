#pragma once
// The shared engine: a PostgreSQL server that several stations of one centre work on at once.

#include "data/uDbEngine.h"
#include "data/uValue.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <memory>
#include <vector>

// Connects with the settings; raises TDbError with the server's reason when it cannot. With
// create, the configured schema is made when it does not exist yet.
std::unique_ptr<TDbConnection> OpenPostgres(const TDbConfig& config, bool create);

// Whether a server answers with these settings (for the start-up check and for tests that
// need a server); the reason when not.
bool PostgresReachable(const TDbConfig& config, QString* reason = nullptr);

// A statement as the server is sent it: ":name" markers become "$1", "$2", ... in the order of
// their first use (a name used twice is one parameter); text in quotes, comments and "::" casts
// are left alone. The benchmark's floor sends the same text.
struct TPgStatementText {
    QByteArray Sql;
    QStringList Names;          // of $1, $2, ...
    QHash<QString, int> Index;  // a name's place in Names: a copy's inserts bind thousands
};
TPgStatementText PgStatementText(const QString& sql);

// Values in the order of a statement's $1, $2, ... as the server is sent them: each as text with
// its type, or a null pointer for a null.
struct TPgValues {
    std::vector<unsigned int> Types;  // 0: left for the server to read as the column needs
    std::vector<QByteArray> Texts;
    std::vector<const char*> Pointers;  // into Texts
};
TPgValues PgValues(const std::vector<TValue>& values);
