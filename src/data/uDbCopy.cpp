#include "data/uDbCopy.h"

#include "data/uDM.h"
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
// many minutes on a server.
constexpr int kRowsPerInsert = 200;

class TInserter {
public:
    TInserter(TDM& to, const QString& table, const QStringList& columns)
        : to_(to), table_(table), columns_(columns) {}

    void Add(std::vector<TValue> row) {
        rows_.push_back(std::move(row));
        if (int(rows_.size()) == kRowsPerInsert) Flush();
    }

    void Flush() {
        if (rows_.empty()) return;
        QStringList tuples;
        TParams params;
        params.reserve(rows_.size() * size_t(columns_.size()));
        for (size_t r = 0; r < rows_.size(); ++r) {
            QStringList marks;
            for (int c = 0; c < columns_.size(); ++c) {
                const QString name = QStringLiteral("r%1c%2").arg(r).arg(c);
                marks << ":" + name;
                params.push_back({name, rows_[r][size_t(c)]});
            }
            tuples << "(" + marks.join(',') + ")";
        }
        to_.ExecSQLP("INSERT INTO " + table_ + "(" + columns_.join(',') + ") VALUES " + tuples.join(','), params);
        rows_.clear();
    }

private:
    TDM& to_;
    QString table_;
    QStringList columns_;
    std::vector<std::vector<TValue>> rows_;
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

qint64 CopyTable(TDM& from, TDM& to, const TTableDef& table) {
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
        std::vector<TValue> row;
        row.reserve(size_t(page.ColumnCount()));
        for (int c = 0; c < page.ColumnCount(); ++c) row.push_back(page.Value(read.Row(), c));
        insert->Add(std::move(row));
    }
    if (insert) insert->Flush();
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

void CopyIntoNewFile(TDM& from, const QString& targetPath) {
    const QString building = targetPath + ".new";
    RemoveFile(building);
    try {
        {
            const TReadSnapshot snapshot(from);
            TDM to(building, TOpenMode::CreateNew);
            to.Connect();
            {
                TTransaction tx(to);
                CreateSchema(to, MovelkarSchema(), false);
                tx.Commit();
            }
            CopyTables(from, to);
            const QStringList differences = CompareTables(from, to, 1);
            if (!differences.isEmpty())
                throw TDbError(QStringLiteral("备份文件校验失败：") + differences.first());
        }
        if (const TDbHealth h = CheckDatabaseFile(building, SchemaTables(MovelkarSchema())); !h.Healthy())
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
