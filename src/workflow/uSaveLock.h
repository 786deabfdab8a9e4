#pragma once
// Stations sharing a database server save at the same moment. A save therefore reads the rows its
// decision rests on with those rows locked (SqlForUpdate), inside its transaction and before it
// decides: another station's save on the same rows waits until this one has committed or rolled
// back, and then decides on what this one left. On the embedded file the transaction already
// admits one writer at a time, and these reads lock nothing more.
//
// A save that refers to master rows reads them with SqlForKeyShare after the rows above: other
// saves referring to them go on, while a deletion of one waits, and then finds the reference.
//
// Every save locks in the same order, so that two saves never wait for each other in a circle:
// the batch row first; then the batch's stock rows, its round, its settlement or the dryer; a
// document number (TDM::NextNo, a counter row on the server) last, once the save has decided.

#include <QString>

class TDM;

struct TLockedBatch {
    bool Exists = false;
    QString Status;
    int FarmerID = 0;
};

// The batch as it is now, its row locked until the save's transaction ends.
TLockedBatch LockBatch(TDM& dm, const QString& batchNo);

// A master row (farmer, grain, position, dryer, operator) a save is about to refer to, kept from
// deletion until the save ends; false when it was deleted meanwhile.
bool LockReferencedRow(TDM& dm, const QString& table, const QString& keyField, int id);
