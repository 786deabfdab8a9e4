#pragma once
// What the data module asks of a database engine. TDM and TStatement are the only users; the
// windows never see which engine answers.

#include "data/uDbConfig.h"
#include "data/uValue.h"

#include <chrono>
#include <memory>
#include <string>

// One statement's text, its bound values and, once run, its rows.
class TDbCursor {
public:
    virtual ~TDbCursor() = default;
    // See TStatement::Bind.
    virtual void Bind(const TParams& params) = 0;
    virtual bool Next() = 0;
    virtual int ColumnCount() = 0;
    virtual QString ColumnName(int col) = 0;
    virtual TValueKind ColumnKind(int col) = 0;
    virtual TValue Value(int col) const = 0;
    virtual void PackValue(int col, std::string& out) const = 0;
};

class TDbConnection {
public:
    virtual ~TDbConnection() = default;
    virtual TDbEngine Engine() const = 0;
    virtual std::unique_ptr<TDbCursor> Prepare(const QString& sql) = 0;
    virtual qint64 LastInsertId() = 0;
    virtual void Begin() = 0;  // a write transaction
    // Raises TDbError when the transaction cannot be committed whole.
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual bool InTransaction() const = 0;
    virtual void SetCommandTimeout(std::chrono::milliseconds limit) = 0;
    // A consistent, checked copy in a new database file (see TDM::BackupTo).
    virtual void BackupTo(const QString& targetPath) = 0;
};

QString CommandTimeoutText(std::chrono::milliseconds limit);
