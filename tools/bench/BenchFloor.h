#pragma once
// The engine's own floor for a statement: its own connection to the same database, and nothing
// between the statement and the rows but the engine's C API: SQLite's for the file, libpq for a
// server (the statement sent as the data module sends it, ":name" as "$n", values as text).

#include "data/uDbConfig.h"
#include "data/uValue.h"

#include <memory>

class TEngineFloor {
public:
    virtual ~TEngineFloor() = default;
    // Prepares, binds by name, steps every row and reads every column; the rows read.
    virtual qint64 Run(const TSqlText& q) = 0;
};

std::unique_ptr<TEngineFloor> OpenEngineFloor(const TDbConfig& config);

std::unique_ptr<TEngineFloor> OpenSqliteFloor(const QString& path);
std::unique_ptr<TEngineFloor> OpenPgFloor(const TDbConfig& config);
