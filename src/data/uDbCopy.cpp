#include "data/uDbCopy.h"

#include "data/uDM.h"
#include "data/uDbEngine.h"
#include "data/uDbHealth.h"
#include "data/uDbInit.h"
#include "data/uSqlDialect.h"
#include "data/uSqliteEngine.h"

#include <QFile>
#include <QRegularExpression>

#include <optional>

namespace {
struct TTableDef {
    QString Name;
    QString Key;  // the first column, the table's primary key
    bool SelfNumbered = false;
};

QList<TTableDef> Tables() {
    static const QRegularExpression create(QStringLiteral(R"(^CREATE TABLE (\w+) \((\w+) )"));
    QList<TTableDef> tables;
    for (const QString& statement : MovelkarSchema().Statements)
        if (const auto m = create.match(statement); m.hasMatch())
            tables.push_back({m.captured(1), m.captured(2), statement.contains("AUTOINCREMENT")});
    return tables;
}

// Rows go in a few hundred at a time: one statement per row would make a ten-year move last
// many minutes on a server. The statement for a full set is prepared once per table and bound
// afresh for each set; only the table's last, shorter set gets a statement of its own.
constexpr int kRowsPerInsert = 200;

class TInserter {
public:
    TInserter(TDM& to, const QString& table, const QStringList& columns)
        : to_(to), table_(table), columns_(columns) {
        for (int r = 0; r < kRowsPerInsert; ++r)
            for (int c = 0; c < columns_.size(); ++c) names_ << QStringLiteral("r%1c%2").arg(r).arg(c);
        params_.reserve(size_t(names_.size()));
    }

    void Add(const TQuery& page, int row) {
        for (int c = 0; c < columns_.size(); ++c) params_.push_back({names_[int(params_.size())], page.Value(row, c)});
        if (params_.size() == size_t(names_.size())) Flush();
    }

    void Flush() {
        if (params_.empty()) return;
        const int rows = int(params_.size()) / int(columns_.size());
        if (rows < kRowsPerInsert) {
            to_.ExecSQLP(Sql(rows), params_);
        } else {
            if (!full_) full_.emplace(to_.NewQuery(Sql(rows)));
            full_->Bind(params_);
            full_->Exec();
        }
        params_.clear();
    }

private:
    QString Sql(int rows) const {
        QStringList tuples;
        for (int r = 0; r < rows; ++r) {
            QStringList marks;
            for (int c = 0; c < columns_.size(); ++c) marks << ":" + names_[r * int(columns_.size()) + c];
            tuples << "(" + marks.join(',') + ")";
        }
        return "INSERT INTO " + table_ + "(" + columns_.join(',') + ") VALUES " + tuples.join(',');
    }

    TDM& to_;
    QString table_;
    QStringList columns_;
    QStringList names_;  // r0c0, r0c1, ...: row by row, column by column
    TParams params_;
    std::optional<TStatement> full_;
};

// A table's rows in key order, read a page at a time after the last key held, so that a
// server never hands over a million rows in one answer.
class TPagedRows {
public:
    TPagedRows(TDM& dm, const TTableDef& table) : dm_(dm), table_(table) {}

