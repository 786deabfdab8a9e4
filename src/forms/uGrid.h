#pragma once
// The model behind every data grid: an open query whose rows are read a chunk at a time as
// the grid scrolls to them, so that a ledger of any length shows its first screen at once.

#include "data/uDM.h"

#include <QAbstractTableModel>
#include <functional>
#include <string>

class TQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kChunkRows = 256;     // the first screen
    static constexpr int kMaxChunkRows = 4096;

    explicit TQueryModel(TDM& dm, QObject* parent = nullptr);

    // Runs the query (a SELECT without LIMIT) and reads its first chunk; captions are reset
    // to the column names. A listing with an order reads each further chunk after the last
    // row held, through the order's index; one without re-reads the rows it skips.
    void Open(const TSqlText& query);
    void Open(const QString& sql, const TParams& params = {});
    void Close();
    bool IsOpen() const { return open_; }
    const QString& Sql() const { return query_.Sql; }
    const TParams& Params() const { return query_.Params; }

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

    // The statement that reads a listing's first screen.
    static TSqlText FirstChunk(TDbEngine engine, const TSqlText& query);

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
    struct TSortKey {
        QString Column;
        bool Descending = false;
        bool NullsAfterValues = false;
        int Index = -1;  // in the result, known once the first chunk is read
    };

    static int ChunkRows(int offset);
    TSqlText ChunkQuery() const;
    QString AfterLastRow(TParams& params) const;
    void ReadChunk();
    void ClearRows();
    TValue Cell(int row, int col) const;

    TDM& dm_;
    TSqlText query_;
    std::vector<TSortKey> keys_;
    bool open_ = false;
    bool exhausted_ = true;
    QStringList names_;
    QStringList captions_;
    // The rows read so far, packed: one block of bytes per chunk and where each row starts.
    // A ten-year ledger held as tagged values would take several times the memory.
    std::vector<std::string> blocks_;
    std::vector<std::pair<quint32, quint32>> rowStart_;  // block, offset
};
