#include "data/uPgEngine.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

#include <libpq-fe.h>

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {
// Type OIDs of the built-in types (pg_type.dat); fixed since the first releases.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701,
              kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700;

struct TResult {
    PGresult* r = nullptr;
    TResult() = default;
    explicit TResult(PGresult* res) : r(res) {}
    TResult(TResult&& o) noexcept : r(std::exchange(o.r, nullptr)) {}
    TResult& operator=(TResult&& o) noexcept {
        if (this != &o) {
            PQclear(r);
            r = std::exchange(o.r, nullptr);
        }
        return *this;
    }
    ~TResult() { PQclear(r); }
};

QString Field(const PGresult* r, int code) { return QString::fromUtf8(PQresultErrorField(r, code)); }

void IgnoreNotice(void*, const char*) {}

const QString kLostText = QStringLiteral("与数据库服务器的连接已断开");
const QString kUnknownText = QStringLiteral("无法确认刚才的操作是否已保存");

TPgStatementText Rewrite(const QString& sql) {
    TPgStatementText out;
    QString text;
    text.reserve(sql.size() + 8);
    const int n = int(sql.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            const int end = sql.indexOf(c, i + 1);
            const int stop = end < 0 ? n - 1 : end;
            text += sql.mid(i, stop - i + 1);
            i = stop;
            continue;
        }
        if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const int end = sql.indexOf('\n', i);
            const int stop = end < 0 ? n - 1 : end;
            text += sql.mid(i, stop - i + 1);
            i = stop;
            continue;
        }
        if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            text += "::";
            ++i;
            continue;
        }
        if (c == ':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == '_')) {
            int j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == '_')) ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            const auto known = out.Index.constFind(name);
            const int index = known != out.Index.cend() ? *known : int(out.Names.size());
            if (known == out.Index.cend()) {
                out.Names << name;
                out.Index.insert(name, index);
            }
            text += "$" + QString::number(index + 1);
            i = j - 1;
            continue;
        }
        text += c;
    }
    out.Sql = text.toUtf8();
    return out;
}

class TPgConnection;

class TPgCursor final : public TDbCursor {
public:
    TPgCursor(TPgConnection& db, const QString& sql);

    void Bind(const TParams& params) override;
    bool Next() override;
    int ColumnCount() override { return PQnfields(Described()); }
    QString ColumnName(int col) override;
    TValueKind ColumnKind(int col) override {
        Described();
        return kinds_.at(size_t(col));
    }
    TValue Value(int col) const override;
    void PackValue(int col, std::string& out) const override;

private:
    void Execute();
    const PGresult* Described();
    void ReadKinds(const PGresult* r);

    TPgConnection& db_;
    QString sql_;
    TPgStatementText text_;
    std::vector<TValue> values_;
    bool bound_ = false;  // every value given: the statement can run
    TResult result_;
    TResult description_;
    bool executed_ = false;
    int row_ = -1;
    std::vector<TValueKind> kinds_;
    std::vector<QString> names_;  // spelled as in the statement, found once per result
};

