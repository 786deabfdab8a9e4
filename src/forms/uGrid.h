#pragma once
// The model behind every data grid: an open query whose rows are read a chunk at a time as
// the grid scrolls to them, so that a ledger of any length shows its first screen at once.

#include "data/uDM.h"

#include <QAbstractTableModel>
#include <functional>

class TQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kChunkRows = 256;     // the first screen
    static constexpr int kMaxChunkRows = 4096;

    explicit TQueryModel(TDM& dm, QObject* parent = nullptr);

    // Runs the query (a SELECT without LIMIT) and reads its first chunk; captions are reset
    // to the column names.
    void Open(const QString& sql, const TParams& params = {});
    void Close();
    bool IsOpen() const { return open_; }
    const QString& Sql() const { return sql_; }
    const TParams& Params() const { return params_; }

    int ColumnIndex(const QString& name) const;  // letter case ignored; -1 when absent
    QString ColumnName(int col) const { return names_.value(col); }
    QString Caption(int col) const { return captions_.value(col); }
    void SetCaption(int col, const QString& caption);
    QStringList Captions() const { return captions_; }

    // Values of rows already read (row < rowCount()).
    TValue Value(int row, int col) const;
    TValue Value(int row, const QString& column) const;
    // Reads chunks until the row is loaded or the rows are exhausted; the row index found, or -1.
    int FindRow(const std::function<bool(int row)>& match);

    // Runs the whole query again from its first row, for exports.
    void ForEachRow(const std::function<void(const std::vector<TValue>& row)>& visit) const;

    // How a stored value is shown in a grid cell.
    static QString DisplayText(const TValue& v);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    static int ChunkRows(int offset);
    TQuery ReadChunk(int offset) const;
    void Append(const TQuery& chunk);

    TDM& dm_;
    QString sql_;
    TParams params_;
    bool open_ = false;
    bool exhausted_ = true;
    QStringList names_;
    QStringList captions_;
    std::vector<std::vector<TValue>> rows_;
};
