#include "data/uDM.h"

#include "data/uDbCopy.h"
#include "data/uDbEngine.h"
#include "data/uDbInit.h"
#include "data/uPgEngine.h"
#include "data/uSqlDialect.h"
#include "data/uSqliteEngine.h"

#include <QRegularExpression>

#include <algorithm>

QString CommandTimeoutText(std::chrono::milliseconds limit) {
    return QStringLiteral("执行超时：语句在 %1 秒内未完成，已取消").arg(limit.count() / 1000.0);
}

TDbError::TDbError(const QString& message, TDbErrorInfo info)
    : std::runtime_error(message.toStdString()), message_(message), info_(std::move(info)) {}

// ---- TStatement -------------------------------------------------------------------------

TStatement::TStatement(TDM& dm, const QString& sql) : cursor_(dm.Connection().Prepare(sql)) {}

TStatement::~TStatement() = default;

void TStatement::Bind(const TParams& params) { cursor_->Bind(params); }

bool TStatement::Next() { return cursor_->Next(); }

void TStatement::Exec() {
    while (Next()) {
    }
}

int TStatement::ColumnCount() const { return cursor_->ColumnCount(); }

QString TStatement::ColumnName(int col) const { return cursor_->ColumnName(col); }

TValueKind TStatement::ColumnKind(int col) const { return cursor_->ColumnKind(col); }

TValue TStatement::Value(int col) const { return cursor_->Value(col); }

void TStatement::PackValue(int col, std::string& out) const { cursor_->PackValue(col, out); }

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

TDM::TDM(QString dbPath, TOpenMode mode) : TDM(TDbConfig::File(dbPath), mode) {}

TDM::TDM(TDbConfig config, TOpenMode mode) : config_(std::move(config)), mode_(mode) {}

TDM::~TDM() { Close(); }

bool TDM::Connect() {
    Close();
    connectNotes_.clear();
    const bool create = mode_ == TOpenMode::CreateNew;
    connection_ = config_.IsPostgres() ? OpenPostgres(config_, create) : OpenSqlite(config_.Path, create);
    if (!connection_) return false;
    connection_->SetCommandTimeout(commandTimeout_);
    if (mode_ == TOpenMode::Existing) {
        AddMissingIndexes();
        AddLogGuard();
    }
    return true;
}

void TDM::AddMissingIndexes() {
    // The lists' first screens and searches depend on these; a read-only or damaged file
    // simply goes without, and the start-up check reports what is really wrong with it. Only
    // missing ones are made: on a server, making one waits for every save in progress, and a
    // station's user may not make any.
    static const QRegularExpression named(QStringLiteral(R"(CREATE INDEX (?:IF NOT EXISTS )?(\w+))"));
    static const QRegularExpression extension(QStringLiteral(R"(CREATE EXTENSION (?:IF NOT EXISTS )?(\w+))"));
    QStringList present;
    try {
        const TQuery q = OpenSQL(SqlIndexNames(Engine()));
        for (int r = 0; r < q.RowCount(); ++r) present << q.Value(r, 0).AsText().toLower();
    } catch (const TDbError&) {
        return;
    }
    QString extensionStatement;
    QStringList toBuild;
    for (const QString& statement : MovelkarIndexes() + SqlKeywordIndexes(Engine())) {
        if (extension.match(statement).hasMatch()) {
            extensionStatement = statement;
            continue;
        }
        const QRegularExpressionMatch m = named.match(statement);
        if (m.hasMatch() && !present.contains(m.captured(1).toLower())) toBuild << statement;
    }
    // The reference table takes as long as a dozen ordinary indexes; the window's bar and its
    // estimate of the time left count it so.
    constexpr int kRefWordsSteps = 12;
    const bool wordsMissing = !SqlLogRefWords(Engine()).isEmpty() && !HasLogRefWords();
    QStringList refused;
    const int total = int(toBuild.size()) + (wordsMissing ? kRefWordsSteps : 0);
    if (total > 0 && indexProgress_) indexProgress_(0, total);
    for (int i = 0; i < int(toBuild.size()); ++i) {
        // The extension an index is built with is made only when such an index is missing.
        if (toBuild[i].contains("gin_trgm_ops") && !extensionStatement.isEmpty()) {
            try {
                ExecSQLP(extensionStatement);
            } catch (const TDbError&) {
            }
            extensionStatement.clear();
        }
        try {
            ExecSQLP(toBuild[i]);
        } catch (const TDbError&) {
            refused << named.match(toBuild[i]).captured(1);
        }
        if (indexProgress_) indexProgress_(i + 1, total);
    }
    if (wordsMissing) {
        if (!AddLogRefWords()) refused << QStringLiteral("idx_log_ref_words");
        if (indexProgress_) indexProgress_(total, total);
    }
    if (!refused.isEmpty())
        connectNotes_ << QStringLiteral("数据库用户无权创建缺少的索引（%1），程序照常运行，但相关的列表和查询可能较慢。"
                                        "请用数据库所有者的账户启动一次本程序，索引即会补建。")
                             .arg(refused.join(QStringLiteral("、")));
}