class TPgConnection final : public TDbConnection {
public:
    explicit TPgConnection(PGconn* conn) : conn_(conn) { PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr); }
    ~TPgConnection() override { PQfinish(conn_); }

    TDbEngine Engine() const override { return TDbEngine::PostgreSQL; }
    std::unique_ptr<TDbCursor> Prepare(const QString& sql) override { return std::make_unique<TPgCursor>(*this, sql); }
    qint64 LastInsertId() override;
    void Begin() override {
        Execute("BEGIN");
        begun_ = true;
    }
    // The server would answer COMMIT on a transaction in which a statement failed by rolling it
    // back without an error, and a dropped connection has nothing left to commit: either way the
    // save is not kept, and the caller must hear so. When COMMIT was sent but its answer never
    // came (a crash or a network drop at that instant), the server may well have kept the save:
    // the transaction's id, read just before, lets a fresh connection ask what became of it.
    void Commit() override {
        begun_ = false;
        const PGTransactionStatusType s = PQtransactionStatus(conn_);
        if (s == PQTRANS_INTRANS) {
            QByteArray xid;
            {
                const TResult r = Check(PQexec(conn_, "SELECT pg_current_xact_id()"));
                xid = QByteArray(PQgetvalue(r.r, 0, 0));
            }
            PGresult* res = PQexec(conn_, "COMMIT");
            if (!AnswerLost(res)) {
                Check(res);
                return;
            }
            PQclear(res);
            switch (OutcomeOf(xid)) {
            case TOutcome::Committed: return;
            case TOutcome::Aborted: throw TDbError(kLostText, LostInfo("08006"));
            case TOutcome::Unknown: throw TDbError(kUnknownText, LostInfo("08007"));
            }
        }
        if (s == PQTRANS_INERROR) {
            Execute("ROLLBACK");
            throw TDbError(QStringLiteral("保存中有一步未能完成，整个保存已撤销"), {});
        }
        throw TDbError(kLostText, LostInfo("08006"));
    }
    void Rollback() override {
        begun_ = false;
        if (PQstatus(conn_) == CONNECTION_OK) Execute("ROLLBACK");
    }
    bool InTransaction() const override {
        const PGTransactionStatusType s = PQtransactionStatus(conn_);
        return begun_ || s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
    }
    void SetCommandTimeout(std::chrono::milliseconds limit) override {
        timeout_ = limit;
        Setting("statement_timeout", "SET statement_timeout = " + QByteArray::number(qint64(limit.count())));
    }
    // A session setting, applied now and again after a reconnect.
    void Setting(const QByteArray& name, const QByteArray& statement) {
        settings_.insert(name, statement);
        Execute(statement);
    }
    // A server restarted or a network cable pulled between two saves: the next statement
    // connects again (never inside a transaction, whose work is lost with the connection).
    void Reconnect() {
        if (PQstatus(conn_) != CONNECTION_BAD || begun_) return;
        Reset();
    }
    void BackupTo(const QString&) override {
        throw TDbError(QStringLiteral("PostgreSQL 数据库的备份由数据模块完成"));
    }

    void Execute(const QByteArray& sql) {
        Run([&] { return PQexec(conn_, sql.constData()); });
    }
    // Sends a statement. A connection found dead when it is used (the server restarted since the
    // last statement) is made again and the statement sent once more, but only when nothing of a
    // transaction had been sent on it: a save's later statements would run without the earlier
    // ones, so such a save fails with the lost connection instead.
    TResult Run(const std::function<PGresult*()>& send) {
        Reconnect();
        const bool nothingSent = !begun_ && PQtransactionStatus(conn_) == PQTRANS_IDLE;
        PGresult* res = send();
        if (nothingSent && AnswerLost(res)) {
            PQclear(res);
            Reset();
            res = send();
        }
        return Check(res);
    }
    PGconn* Handle() const { return conn_; }

    // The result, or TDbError with the server's reason and its SQLSTATE.
    TResult Check(PGresult* res) const {
        TResult result(res);
        const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY) return result;
        TDbErrorInfo info;
        info.State = Field(res, PG_DIAG_SQLSTATE);
        // A connection that broke mid-statement leaves no state of the server's to tell, and an
        // error without one comes from the client library, never from the server's rules: it is
        // the connection that failed.
        if (PQstatus(conn_) == CONNECTION_BAD || info.State.isEmpty()) info.State = "08006";
        if (!res) throw TDbError(kLostText, info);
        info.Table = Field(res, PG_DIAG_TABLE_NAME);
        info.Column = Field(res, PG_DIAG_COLUMN_NAME);
        info.Constraint = Field(res, PG_DIAG_CONSTRAINT_NAME);
        info.Detail = Field(res, PG_DIAG_MESSAGE_DETAIL);
        if (info.State == "57014") throw TDbError(CommandTimeoutText(timeout_), info);
        QString message = Field(res, PG_DIAG_MESSAGE_PRIMARY);
        if (message.isEmpty()) message = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        if (message.isEmpty()) message = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
        throw TDbError(message, info);
    }

