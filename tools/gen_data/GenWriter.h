#pragma once
// The generator's one way into the database: a prepared insert per table, bound afresh for
// every row, inside transactions of many thousand rows.

#include "GenClock.h"

#include "data/uDM.h"

#include <array>
#include <memory>

enum class TGenTable { Batch, Drying, Stock, Move, Outbound, Settle, EquipRun, EquipMaint, Log, Photo, Count_ };

class TGenWriter {
public:
    explicit TGenWriter(TDM& dm);

    void Insert(TGenTable table, const TParams& params);
    void Log(TStamp at, const QString& user, const QString& action, const QString& table, const QString& refNo,
             const QString& detail);
    qint64 LastId() const { return dm_.LastInsertId(); }

    // Commits what was written so far once enough rows wait, and opens the next transaction.
    void MaybeCommit();
    void Finish();

private:
    TDM& dm_;
    std::array<std::unique_ptr<TStatement>, size_t(TGenTable::Count_)> inserts_;
    qint64 pending_ = 0;
};

// A stored date-time bound as the data module stores it.
inline TValue At(TStamp t) { return StampText(t); }
