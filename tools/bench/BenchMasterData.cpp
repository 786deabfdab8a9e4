// The nine master-data lists, and the longest of them, the dryer running records, scrolled to
// its end and walked for an export.

#include "BenchList.h"

#include "data/uDM.h"
#include "forms/uDefs.h"

namespace {
TListQuery MasterList(TCrudDef (*def)()) {
    return [def](TDM& dm) { return BuildListSql(dm.Engine(), def(), {}); };
}

const TBenchArea kMasterData(30, [] {
    TBenchOps ops;
    for (TCrudDef (*def)() : {DefGrain, DefFeeStd, DefWh, DefEquip, DefOperator, DefFarmer, DefUser, DefEquipRun,
                              DefEquipMaint})
        ops.push_back(ListOp("master data, first screen, " + def().Title, TListWalk::FirstScreen, MasterList(def)));
    ops.push_back(ListOp("running records, scroll to the end", TListWalk::ScrollToEnd, MasterList(DefEquipRun)));
    ops.push_back(ListOp("running records, export walk", TListWalk::Export, MasterList(DefEquipRun)));
    return ops;
});
}  // namespace