private:
    enum class TOutcome { Committed, Aborted, Unknown };

    // No answer because the connection is gone, or because the server ended this session
    // (shut down, restarted, or a technician ended it) while the statement waited.
    bool AnswerLost(const PGresult* res) const {
        if (PQstatus(conn_) == CONNECTION_BAD) return true;
        const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        if (status != PGRES_FATAL_ERROR) return false;
        const QByteArray state(res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr);
        return state.isEmpty() || state.startsWith("08") || state.startsWith("57P");
    }

    static TDbErrorInfo LostInfo(const char* state) {
        TDbErrorInfo info;
        info.State = QString::fromLatin1(state);
        return info;
    }

    // Connects again with this session's settings; the connection stays bad when the server
    // does not answer.
    void Reset() {
        PQreset(conn_);
        if (PQstatus(conn_) != CONNECTION_OK) return;
        PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
        for (const QByteArray& statement : settings_) PQclear(PQexec(conn_, statement.constData()));
    }

    // What the server did with a transaction whose COMMIT went unanswered. A transaction still in
    // progress is one whose session the server has not finished ending: asked again shortly.
    // The station waits a few seconds at most: a server that is down for longer leaves the
    // outcome unknown, and the staff check the ledger once it is back.
    TOutcome OutcomeOf(const QByteArray& xid) {
        QElapsedTimer waited;
        waited.start();
        for (int attempt = 0; attempt == 0 || waited.elapsed() < 5000; ++attempt) {
            if (attempt > 0) QThread::msleep(250);
            Reset();
            if (PQstatus(conn_) != CONNECTION_OK) continue;
            const char* values[] = {xid.constData()};
            TResult r(PQexecParams(conn_, "SELECT pg_xact_status($1::xid8)", 1, nullptr, values, nullptr, nullptr, 0));
            if (PQresultStatus(r.r) != PGRES_TUPLES_OK || PQntuples(r.r) != 1) continue;
            // Null: the id is older than the server keeps the outcome of, which no save of a few
            // seconds ago can be.
            if (PQgetisnull(r.r, 0, 0)) return TOutcome::Unknown;
            const QByteArray status(PQgetvalue(r.r, 0, 0));
            if (status == "committed") return TOutcome::Committed;
            if (status == "aborted") return TOutcome::Aborted;
        }
        return TOutcome::Unknown;
    }

    PGconn* conn_;
    std::chrono::milliseconds timeout_{60000};

    QMap<QByteArray, QByteArray> settings_;
    bool begun_ = false;  // a transaction of ours, whatever became of the connection
};

qint64 TPgConnection::LastInsertId() {
    const TResult r = Check(PQexec(conn_, "SELECT lastval()"));
    return PQntuples(r.r) > 0 ? std::strtoll(PQgetvalue(r.r, 0, 0), nullptr, 10) : 0;
}

TPgCursor::TPgCursor(TPgConnection& db, const QString& sql) : db_(db), sql_(sql), text_(Rewrite(sql)) {
    values_.resize(size_t(text_.Names.size()));
    bound_ = values_.empty();
}

void TPgCursor::Bind(const TParams& params) {
    for (const auto& [name, value] : params) {
        const int index = text_.Index.value(name, -1);
        if (index < 0) throw TDbError(QStringLiteral("参数 %1 在语句中不存在").arg(name));
        values_[size_t(index)] = value;
    }
    executed_ = false;
    result_ = TResult();
    row_ = -1;
    bound_ = true;
}

void TPgCursor::Execute() {
    const TPgValues values = PgValues(values_);
    result_ = db_.Run([&] {
        return PQexecParams(db_.Handle(), text_.Sql.constData(), int(values_.size()), values.Types.data(),
                            values.Pointers.data(), nullptr, nullptr, 0);
    });
    executed_ = true;
    row_ = -1;
    ReadKinds(result_.r);
}

bool TPgCursor::Next() {
    if (!executed_) Execute();
    if (!result_.r || row_ + 1 >= PQntuples(result_.r)) return false;
    ++row_;
    return true;
}

const PGresult* TPgCursor::Described() {
    if (result_.r) return result_.r;
    // A statement with its values is run at once: its columns come with its rows, in one
    // round trip instead of a description first (the grids ask for the columns first).
    if (bound_) {
        Execute();
        return result_.r;
    }
    if (!description_.r) {
        db_.Run([&] { return PQprepare(db_.Handle(), "", text_.Sql.constData(), 0, nullptr); });
        description_ = db_.Check(PQdescribePrepared(db_.Handle(), ""));
        ReadKinds(description_.r);
    }
    return description_.r;
}

