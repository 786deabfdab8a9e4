#include "data/uSqliteEngine.h"

#include "data/uDM.h"

#include <QFile>
#include <QHash>
#include <sqlite3.h>

#include <cmath>
#include <vector>

namespace {
TValueKind KindOfDecl(const char* decl) {
    if (!decl) return TValueKind::Null;
    const QString d = QString::fromLatin1(decl).toUpper();
    if (d.startsWith("CURRENCY")) return TValueKind::Currency;
    if (d.startsWith("DATETIME")) return TValueKind::DateTime;
    if (d.startsWith("YESNO")) return TValueKind::Boolean;
    if (d.startsWith("DOUBLE") || d.startsWith("REAL") || d.startsWith("FLOAT")) return TValueKind::Float;
    if (d.startsWith("LONG") || d.contains("INT")) return TValueKind::Integer;
    if (d.startsWith("TEXT") || d.startsWith("MEMO") || d.contains("CHAR")) return TValueKind::Text;
    return TValueKind::Null;
}

class TSqliteConnection;

class TSqliteCursor final : public TDbCursor {
public:
    TSqliteCursor(TSqliteConnection& db, const QString& sql);
    ~TSqliteCursor() override { sqlite3_finalize(stmt_); }

    void Bind(const TParams& params) override;
    bool Next() override;
    int ColumnCount() override { return sqlite3_column_count(stmt_); }
    QString ColumnName(int col) override { return QString::fromUtf8(sqlite3_column_name(stmt_, col)); }
    TValueKind ColumnKind(int col) override { return kinds_.at(size_t(col)); }
    TValue Value(int col) const override;
    void PackValue(int col, std::string& out) const override;

private:
    TSqliteConnection& db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::vector<TValueKind> kinds_;  // declared once per column, read for every cell
    // Each name's place, found once: SQLite looks a name up by walking every parameter, and a
    // copy's inserts bind thousands.
    QHash<QString, int> places_;
};

class TSqliteConnection final : public TDbConnection {
public:
    explicit TSqliteConnection(sqlite3* db) : db_(db) {
        sqlite3_busy_timeout(db_, 5000);
        sqlite3_progress_handler(db_, 1000, &TSqliteConnection::OnProgress, this);
    }
    ~TSqliteConnection() override { sqlite3_close_v2(db_); }

    TDbEngine Engine() const override { return TDbEngine::SQLite; }
    std::unique_ptr<TDbCursor> Prepare(const QString& sql) override {
        return std::make_unique<TSqliteCursor>(*this, sql);
    }
    qint64 LastInsertId() override { return sqlite3_last_insert_rowid(db_); }
    // A write transaction is taken at once, so a number drawn inside it cannot be drawn by
    // another process before this one commits.
    void Begin() override { Execute("BEGIN IMMEDIATE"); }
    void Commit() override { Execute("COMMIT"); }
    void Rollback() override { Execute("ROLLBACK"); }
    bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }
    void SetCommandTimeout(std::chrono::milliseconds limit) override { commandTimeout_ = limit; }
    void BackupTo(const QString& targetPath) override;

    void Execute(const char* sql) {
        TSqliteCursor c(*this, QString::fromLatin1(sql));
        while (c.Next()) {
        }
    }
    sqlite3* Handle() const { return db_; }
    [[noreturn]] void Fail(int rc) const {
        if (timedOut_ && rc == SQLITE_INTERRUPT) throw TDbError(CommandTimeoutText(commandTimeout_));
        TDbErrorInfo info;
        info.FileCode = sqlite3_errcode(db_);
        throw TDbError(QString::fromUtf8(sqlite3_errmsg(db_)), info);
    }
    void StartClock() {
        timedOut_ = false;
        deadline_ = std::chrono::steady_clock::now() + commandTimeout_;
    }

private:
    static int OnProgress(void* self) {
        auto* c = static_cast<TSqliteConnection*>(self);
        if (std::chrono::steady_clock::now() < c->deadline_) return 0;
        c->timedOut_ = true;
        return 1;
    }

