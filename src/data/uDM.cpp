#include "data/uDM.h"

#include "data/uDbInit.h"

#include <QFile>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>

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

QString TimeoutMessage(std::chrono::milliseconds limit) {
    return QStringLiteral("执行超时：语句在 %1 秒内未完成，已取消").arg(limit.count() / 1000.0);
}
}  // namespace

TDbError::TDbError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

// ---- TStatement -------------------------------------------------------------------------

TStatement::TStatement(TDM& dm, const QString& sql) : dm_(dm), sql_(sql) {
    if (!dm_.db_) throw TDbError(QStringLiteral("数据库未连接"));
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(dm_.db_, text.constData(), int(text.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        dm_.Fail(rc);
    }
    const int n = sqlite3_column_count(stmt_);
    kinds_.reserve(size_t(n));
    for (int c = 0; c < n; ++c) kinds_.push_back(KindOfDecl(sqlite3_column_decltype(stmt_, c)));
}

TStatement::TStatement(TStatement&& other) noexcept
    : dm_(other.dm_),
      stmt_(std::exchange(other.stmt_, nullptr)),
      sql_(std::move(other.sql_)),
      kinds_(std::move(other.kinds_)) {}

TStatement::~TStatement() { sqlite3_finalize(stmt_); }

void TStatement::Bind(const TParams& params) {
    // A statement already run is bound afresh, so one prepared insert can serve many rows.
    sqlite3_reset(stmt_);
    for (const auto& [name, value] : params) {
        const QByteArray marker = (":" + name).toUtf8();
        const int index = sqlite3_bind_parameter_index(stmt_, marker.constData());
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
        if (rc != SQLITE_OK) dm_.Fail(rc);
    }
}

bool TStatement::Next() {
    dm_.StartClock();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    dm_.Fail(rc);
}

void TStatement::Exec() {
    while (Next()) {
    }
}

int TStatement::ColumnCount() const { return sqlite3_column_count(stmt_); }

QString TStatement::ColumnName(int col) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, col));
}

