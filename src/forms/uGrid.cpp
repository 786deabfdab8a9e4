#include "forms/uGrid.h"

#include "data/uSqlDialect.h"

#include <QRegularExpression>

#include <algorithm>

TQueryModel::TQueryModel(TDM& dm, QObject* parent) : QAbstractTableModel(parent), dm_(dm) {}

void TQueryModel::Open(const QString& sql, const TParams& params) { Open(TSqlText{sql, params, {}}); }

void TQueryModel::Open(const TSqlText& query) {
    beginResetModel();
    query_ = query;
    keys_.clear();
    for (const QString& key : query.Order) {
        const QStringList parts = key.split(' ', Qt::SkipEmptyParts);
        const bool descending = parts.value(1).compare("DESC", Qt::CaseInsensitive) == 0;
        const int nulls = int(parts.indexOf(QRegularExpression("NULLS", QRegularExpression::CaseInsensitiveOption)));
        const bool nullsAfter = nulls > 0 ? parts.value(nulls + 1).compare("LAST", Qt::CaseInsensitive) == 0
                                          : descending != SqlNullsSortHigh(dm_.Engine());
        const bool notNull = parts.size() >= 3 && parts.back().compare("NULL", Qt::CaseInsensitive) == 0 &&
                             parts.value(parts.size() - 2).compare("NOT", Qt::CaseInsensitive) == 0;
        keys_.push_back({parts.value(0), descending, nullsAfter && !notNull});
    }
    ClearRows();
    names_.clear();
    open_ = false;
    exhausted_ = true;
    try {
        ReadChunk();
        captions_ = names_;
        open_ = true;
    } catch (...) {
        ClearRows();
        names_.clear();
        captions_.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void TQueryModel::Close() {
    beginResetModel();
    open_ = false;
    exhausted_ = true;
    ClearRows();
    names_.clear();
    captions_.clear();
    endResetModel();
}

int TQueryModel::ColumnIndex(const QString& name) const {
    for (int i = 0; i < names_.size(); ++i)
        if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

void TQueryModel::SetCaption(int col, const QString& caption) {
    if (col < 0 || col >= captions_.size()) return;
    captions_[col] = caption;
    emit headerDataChanged(Qt::Horizontal, col, col);
}

TValue TQueryModel::Value(int row, int col) const {
    if (row < 0 || row >= rowCount() || col < 0 || col >= names_.size()) return {};
    return Cell(row, col);
}

TValue TQueryModel::Value(int row, const QString& column) const { return Value(row, ColumnIndex(column)); }

int TQueryModel::FindRow(const std::function<bool(int row)>& match) {
    for (int row = 0;; ++row) {
        while (row >= rowCount() && !exhausted_) fetchMore({});
        if (row >= rowCount()) return -1;
        if (match(row)) return row;
    }
}

void TQueryModel::ForEachRow(const std::function<void(const std::vector<TValue>& row)>& visit) const {
    TStatement st = dm_.NewQuery(query_.OrderedSql(dm_.Engine()));
    st.Bind(query_.Params);
    const int n = st.ColumnCount();
    std::vector<TValue> row(static_cast<size_t>(n));
    while (st.Next()) {
        for (int c = 0; c < n; ++c) row[size_t(c)] = st.Value(c);
        visit(row);
    }
}

QString TQueryModel::DisplayText(const TValue& v) {
    switch (v.Kind()) {
    case TValueKind::DateTime: {
        QDate d;
        QTime t;
        v.AsDateAndTime(&d, &t);
        return QString::asprintf("%04d-%02d-%02d %02d:%02d", d.year(), d.month(), d.day(), t.hour(), t.minute());
    }
    case TValueKind::Float: return FmtNum(v.AsDouble(), 2);
    case TValueKind::Currency: return FmtMoney(v.AsDouble());
    default: return v.AsText();
    }
}

int TQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rowStart_.size());
}

int TQueryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(names_.size());
}

QVariant TQueryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const TValue v = Value(index.row(), index.column());
    if (role == Qt::DisplayRole) return DisplayText(v);
    if (role == Qt::TextAlignmentRole) {
        const bool numeric = v.Kind() == TValueKind::Integer || v.Kind() == TValueKind::Float ||
                             v.Kind() == TValueKind::Currency;
        return QVariant::fromValue(Qt::Alignment(numeric ? Qt::AlignRight | Qt::AlignVCenter
                                                         : Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

QVariant TQueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return captions_.value(section);
    return section + 1;
}

bool TQueryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && open_ && !exhausted_;
}

void TQueryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    ReadChunk();
}