    bool Next() {
        if (++row_ < page_.RowCount()) return true;
        if (done_) return false;
        const QString after = started_ ? " WHERE " + table_.Key + ">:last" : QString();
        const TParams params = started_ ? TParams{{"last", page_.Value(page_.RowCount() - 1, 0)}} : TParams{};
        page_ = dm_.OpenSQLP("SELECT * FROM " + table_.Name + after + " ORDER BY " + table_.Key + " LIMIT " +
                                 QString::number(kPage),
                             params);
        started_ = true;
        done_ = page_.RowCount() < kPage;
        row_ = 0;
        return row_ < page_.RowCount();
    }
    const TQuery& Page() const { return page_; }
    int Row() const { return row_; }

private:
    static constexpr int kPage = 5000;
    TDM& dm_;
    TTableDef table_;
    TQuery page_;
    int row_ = -1;
    bool started_ = false;
    bool done_ = false;
};

// Two schemas of one server: the server moves the rows itself, none of them crosses the network.
bool SameServer(const TDM& a, const TDM& b) {
    return a.Engine() == TDbEngine::PostgreSQL && b.Engine() == TDbEngine::PostgreSQL &&
           a.Config().ConnInfo() == b.Config().ConnInfo();
}

qint64 CopyWithinServer(TDM& from, TDM& to, const TTableDef& table) {
    const TQuery head = to.OpenSQL("SELECT * FROM " + table.Name + " LIMIT 0");
    QStringList columns;
    for (int c = 0; c < head.ColumnCount(); ++c) columns << head.ColumnName(c);
    const QString source = "\"" + from.Config().SchemaName().replace("\"", "\"\"") + "\"." + table.Name;
    to.ExecSQLP("INSERT INTO " + table.Name + "(" + columns.join(',') + ") SELECT " + columns.join(',') + " FROM " +
                source);
    return VarToInt(to.ScalarP("SELECT COUNT(*) FROM " + table.Name));
}

qint64 CopyRows(TDM& from, TDM& to, const TTableDef& table) {
    if (SameServer(from, to)) return CopyWithinServer(from, to, table);
    TPagedRows read(from, table);
    std::optional<TInserter> insert;
    qint64 rows = 0;
    for (; read.Next(); ++rows) {
        const TQuery& page = read.Page();
        if (!insert) {
            QStringList columns;
            for (int c = 0; c < page.ColumnCount(); ++c) columns << page.ColumnName(c);
            insert.emplace(to, table.Name, columns);
        }
        insert->Add(page, read.Row());
    }
    if (insert) insert->Flush();
    return rows;
}

qint64 CopyTable(TDM& from, TDM& to, const TTableDef& table) {
    const qint64 rows = CopyRows(from, to, table);
    if (table.SelfNumbered) {
        const QString restart = SqlKeyCounterRestart(to.Engine(), table.Name, table.Key);
        if (!restart.isEmpty()) to.ScalarP(restart);
    }
    return rows;
}

// The same stored value, whichever engine read it: money to the ten-thousandth, a yes/no
// by its truth, everything else as read.
bool SameValue(const TValue& a, const TValue& b) {
    if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull();
    if (a.Kind() == TValueKind::Currency || b.Kind() == TValueKind::Currency) return a.MoneyUnits() == b.MoneyUnits();
    if (a.Kind() == TValueKind::Boolean || b.Kind() == TValueKind::Boolean) return a.AsBool() == b.AsBool();
    return a == b;
}

void RemoveFile(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + "-journal");
}

// A new target gets its tables first and its indexes after the rows: building an index once over
// all the rows is far quicker than keeping it in order row by row.
void CreateTables(TDM& to) {
    TSchema tables;
    for (const QString& statement : MovelkarSchema().Statements)
        if (statement.startsWith("CREATE TABLE ")) tables.Statements << statement;
    TTransaction tx(to);
    CreateSchema(to, tables, false);
    tx.Commit();
}

void CreateIndexes(TDM& to) {
    {
        TTransaction tx(to);
        for (const QString& statement : MovelkarIndexes()) to.ExecSQLP(statement);
        tx.Commit();
    }
    // The word searches' indexes need an extension the server may not grant; the searches work
    // without them, only slower, as they do on a station that connects without the right.
    for (const QString& statement : SqlKeywordIndexes(to.Engine())) {
        try {
            to.ExecSQLP(statement);
        } catch (const TDbError&) {
        }
    }
}

// The whole of `from` in the new, empty `to`, checked row by row; TDbError "<what>校验失败：…"
// with the first difference.
void CopyIntoNew(TDM& from, TDM& to, const TCopyProgress& progress, const QString& what) {
    CreateTables(to);
    CopyTables(from, to, progress);
    CreateIndexes(to);
    // A server plans its statements by what it knows of the rows; it learns them now rather than
    // when it gets round to it.
    for (const TTableDef& table : Tables())
        if (const QString refresh = SqlRefreshStatistics(to.Engine(), table.Name); !refresh.isEmpty())
            to.ExecSQLP(refresh);
    const QStringList differences = CompareTables(from, to, 1);
    if (!differences.isEmpty()) throw TDbError(what + QStringLiteral("校验失败：") + differences.first());
}

// The tables a copy made in a server's schema, dropped again unless the copy succeeds, so that a
// failed copy leaves the schema as it was and can simply be run again.
class TMadeTables {
public:
    explicit TMadeTables(TDM& dm) : dm_(dm) {}
    ~TMadeTables() {
        if (kept_) return;
        try {
            dm_.RollbackTrans();
            const TSchema made{SchemaStatements(dm_.Engine()), {}};
            for (const QString& table : SchemaTables(made)) dm_.ExecSQLP("DROP TABLE IF EXISTS " + table);
        } catch (const TDbError&) {
            // The server is gone; the tables it still has are empty, and a copy into them is allowed.
        }
    }
    TMadeTables(const TMadeTables&) = delete;
    TMadeTables& operator=(const TMadeTables&) = delete;
    void Keep() { kept_ = true; }

private:
    TDM& dm_;
    bool kept_ = false;
};
}  // namespace

