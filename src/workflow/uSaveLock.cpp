#include "workflow/uSaveLock.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

TLockedBatch LockBatch(TDM& dm, const QString& batchNo) {
    const TQuery q = dm.OpenSQLP("SELECT Status,FarmerID FROM T_Batch WHERE BatchNo=:b" + SqlForUpdate(dm.Engine()),
                                 {{"b", batchNo}});
    TLockedBatch batch;
    if (q.IsEmpty()) return batch;
    batch.Exists = true;
    batch.Status = VarToStr(q.Field("Status"));
    batch.FarmerID = VarToInt(q.Field("FarmerID"));
    return batch;
}

bool LockReferencedRow(TDM& dm, const QString& table, const QString& keyField, int id) {
    return !dm.OpenSQLP("SELECT " + keyField + " FROM " + table + " WHERE " + keyField + "=:i" +
                            SqlForKeyShare(dm.Engine()),
                        {{"i", id}})
                .IsEmpty();
}