int TQueryModel::ChunkRows(int held) {
    // Chunks grow with the rows already held: scrolling to the end of a long ledger then
    // costs a few dozen statements, not thousands.
    return std::clamp(held, kChunkRows, kMaxChunkRows);
}

TSqlText TQueryModel::FirstChunk(TDbEngine engine, const TSqlText& query) {
    const QString limit = QStringLiteral(" LIMIT %1").arg(kChunkRows);
    if (query.Order.isEmpty()) return {query.Sql + limit, query.Params, {}};
    const TSqlText chunk{"SELECT * FROM (" + query.Sql + ") AS listing", query.Params, query.Order};
    return {chunk.OrderedSql(engine) + limit, chunk.Params, {}};
}

TSqlText TQueryModel::ChunkQuery() const {
    if (rowStart_.empty()) return FirstChunk(dm_.Engine(), query_);
    const QString limit = QStringLiteral(" LIMIT %1").arg(ChunkRows(rowCount()));
    if (keys_.empty())
        return {query_.Sql + limit + QStringLiteral(" OFFSET %1").arg(rowCount()), query_.Params, {}};
    TSqlText chunk{"SELECT * FROM (" + query_.Sql + ") AS listing WHERE ", query_.Params, query_.Order};
    chunk.Sql += AfterLastRow(chunk.Params);
    return {chunk.OrderedSql(dm_.Engine()) + limit, chunk.Params, {}};
}

QString TQueryModel::AfterLastRow(TParams& params) const {
    // (k1 after v1) OR (k1 = v1 AND k2 after v2) ...: the rows that follow the last one held.
    // A null is not compared like a value: it needs its own terms, on the side where the
    // listing sorts it. Those terms keep SQLite from seeking in the key's index (every chunk then
    // reads the table from its start), so a key declared NOT NULL goes without them.
    const int last = rowCount() - 1;
    QStringList alternatives;
    QStringList sameSoFar;
    for (size_t k = 0; k < keys_.size(); ++k) {
        const QString column = SqlResultName(dm_.Engine(), keys_[k].Column);
        const TValue value = Cell(last, keys_[k].Index);
        const QString name = ":grid_last" + QString::number(k);
        if (!value.IsNull()) params.push_back({name.mid(1), value});
        const bool nullsAfterValues = keys_[k].NullsAfterValues;
        const QString beyond = column + (keys_[k].Descending ? "<" : ">") + name;
        QString after;
        if (value.IsNull())
            after = nullsAfterValues ? QString() : column + " IS NOT NULL";
        else
            after = nullsAfterValues ? "(" + beyond + " OR " + column + " IS NULL)" : beyond;
        if (!after.isEmpty()) alternatives << "(" + (sameSoFar + QStringList{after}).join(" AND ") + ")";
        sameSoFar << (value.IsNull() ? column + " IS NULL" : column + "=" + name);
    }
    return alternatives.isEmpty() ? QStringLiteral("0=1") : "(" + alternatives.join(" OR ") + ")";
}

void TQueryModel::ClearRows() {
    blocks_.clear();
    rowStart_.clear();
    rowStart_.shrink_to_fit();
}

TValue TQueryModel::Cell(int row, int col) const {
    const auto [block, offset] = rowStart_[size_t(row)];
    const char* at = blocks_[block].data() + offset;
    for (int c = 0; c < col; ++c) TValue::Unpack(at);
    return TValue::Unpack(at);
}

void TQueryModel::ReadChunk() {
    // Each chunk is its own short statement, so no read lock is held while the grid is idle.
    const TSqlText chunk = ChunkQuery();
    const int asked = ChunkRows(rowCount());
    TStatement st = dm_.NewQuery(chunk.Sql);
    st.Bind(chunk.Params);
    const int n = st.ColumnCount();
    if (names_.isEmpty()) {
        for (int c = 0; c < n; ++c) names_ << st.ColumnName(c);
        for (TSortKey& key : keys_) {
            key.Index = ColumnIndex(key.Column);
            if (key.Index < 0) throw TDbError(QStringLiteral("查询结果中没有排序字段 %1").arg(key.Column));
        }
    }
    std::string block;
    std::vector<std::pair<quint32, quint32>> starts;
    while (st.Next()) {
        starts.emplace_back(quint32(blocks_.size()), quint32(block.size()));
        for (int c = 0; c < n; ++c) st.PackValue(c, block);
    }
    const int read = int(starts.size());
    exhausted_ = read < asked;
    if (read == 0) return;
    if (open_) beginInsertRows({}, rowCount(), rowCount() + read - 1);
    block.shrink_to_fit();
    blocks_.push_back(std::move(block));
    rowStart_.insert(rowStart_.end(), starts.begin(), starts.end());
    if (open_) endInsertRows();
}