bool TDM::HasLogRefWords() {
    try {
        return VarToInt(ScalarP(SqlLogRefWordsCount(Engine()))) > 0;
    } catch (const TDbError&) {
        return false;
    }
}

// All or nothing: a table left half-filled would hide log rows from the search.
bool TDM::AddLogRefWords() {
    try {
        TTransaction tx(*this);
        for (const QString& statement : SqlLogRefWords(Engine())) ExecSQLP(statement);
        tx.Commit();
        return true;
    } catch (const TDbError&) {
        return false;
    }
}

void TDM::AddLogGuard() {
    try {
        if (VarToInt(ScalarP(SqlLogGuardCount(Engine()))) > 0) return;
        TTransaction tx(*this);
        for (const QString& statement : SqlLogGuard(Engine())) ExecSQLP(statement);
        tx.Commit();
    } catch (const TDbError&) {
        connectNotes_ << QStringLiteral("操作日志（T_Log）尚无防修改、防删除的保护，数据库用户无权添加。"
                                        "请用数据库所有者的账户启动一次本程序，保护即会加上。");
    }
}

void TDM::Close() { connection_.reset(); }

TDbConnection& TDM::Connection() const {
    if (!connection_) throw TDbError(QStringLiteral("数据库未连接"));
    return *connection_;
}

void TDM::SetCommandTimeout(std::chrono::milliseconds limit) {
    commandTimeout_ = limit;
    if (connection_) connection_->SetCommandTimeout(limit);
}

void TDM::Execute(const char* sql) { NewQuery(QString::fromLatin1(sql)).Exec(); }

TStatement TDM::NewQuery(const QString& sql) { return TStatement(*this, sql); }

TQuery TDM::OpenSQL(const QString& sql) { return OpenSQLP(sql, {}); }

TQuery TDM::OpenSQLP(const QString& sql, const TParams& params) {
    TStatement st = NewQuery(sql);
    st.Bind(params);
    // Run first: a server describes its columns with the rows.
    bool more = st.Next();
    TQuery q;
    const int n = st.ColumnCount();
    for (int c = 0; c < n; ++c) {
        q.names_ << st.ColumnName(c);
        q.kinds_.push_back(st.ColumnKind(c));
    }
    for (; more; more = st.Next()) {
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

qint64 TDM::LastInsertId() const { return connection_ ? connection_->LastInsertId() : 0; }

void TDM::BeginTrans() { Connection().Begin(); }

void TDM::CommitTrans() {
    if (!InTransaction()) return;
    Connection().Commit();
}

void TDM::RollbackTrans() {
    if (!InTransaction()) return;
    try {
        Connection().Rollback();
    } catch (const TDbError&) {
        // A failed statement may already have ended the transaction; nothing is left to undo.
    }
}

bool TDM::InTransaction() const { return connection_ && connection_->InTransaction(); }

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
    const QString day = QDate::currentDate().toString("yyyyMMdd");
    const QString head = prefix + day;
    // A range on the key reads only today's numbers through the primary-key index; every
    // digit sorts below ':', so the range holds every numeric sequence of the day.
    const TQuery q = OpenSQLP("SELECT " + field + " FROM " + table + " WHERE " + field + ">=:lo AND " + field +
                                  "<:hi",
                              {{"lo", head}, {"hi", head + ":"}});
    // The highest sequence is taken by number, not by text, so that 1000 follows 999.
    qint64 highest = 0;
    for (int r = 0; r < q.RowCount(); ++r) {
        bool ok = false;
        const qint64 seq = q.Value(r, 0).AsText().mid(head.size(), 10).toLongLong(&ok);
        highest = std::max(highest, ok ? seq : 0);
    }
    qint64 next = highest + 1;
    if (Engine() == TDbEngine::PostgreSQL) {
        // Stations draw at the same moment: a counter row per prefix and day, taken in the
        // save's transaction, hands each one its own number (the second waits for the first
        // to commit or roll back). It never goes below a number already saved that day.
        next = VarToInt(ScalarP(SqlCounterNext(Engine()), {{"p", prefix}, {"d", day}, {"seed", next}}));
    }
    return head + QStringLiteral("%1").arg(next, 3, 10, QChar('0'));
}

void TDM::BackupTo(const QString& targetPath) {
    if (Engine() == TDbEngine::PostgreSQL) {
        // A server's data is backed up as a database file of the embedded kind: a copy any
        // station can open, and that the copy tool moves back onto a server.
        CopyIntoNewFile(*this, targetPath);
        return;
    }
    Connection().BackupTo(targetPath);
}
