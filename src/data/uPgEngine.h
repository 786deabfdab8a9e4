#pragma once
// The shared engine: a PostgreSQL server that several stations of one centre work on at once.

#include "data/uDbEngine.h"

#include <memory>

// Connects with the settings; raises TDbError with the server's reason when it cannot. With
// create, the configured schema is made when it does not exist yet.
std::unique_ptr<TDbConnection> OpenPostgres(const TDbConfig& config, bool create);

// Whether a server answers with these settings (for the start-up check and for tests that
// need a server); the reason when not.
bool PostgresReachable(const TDbConfig& config, QString* reason = nullptr);
