#pragma once
// Moving a centre's data between engines: every table of the schema, row by row, keys kept.

#include <QString>
#include <QStringList>
#include <functional>

class TDM;

// Called after each table with its name and the rows copied.
using TCopyProgress = std::function<void(const QString& table, qint64 rows)>;

// Reads of one database that all see it as it was at the first read, while other stations go
// on saving; ended (nothing was written) when it goes out of scope.
class TReadSnapshot {
public:
    explicit TReadSnapshot(TDM& dm);
    ~TReadSnapshot();
    TReadSnapshot(const TReadSnapshot&) = delete;
    TReadSnapshot& operator=(const TReadSnapshot&) = delete;

private:
    TDM& dm_;
    bool own_ = false;
};

// Copies every table of the schema from `from` into `to`, whose tables exist and are empty,
// in one transaction of `to`: it ends with every row or with none. A server's key counters
// are moved past the copied keys, so the next saved row gets a new one. Hold a TReadSnapshot
// of `from` while other stations may be saving.
void CopyTables(TDM& from, TDM& to, const TCopyProgress& progress = {});

// Table by table and row by row in key order: one line per difference (at most `limit`),
// empty when both hold the same rows.
QStringList CompareTables(TDM& a, TDM& b, int limit = 20);

// The server's data as a new database file at targetPath, made complete and checked, or not at
// all; raises TDbError with the reason.
void CopyIntoNewFile(TDM& from, const QString& targetPath);
