#include "forms/uGrid.h"

#include <algorithm>

TQueryModel::TQueryModel(TDM& dm, QObject* parent) : QAbstractTableModel(parent), dm_(dm) {}

void TQueryModel::Open(const QString& sql, const TParams& params) {
    beginResetModel();
    sql_ = sql;
    params_ = params;
    rows_.clear();
    names_.clear();
    open_ = false;
    exhausted_ = true;
    try {
        const TQuery first = ReadChunk(0);
        for (int c = 0; c < first.ColumnCount(); ++c) names_ << first.ColumnName(c);
        captions_ = names_;
        Append(first);
        open_ = true;
    } catch (...) {
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
    rows_.clear();
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
    if (row < 0 || row >= int(rows_.size()) || col < 0 || col >= names_.size()) return {};
    return rows_[size_t(row)][size_t(col)];
}

TValue TQueryModel::Value(int row, const QString& column) const { return Value(row, ColumnIndex(column)); }

int TQueryModel::FindRow(const std::function<bool(int row)>& match) {
    for (int row = 0;; ++row) {
        while (row >= int(rows_.size()) && !exhausted_) fetchMore({});
        if (row >= int(rows_.size())) return -1;
        if (match(row)) return row;
    }
}

void TQueryModel::ForEachRow(const std::function<void(const std::vector<TValue>& row)>& visit) const {
    TStatement st = dm_.NewQuery(sql_);
    st.Bind(params_);
    const int n = st.ColumnCount();
    std::vector<TValue> row(static_cast<size_t>(n));
    while (st.Next()) {
        for (int c = 0; c < n; ++c) row[size_t(c)] = st.Value(c);
        visit(row);
    }
}

QString TQueryModel::DisplayText(const TValue& v) {
    switch (v.Kind()) {
    case TValueKind::DateTime: return v.AsDateTime().toString("yyyy-MM-dd HH:mm");
    case TValueKind::Float: return FmtNum(v.AsDouble(), 2);
    case TValueKind::Currency: return FmtMoney(v.AsDouble());
    default: return v.AsText();
    }
}

int TQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
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
    const TQuery chunk = ReadChunk(int(rows_.size()));
    if (chunk.IsEmpty()) {
        exhausted_ = true;
        return;
    }
    beginInsertRows({}, int(rows_.size()), int(rows_.size()) + chunk.RowCount() - 1);
    Append(chunk);
    endInsertRows();
}

int TQueryModel::ChunkRows(int offset) {
    // Every chunk re-reads the rows it skips, so chunks grow with the rows already read:
    // scrolling to the end of a long ledger then costs a few dozen statements, not thousands.
    return std::clamp(offset, kChunkRows, kMaxChunkRows);
}

TQuery TQueryModel::ReadChunk(int offset) const {
    // Each chunk is its own short statement, so no read lock is held while the grid is idle.
    return dm_.OpenSQLP(sql_ + QStringLiteral(" LIMIT %1 OFFSET %2").arg(ChunkRows(offset)).arg(offset), params_);
}

void TQueryModel::Append(const TQuery& chunk) {
    const int asked = ChunkRows(int(rows_.size()));
    for (int r = 0; r < chunk.RowCount(); ++r) {
        std::vector<TValue> row;
        row.reserve(size_t(chunk.ColumnCount()));
        for (int c = 0; c < chunk.ColumnCount(); ++c) row.push_back(chunk.Value(r, c));
        rows_.push_back(std::move(row));
    }
    exhausted_ = chunk.RowCount() < asked;
}