    sqlite3* db_;
    std::chrono::milliseconds commandTimeout_{60000};
    std::chrono::steady_clock::time_point deadline_{};
    bool timedOut_ = false;
};

TSqliteCursor::TSqliteCursor(TSqliteConnection& db, const QString& sql) : db_(db) {
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db_.Handle(), text.constData(), int(text.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        db_.Fail(rc);
    }
    const int n = sqlite3_column_count(stmt_);
    kinds_.reserve(size_t(n));
    for (int c = 0; c < n; ++c) kinds_.push_back(KindOfDecl(sqlite3_column_decltype(stmt_, c)));
}

void TSqliteCursor::Bind(const TParams& params) {
    // A statement already run is bound afresh, so one prepared insert can serve many rows.
    sqlite3_reset(stmt_);
    if (places_.isEmpty())
        for (int i = 1; i <= sqlite3_bind_parameter_count(stmt_); ++i)
            if (const char* marker = sqlite3_bind_parameter_name(stmt_, i))
                places_.insert(QString::fromUtf8(marker + 1), i);
    for (const auto& [name, value] : params) {
        const int index = places_.value(name, 0);
        if (index == 0) throw TDbError(QStringLiteral("参数 %1 在语句中不存在").arg(name));
        int rc = SQLITE_OK;
        switch (value.Kind()) {
        case TValueKind::Null: rc = sqlite3_bind_null(stmt_, index); break;
        case TValueKind::Text:
        case TValueKind::DateTime: {
            const QByteArray s = value.AsText().toUtf8();
            rc = sqlite3_bind_text(stmt_, index, s.constData(), int(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case TValueKind::Integer:
        case TValueKind::Boolean: rc = sqlite3_bind_int64(stmt_, index, value.AsInt64()); break;
        case TValueKind::Float:
        case TValueKind::Currency: rc = sqlite3_bind_double(stmt_, index, value.AsDouble()); break;
        }
        if (rc != SQLITE_OK) db_.Fail(rc);
    }
}

bool TSqliteCursor::Next() {
    db_.StartClock();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    db_.Fail(rc);
}

TValue TSqliteCursor::Value(int col) const {
    const int stored = sqlite3_column_type(stmt_, col);
    if (stored == SQLITE_NULL) return {};
    const auto text = [&] {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col)),
                                 sqlite3_column_bytes(stmt_, col));
    };
    switch (kinds_[size_t(col)]) {
    case TValueKind::Text: return text();
    case TValueKind::Currency: return TValue::Money(sqlite3_column_double(stmt_, col));
    case TValueKind::Float:
        if (stored == SQLITE_TEXT) return text();
        return sqlite3_column_double(stmt_, col);
    case TValueKind::Integer:
        if (stored == SQLITE_TEXT) return text();
        if (stored == SQLITE_FLOAT) return qint64(std::llround(sqlite3_column_double(stmt_, col)));
        return qint64(sqlite3_column_int64(stmt_, col));
    case TValueKind::Boolean: return sqlite3_column_int64(stmt_, col) != 0;
    case TValueKind::DateTime:
        if (stored != SQLITE_TEXT) break;
        return TValue::FromDbTime(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col)),
                                  sqlite3_column_bytes(stmt_, col));
    case TValueKind::Null: break;
    }
    switch (stored) {
    case SQLITE_INTEGER: return qint64(sqlite3_column_int64(stmt_, col));
    case SQLITE_FLOAT: return sqlite3_column_double(stmt_, col);
    default: return text();
    }
}

void TSqliteCursor::PackValue(int col, std::string& out) const {
    // Text goes from the engine's bytes straight into the pack, without a string in between.
    const bool textKind = kinds_[size_t(col)] == TValueKind::Text || kinds_[size_t(col)] == TValueKind::Null;
    if (textKind && sqlite3_column_type(stmt_, col) == SQLITE_TEXT) {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        TValue::PackText(utf8, sqlite3_column_bytes(stmt_, col), out);
        return;
    }
    Value(col).Pack(out);
}