TReadSnapshot::TReadSnapshot(TDM& dm) : dm_(dm) {
    if (dm_.InTransaction()) return;
    dm_.ExecSQLP(SqlBeginSnapshot(dm_.Engine()));
    own_ = true;
}

TReadSnapshot::~TReadSnapshot() {
    if (own_) dm_.RollbackTrans();
}

void CopyTables(TDM& from, TDM& to, const TCopyProgress& progress) {
    TTransaction tx(to);
    for (const TTableDef& table : Tables()) {
        if (VarToInt(to.ScalarP("SELECT COUNT(*) FROM " + table.Name)) > 0)
            throw TDbError(QStringLiteral("目标数据库的 %1 表中已有记录，只能复制到空数据库").arg(table.Name));
        const qint64 rows = CopyTable(from, to, table);
        if (progress) progress(table.Name, rows);
    }
    tx.Commit();
}

QStringList CompareTables(TDM& a, TDM& b, int limit) {
    QStringList differences;
    for (const TTableDef& table : Tables()) {
        TPagedRows left(a, table);
        TPagedRows right(b, table);
        for (qint64 row = 0;; ++row) {
            const bool l = left.Next();
            const bool r = right.Next();
            if (!l || !r) {
                if (l != r) differences << QStringLiteral("%1：行数不同（第 %2 行起只有一方有）").arg(table.Name).arg(row + 1);
                break;
            }
            const TQuery& lp = left.Page();
            const TQuery& rp = right.Page();
            for (int c = 0; c < lp.ColumnCount(); ++c) {
                const TValue& lv = lp.Value(left.Row(), c);
                const TValue& rv = rp.Value(right.Row(), c);
                if (SameValue(lv, rv)) continue;
                differences << QStringLiteral("%1 第 %2 行 %3：%4 ≠ %5")
                                   .arg(table.Name)
                                   .arg(row + 1)
                                   .arg(lp.ColumnName(c), lv.AsText(), rv.AsText());
                break;
            }
            if (differences.size() >= limit) return differences;
        }
    }
    return differences;
}

namespace {
// Why a backup failed, in the words the file's own backup uses: a fault of the file being written,
// or the server being held by another program.
QString BackupFailure(const TDbError& e) {
    const QString& state = e.Info().State;
    if (state == "57014" || state == "55P03" || state == "40P01")
        return QStringLiteral("数据库正被其他程序或其他电脑占用，备份未完成，请稍后重试");
    if (e.Info().FileCode != 0) return BackupFailureReason(e.Info().FileCode, e.Message());
    return e.Message();
}
}  // namespace

void CopyIntoNewFile(TDM& from, const QString& targetPath, const TCopyProgress& progress) {
    const QString building = targetPath + ".new";
    RemoveFile(building);
    try {
        {
            const TReadSnapshot snapshot(from);
            TDM to(building, TOpenMode::CreateNew);
            to.Connect();
            CopyIntoNew(from, to, progress, QStringLiteral("备份文件"));
        }
        // Checked as any backup copy is: only read, so no marker file is left beside it.
        if (const TDbHealth h = CheckBackupCopy(building, SchemaTables(MovelkarSchema())); !h.Healthy())
            throw TDbError(QStringLiteral("备份文件校验失败：") + h.Detail);
        RemoveFile(targetPath);
        if (!QFile::rename(building, targetPath))
            throw TDbError(QStringLiteral("无法创建备份文件（请检查 Backup 文件夹是否存在、能否写入）"));
    } catch (const TDbError& e) {
        // Nothing half-made stays in the backup folder to be mistaken for a copy.
        RemoveFile(building);
        throw TDbError(BackupFailure(e), e.Info());
    } catch (...) {
        RemoveFile(building);
        throw;
    }
}

void CopyIntoServerSchema(TDM& from, const TDbConfig& server, const TCopyProgress& progress) {
    const TReadSnapshot snapshot(from);
    TDM to(server, TOpenMode::CreateNew);
    to.Connect();
    if (VarToInt(to.ScalarP(SqlTableCount(to.Engine()))) == 0) {
        TMadeTables made(to);
        CopyIntoNew(from, to, progress, QStringLiteral("复制到服务器的数据"));
        made.Keep();
        return;
    }
    // Tables made before (by a station's first start, say) are filled as they are, if empty.
    CopyTables(from, to, progress);
    const QStringList differences = CompareTables(from, to, 1);
    if (!differences.isEmpty())
        throw TDbError(QStringLiteral("复制到服务器的数据校验失败：") + differences.first());
}