void TPgCursor::ReadKinds(const PGresult* r) {
    const int n = PQnfields(r);
    kinds_.assign(size_t(n), TValueKind::Null);
    names_.assign(size_t(n), QString());
    for (int c = 0; c < n; ++c) {
        const bool tableColumn = PQftable(r, c) != InvalidOid;
        TValueKind& kind = kinds_[size_t(c)];
        switch (PQftype(r, c)) {
        // Yes/no fields are the only smallint columns: -1/0 read back as a boolean.
        case kInt2: kind = tableColumn ? TValueKind::Boolean : TValueKind::Integer; break;
        case kInt4:
        case kInt8: kind = TValueKind::Integer; break;
        case kFloat4:
        case kFloat8: kind = TValueKind::Float; break;
        // Money columns are numeric(19,4); a sum or other figure worked out in the statement
        // reads as a plain number, as the embedded engine gives it.
        case kNumeric: kind = tableColumn ? TValueKind::Currency : TValueKind::Null; break;
        case kTimestamp:
        case kTimestampTz: kind = TValueKind::DateTime; break;
        case kBool: kind = TValueKind::Null; break;
        default: kind = TValueKind::Text; break;
        }
    }
}

QString TPgCursor::ColumnName(int col) {
    // Unquoted names come back folded to lower case; the statement's own spelling is the
    // one the windows and the embedded engine use.
    const PGresult* described = Described();
    QString& name = names_.at(size_t(col));
    if (!name.isEmpty()) return name;
    const QString folded = QString::fromUtf8(PQfname(described, col));
    // A name without ASCII letters (most captions are Chinese) comes back as it was written.
    static const QRegularExpression letter(QStringLiteral("[a-z]"));
    if (!folded.contains(letter)) return name = folded;
    const QRegularExpression word("(?<![\\w$])" + QRegularExpression::escape(folded) + "(?!\\w)",
                                  QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch first = word.match(sql_);
    name = first.hasMatch() ? first.captured(0) : folded;
    return name;
}

TValue TPgCursor::Value(int col) const {
    if (PQgetisnull(result_.r, row_, col)) return {};
    const char* text = PQgetvalue(result_.r, row_, col);
    const int length = PQgetlength(result_.r, row_, col);
    switch (kinds_[size_t(col)]) {
    case TValueKind::Text: return QString::fromUtf8(text, length);
    case TValueKind::Integer: return qint64(std::strtoll(text, nullptr, 10));
    case TValueKind::Boolean: return std::strtoll(text, nullptr, 10) != 0;
    case TValueKind::Float: return std::strtod(text, nullptr);
    case TValueKind::Currency: return TValue::Money(std::strtod(text, nullptr));
    case TValueKind::DateTime: return TValue::FromDbTime(text, length);
    case TValueKind::Null: break;
    }
    if (PQftype(result_.r, col) == kBool) return qint64(text[0] == 't' ? 1 : 0);
    if (std::strpbrk(text, ".eEN")) return std::strtod(text, nullptr);
    return qint64(std::strtoll(text, nullptr, 10));
}

void TPgCursor::PackValue(int col, std::string& out) const {
    if (kinds_[size_t(col)] == TValueKind::Text && !PQgetisnull(result_.r, row_, col)) {
        TValue::PackText(PQgetvalue(result_.r, row_, col), PQgetlength(result_.r, row_, col), out);
        return;
    }
    Value(col).Pack(out);
}

QByteArray Identifier(const QString& name) {
    QString n = name;
    n.replace("\"", "\"\"");
    return ("\"" + n + "\"").toUtf8();
}

PGconn* ConnectRaw(const TDbConfig& config, QString* reason) {
    const QByteArray info = config.ConnInfo().toUtf8();
    PGconn* conn = PQconnectdb(info.constData());
    if (conn && PQstatus(conn) == CONNECTION_OK) return conn;
    if (reason) *reason = conn ? QString::fromUtf8(PQerrorMessage(conn)).trimmed() : QStringLiteral("内存不足");
    // The password is never the program's: say where it comes from, never what it is.
    if (reason && conn && (PQconnectionNeedsPassword(conn) || reason->contains("password authentication failed")))
        *reason = QStringLiteral("服务器不接受用户 %1 的密码（或没有得到密码）。密码取自本机的 ~/.pgpass 文件"
                                 "（Windows 上为 %APPDATA%\\postgresql\\pgpass.conf）或环境变量 PGPASSWORD，"
                                 "请检查其中这台服务器的那一行。")
                      .arg(QString::fromUtf8(PQuser(conn)));
    PQfinish(conn);
    return nullptr;
}
}  // namespace

