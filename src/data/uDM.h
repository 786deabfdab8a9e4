#pragma once
// The data module: the one owner of the database connection. Every window reads and
// writes through it; nothing else opens the database file.

#include "data/uDbConfig.h"
#include "data/uValue.h"

#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>

class TDM;
class TDbConnection;
class TDbCursor;

// What the engine says about a failure besides its message.
struct TDbErrorInfo {
    QString State;  // the server's SQLSTATE
    QString Table;
    QString Column;
    QString Constraint;
    QString Detail;  // the server's detail line ("Key (batchno)=(…) already exists.")
    int FileCode = 0;  // the embedded engine's result code
};

// Every database failure reaches callers as this, carrying the engine's message text.
class TDbError : public std::runtime_error {
public:
    explicit TDbError(const QString& message, TDbErrorInfo info = {});
    QString Message() const { return message_; }
    const TDbErrorInfo& Info() const { return info_; }

private:
    QString message_;
    TDbErrorInfo info_;
};

// One prepared statement on the shared connection; finalized when it goes out of scope.
class TStatement {
public:
    TStatement(TDM& dm, const QString& sql);
    TStatement(TStatement&& other) noexcept = default;
    TStatement& operator=(TStatement&&) = delete;
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    ~TStatement();

    // Binds by name (":b"); a name used twice in the text binds both places.
    // A name the text does not contain is an error. Binding again after a run starts the
    // statement over; parameters not given keep their previous values.
    void Bind(const TParams& params);
    // Steps to the next row; false once the rows are exhausted.
    bool Next();
    // Runs the statement to completion, ignoring any rows.
    void Exec();

    int ColumnCount() const;
    QString ColumnName(int col) const;
    TValueKind ColumnKind(int col) const;  // declared type; Null when none
    TValue Value(int col) const;           // of the current row, read by its declared type
    void PackValue(int col, std::string& out) const;  // the same value in TValue's packed form

private:
    std::unique_ptr<TDbCursor> cursor_;
};

// A query's rows read into memory, for the small look-ups and checks of the windows.
class TQuery {
public:
    int ColumnCount() const { return int(names_.size()); }
    QString ColumnName(int col) const { return names_.at(col); }
    TValueKind ColumnKind(int col) const { return kinds_.at(size_t(col)); }
    int ColumnIndex(const QString& name) const;  // letter case ignored; -1 when absent
    int RowCount() const { return int(rows_.size()); }
    bool IsEmpty() const { return rows_.empty(); }
    const TValue& Value(int row, int col) const { return rows_.at(size_t(row)).at(size_t(col)); }
    const TValue& Value(int row, const QString& column) const;  // unknown column: TDbError
    const TValue& Field(const QString& column) const { return Value(0, column); }

private:
    friend class TDM;
    QStringList names_;
    std::vector<TValueKind> kinds_;
    std::vector<std::vector<TValue>> rows_;
};

// Existing: a database in use, given the indexes and the log's guard it lacks where the user may
// create them. CreateNew: made when missing (a file, or a server's schema). Inspect: only looked
// at, nothing created in it whatever the user may do.
enum class TOpenMode { Existing, CreateNew, Inspect };

class TDM {
public:
    explicit TDM(QString dbPath, TOpenMode mode = TOpenMode::Existing);
    explicit TDM(TDbConfig config, TOpenMode mode = TOpenMode::Existing);
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    // Closes the connection if open and opens it again; raises TDbError when the file
    // cannot be opened or is not a database, or the server cannot be reached. False when the
    // file does not exist and may not be created.
    bool Connect();
    void Close();
    bool IsConnected() const { return connection_ != nullptr; }
    const QString& DbPath() const { return config_.Path; }
    const TDbConfig& Config() const { return config_; }
    TDbEngine Engine() const { return config_.Engine; }

    TStatement NewQuery(const QString& sql);
    TQuery OpenSQL(const QString& sql);
    TQuery OpenSQLP(const QString& sql, const TParams& params);
    void ExecSQLP(const QString& sql, const TParams& params = {});
    // First column of the first row; null when there is no row or the value is null.
    TValue ScalarP(const QString& sql, const TParams& params = {});
    qint64 LastInsertId() const;

    // A write transaction. With the file, it is taken at once, so a number drawn inside it
    // cannot be drawn by another process before this one commits; with a server, the rows a
    // save decides on are locked by its statements (SqlForUpdate).
    void BeginTrans();
    void CommitTrans();    // nothing when no transaction is open
    void RollbackTrans();  // nothing when no transaction is open
    bool InTransaction() const;

    // Appends an operation-log row and never fails its caller. Called inside a transaction
    // (just before its commit), the row lands or vanishes together with the change.
    void WriteLog(const QString& actType, const QString& tblName, const QString& refNo,
                  const QString& detail);
    void SetLogUser(const QString& loginName) { logUser_ = loginName; }

    // Prefix + yyyymmdd + a sequence of at least three digits, one above today's highest.
    // Drawn inside the save's transaction, a number is never given to two saves, and a save
    // that is rolled back gives its number back.
    QString NextNo(const QString& prefix, const QString& table, const QString& field);

    // A consistent copy of the live database, checked before it is reported as made. A failed
    // copy leaves nothing behind and raises TDbError with the reason in words the staff can act on.
    void BackupTo(const QString& targetPath);

    // What the last Connect could not do for lack of rights (an index or the log's guard not
    // made), in words for the technician; the program works on without it.
    const QStringList& ConnectNotes() const { return connectNotes_; }

    // Whether the file has its trigram table of the log's references (see SqlLogRefWords).
    bool HasLogRefWords();

    // Statements that run longer than this are given up with an error (60 s by default).
    void SetCommandTimeout(std::chrono::milliseconds limit);

    // Told, at a connect that makes missing indexes (the first start on a file another program
    // made), (0, total) before the first and (done, total) after each; never when all are there.
    using TIndexProgress = std::function<void(int done, int total)>;
    void SetIndexProgress(TIndexProgress progress) { indexProgress_ = std::move(progress); }

private:
    friend class TStatement;
    void Execute(const char* sql);
    void AddMissingIndexes();
    void AddLogGuard();
    bool AddLogRefWords();
    TDbConnection& Connection() const;

    TDbConfig config_;
    TOpenMode mode_;
    TIndexProgress indexProgress_;
    std::unique_ptr<TDbConnection> connection_;
    QString logUser_;
    QStringList connectNotes_;
    std::chrono::milliseconds commandTimeout_{60000};
};

// Scoped write transaction: rolls back on destruction unless committed.
class TTransaction {
public:
    explicit TTransaction(TDM& dm) : dm_(dm) { dm_.BeginTrans(); }
    ~TTransaction() {
        if (!done_) dm_.RollbackTrans();
    }
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit() {
        dm_.CommitTrans();
        done_ = true;
    }

private:
    TDM& dm_;
    bool done_ = false;
};