TValue TStatement::Value(int col) const {
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

void TStatement::PackValue(int col, std::string& out) const {
    // Text goes from the engine's bytes straight into the pack, without a string in between.
    const bool textKind = kinds_[size_t(col)] == TValueKind::Text || kinds_[size_t(col)] == TValueKind::Null;
    if (textKind && sqlite3_column_type(stmt_, col) == SQLITE_TEXT) {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        TValue::PackText(utf8, sqlite3_column_bytes(stmt_, col), out);
        return;
    }
    Value(col).Pack(out);
}

// ---- TQuery -----------------------------------------------------------------------------

int TQuery::ColumnIndex(const QString& name) const {
    for (int i = 0; i < names_.size(); ++i)
        if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const TValue& TQuery::Value(int row, const QString& column) const {
    const int col = ColumnIndex(column);
    if (col < 0) throw TDbError(QStringLiteral("查询结果中没有字段 %1").arg(column));
    return Value(row, col);
}

// ---- TDM --------------------------------------------------------------------------------

TDM::TDM(QString dbPath, TOpenMode mode) : dbPath_(std::move(dbPath)), mode_(mode) {}

TDM::~TDM() { Close(); }

bool TDM::Connect() {
    Close();
    const int flags = SQLITE_OPEN_READWRITE | (mode_ == TOpenMode::CreateNew ? SQLITE_OPEN_CREATE : 0);
    if (mode_ == TOpenMode::Existing && !QFile::exists(dbPath_)) return false;
    const QByteArray path = dbPath_.toUtf8();
    const int rc = sqlite3_open_v2(path.constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
        Close();
        throw TDbError(message);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_progress_handler(db_, 1000, &TDM::OnProgress, this);
    try {
        // Plain rollback journal and full syncs: the file alone always holds every commit,
        // so copying it by hand is a valid backup.
        Execute("PRAGMA foreign_keys=OFF");
        Execute("PRAGMA journal_mode=DELETE");
        Execute("PRAGMA synchronous=FULL");
        ScalarP("SELECT COUNT(*) FROM sqlite_master");
    } catch (...) {
        Close();
        throw;
    }
    if (mode_ == TOpenMode::Existing) AddMissingIndexes();
    return true;
}

void TDM::AddMissingIndexes() {
    // The lists' first screens and searches depend on these; a read-only or damaged file
    // simply goes without, and the start-up check reports what is really wrong with it.
    for (const QString& statement : MovelkarIndexes()) {
        try {
            ExecSQLP(statement);
        } catch (const TDbError&) {
        }
    }
}

void TDM::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

void TDM::Execute(const char* sql) { NewQuery(QString::fromLatin1(sql)).Exec(); }

TStatement TDM::NewQuery(const QString& sql) { return TStatement(*this, sql); }

TQuery TDM::OpenSQL(const QString& sql) { return OpenSQLP(sql, {}); }

TQuery TDM::OpenSQLP(const QString& sql, const TParams& params) {
    TStatement st = NewQuery(sql);
    st.Bind(params);
    TQuery q;
    const int n = st.ColumnCount();
    for (int c = 0; c < n; ++c) {
        q.names_ << st.ColumnName(c);
        q.kinds_.push_back(st.ColumnKind(c));
    }
    while (st.Next()) {
        std::vector<TValue> row;
        row.reserve(size_t(n));
        for (int c = 0; c < n; ++c) row.push_back(st.Value(c));
        q.rows_.push_back(std::move(row));
    }
    return q;
}

void TDM::ExecSQLP(const QString& sql, const TParams& params) {
    TStatement st = NewQuery(sql);
    st.Bind(params);
    st.Exec();
}

TValue TDM::ScalarP(const QString& sql, const TParams& params) {
    TStatement st = NewQuery(sql);
    st.Bind(params);
    if (!st.Next() || st.ColumnCount() == 0) return {};
    return st.Value(0);
}

qint64 TDM::LastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

void TDM::BeginTrans() { Execute("BEGIN IMMEDIATE"); }

void TDM::CommitTrans() {
    if (!InTransaction()) return;
    Execute("COMMIT");
}

void TDM::RollbackTrans() {
    if (!InTransaction()) return;
    try {
        Execute("ROLLBACK");
    } catch (const TDbError&) {
        // A failed statement may already have ended the transaction; nothing is left to undo.
    }
}

bool TDM::InTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

void TDM::WriteLog(const QString& actType, const QString& tblName, const QString& refNo,
                   const QString& detail) {
    const TParams row{{"t", QDateTime::currentDateTime()}, {"u", logUser_}, {"a", actType},
                      {"tb", tblName}, {"r", refNo}, {"d", detail}};
    const char* const insert = "INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) "
                               "VALUES (:t,:u,:a,:tb,:r,:d)";
    if (!InTransaction()) {
        try {
            ExecSQLP(insert, row);
        } catch (...) {
            // The log must never stop the action it records.
        }
        return;
    }
    // Inside a save the row commits with the change, in the same durable write; a savepoint
    // lets a failing insert be undone alone, so the save itself still goes through.
    try {
        Execute("SAVEPOINT write_log");
    } catch (...) {
        return;
    }
    try {
        ExecSQLP(insert, row);
        Execute("RELEASE write_log");
    } catch (...) {
        try {
            Execute("ROLLBACK TO write_log");
            Execute("RELEASE write_log");
        } catch (...) {
        }
    }
}

QString TDM::NextNo(const QString& prefix, const QString& table, const QString& field) {
    const QString head = prefix + QDate::currentDate().toString("yyyyMMdd");
    // A range on the key reads only today's numbers through the primary-key index; every
    // digit sorts below ':', so the range holds every numeric sequence of the day.
    const TQuery q = OpenSQLP("SELECT " + field + " FROM " + table + " WHERE " + field + ">=:lo AND " + field +
                                  "<:hi",
                              {{"lo", head}, {"hi", head + ":"}});
    // The highest sequence is taken by number, not by text, so that 1000 follows 999.
    qint64 highest = 0;
    bool any = false;
    for (int r = 0; r < q.RowCount(); ++r) {
        bool ok = false;
        const qint64 seq = q.Value(r, 0).AsText().mid(head.size(), 10).toLongLong(&ok);
        highest = std::max(highest, ok ? seq : 0);
        any = true;
    }
    const qint64 next = any ? highest + 1 : 1;
    return head + QStringLiteral("%1").arg(next, 3, 10, QChar('0'));
}

namespace {
// A backup copy and its journal, removed before a copy is made and after a copy failed.
void RemoveBackupFiles(const QString& targetPath);
// Why a backup failed, in words the staff can act on.
QString BackupFailureReason(int rc, const QString& engineMessage);
}  // namespace

void TDM::BackupTo(const QString& targetPath) {
    if (!db_) throw TDbError(QStringLiteral("数据库未连接"));
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

void TDM::Fail(int rc) const {
    if (timedOut_ && rc == SQLITE_INTERRUPT) throw TDbError(TimeoutMessage(commandTimeout_));
    throw TDbError(QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)));
}

void TDM::StartClock() {
    timedOut_ = false;
    deadline_ = std::chrono::steady_clock::now() + commandTimeout_;
}

int TDM::OnProgress(void* self) {
    auto* dm = static_cast<TDM*>(self);
    if (std::chrono::steady_clock::now() < dm->deadline_) return 0;
    dm->timedOut_ = true;
    return 1;
}

// ---- Backup helpers ---------------------------------------------------------------------

namespace {
void RemoveBackupFiles(const QString& targetPath) {
    QFile::remove(targetPath);
    QFile::remove(targetPath + "-journal");
}

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
}  // namespace
