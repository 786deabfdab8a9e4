#pragma once
// The engine's own floor for a statement: its own read-only connection to the same file, and
// nothing between the statement and the rows but the SQLite C API.

#include "data/uValue.h"

#include <QString>

struct sqlite3;

class TEngineFloor {
public:
    explicit TEngineFloor(const QString& path);
    ~TEngineFloor();
    TEngineFloor(const TEngineFloor&) = delete;
    TEngineFloor& operator=(const TEngineFloor&) = delete;

    // Prepares, binds by name, steps every row and reads every column; the rows read.
    qint64 Run(const TSqlText& q);

private:
    sqlite3* db_ = nullptr;
};