// ---- Backup -----------------------------------------------------------------------------

// A backup copy and its journal, removed before a copy is made and after a copy failed.
void RemoveBackupFiles(const QString& targetPath) {
    QFile::remove(targetPath);
    QFile::remove(targetPath + "-journal");
}

}  // namespace

QString BackupFailureReason(int rc, const QString& engineMessage) {
    switch (rc & 0xff) {
    case SQLITE_FULL: return QStringLiteral("磁盘空间已满");
    case SQLITE_CANTOPEN: return QStringLiteral("无法创建备份文件（请检查 Backup 文件夹是否存在、能否写入）");
    case SQLITE_READONLY:
    case SQLITE_PERM: return QStringLiteral("备份文件夹不能写入（请检查文件夹的权限）");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("数据库正被其他程序或其他电脑占用，备份未完成，请稍后重试");
    case SQLITE_IOERR: return QStringLiteral("写入备份文件时磁盘出错（磁盘可能已满或损坏）");
    case SQLITE_NOMEM: return QStringLiteral("内存不足");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("数据库文件已损坏");
    default: return QStringLiteral("数据库引擎报告：") + engineMessage;
    }
}

namespace {
void TSqliteConnection::BackupTo(const QString& targetPath) {
    RemoveBackupFiles(targetPath);
    sqlite3* target = nullptr;
    const QByteArray path = targetPath.toUtf8();
    int rc = sqlite3_open_v2(path.constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(target, 5000);
        sqlite3_backup* backup = sqlite3_backup_init(target, "main", db_, "main");
        bool locked = false;
        if (backup) {
            // Another program holding the file locked must not freeze the window for good.
            const auto giveUp = std::chrono::steady_clock::now() + commandTimeout_;
            do {
                rc = sqlite3_backup_step(backup, -1);
                locked = rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
                if (locked && std::chrono::steady_clock::now() >= giveUp) break;
                if (locked) sqlite3_sleep(50);
            } while (rc == SQLITE_OK || locked);
            sqlite3_backup_finish(backup);
        }
        rc = sqlite3_errcode(target);
        if (locked || rc != SQLITE_OK)
            error = BackupFailureReason(locked ? SQLITE_BUSY : rc, QString::fromUtf8(sqlite3_errmsg(target)));
    } else {
        error = BackupFailureReason(rc, QString::fromUtf8(target ? sqlite3_errmsg(target) : sqlite3_errstr(rc)));
    }
    if (error.isEmpty()) {
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(target, "PRAGMA quick_check", -1, &check, nullptr) != SQLITE_OK ||
            sqlite3_step(check) != SQLITE_ROW)
            error = BackupFailureReason(sqlite3_errcode(target), QString::fromUtf8(sqlite3_errmsg(target)));
        else if (const auto* answer = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
                 QString::fromUtf8(answer) != "ok")
            error = QStringLiteral("备份文件校验失败：") + QString::fromUtf8(answer);
        sqlite3_finalize(check);
    }
    sqlite3_close_v2(target);
    if (!error.isEmpty()) {
        // Nothing half-made stays in the backup folder to be mistaken for a copy.
        RemoveBackupFiles(targetPath);
        throw TDbError(error);
    }
}
}  // namespace

std::unique_ptr<TDbConnection> OpenSqlite(const QString& path, bool create) {
    if (!create && !QFile::exists(path)) return nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    const QByteArray p = path.toUtf8();
    const int rc = sqlite3_open_v2(p.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        TDbErrorInfo info;
        info.FileCode = rc;
        throw TDbError(message, info);
    }
    auto connection = std::make_unique<TSqliteConnection>(db);
    // Plain rollback journal and full syncs: the file alone always holds every commit, so
    // copying it by hand is a valid backup.
    connection->Execute("PRAGMA foreign_keys=OFF");
    connection->Execute("PRAGMA journal_mode=DELETE");
    connection->Execute("PRAGMA synchronous=FULL");
    connection->Execute("SELECT COUNT(*) FROM sqlite_master");
    return connection;
}