std::unique_ptr<TDbConnection> OpenPostgres(const TDbConfig& config, bool create) {
    QString reason;
    PGconn* conn = ConnectRaw(config, &reason);
    if (!conn) {
        TDbErrorInfo info;
        info.State = "08001";
        throw TDbError(QStringLiteral("无法连接数据库服务器：") + reason, info);
    }
    auto connection = std::make_unique<TPgConnection>(conn);
    const QByteArray schema = Identifier(config.SchemaName());
    // Date-times travel as "yyyy-MM-dd HH:mm:ss", the one text form the program reads and writes.
    connection->Setting("DateStyle", "SET DateStyle = 'ISO, YMD'");
    connection->Setting("lock_timeout", "SET lock_timeout = '10s'");
    // The statements are short, and a report's sums grouped by day or month look like millions
    // of rows to the planner, which then spends half a second compiling a 50 ms report.
    connection->Setting("jit", "SET jit = off");
    // Made only when it is missing: a station's user may use the schema but not create in the
    // database, and the server checks that right before it looks whether the schema exists.
    if (create) {
        const QByteArray name = config.SchemaName().toUtf8();
        const char* values[] = {name.constData()};
        const TPgStatementText exists = Rewrite(SqlSchemaExists(TDbEngine::PostgreSQL));
        const TResult found = connection->Check(
            PQexecParams(connection->Handle(), exists.Sql.constData(), 1, nullptr, values, nullptr, nullptr, 0));
        if (PQntuples(found.r) == 0) connection->Execute("CREATE SCHEMA " + schema);
    }
    connection->Setting("search_path", "SET search_path TO " + schema);
    return connection;
}

bool PostgresReachable(const TDbConfig& config, QString* reason) {
    PGconn* conn = ConnectRaw(config, reason);
    PQfinish(conn);
    return conn != nullptr;
}

TPgStatementText PgStatementText(const QString& sql) { return Rewrite(sql); }

TPgValues PgValues(const std::vector<TValue>& values) {
    const size_t n = values.size();
    TPgValues out{std::vector<unsigned int>(n, 0), std::vector<QByteArray>(n), std::vector<const char*>(n, nullptr)};
    for (size_t i = 0; i < n; ++i) {
        const TValue& v = values[i];
        switch (v.Kind()) {
        case TValueKind::Null: continue;
        // Text and whole numbers stay untyped, so the server reads them as whatever the
        // column or function needs (a whole number fits an integer, a text or a money column
        // as it does on the file). A fraction is typed: it fits no integer column.
        case TValueKind::Text:
            out.Texts[i] = v.AsText().toUtf8();
            // The server would take the text only up to a NUL and store the rest of it nowhere.
            if (out.Texts[i].contains('\0')) {
                TDbErrorInfo info;
                info.State = "22021";
                throw TDbError(QStringLiteral("文字中含有不可见的控制字符（NUL），不能保存"), info);
            }
            break;
        case TValueKind::Integer:
        case TValueKind::Boolean: out.Texts[i] = QByteArray::number(v.AsInt64()); break;
        case TValueKind::DateTime: out.Types[i] = kTimestamp; out.Texts[i] = v.AsText().toUtf8(); break;
        case TValueKind::Float: out.Types[i] = kFloat8; out.Texts[i] = QByteArray::number(v.AsDouble(), 'g', 17); break;
        case TValueKind::Currency:
            out.Types[i] = kNumeric;
            out.Texts[i] = QByteArray::number(double(v.MoneyUnits()) / 10000.0, 'f', 4);
            break;
        }
        out.Pointers[i] = out.Texts[i].constData();
    }
    return out;
}
