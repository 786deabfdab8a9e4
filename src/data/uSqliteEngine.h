#pragma once
// The embedded engine: one SQLite file.

#include "data/uDbEngine.h"

#include <memory>

// Opens the file (created when mode says so); raises TDbError when it cannot be opened or is
// not a database. Gives null when the file does not exist and may not be created.
std::unique_ptr<TDbConnection> OpenSqlite(const QString& path, bool create);

// Why writing a backup file failed (rc: the engine's result code), in words the staff can act on.
QString BackupFailureReason(int rc, const QString& engineMessage);
