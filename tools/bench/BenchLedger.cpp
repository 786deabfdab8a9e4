// The intake ledger: its first screen under every status filter and with a keyword, its scroll
// to the last batch and its export walk.

#include "BenchList.h"

#include "data/uDM.h"
#include "workflow/uBatchList.h"

namespace {
const QStringList kStatuses = {QStringLiteral("全部"), QStringLiteral("待烘干"), QStringLiteral("烘干中"),
                               QStringLiteral("在库"), QStringLiteral("待结算"), QStringLiteral("已完结"),
                               QStringLiteral("已作废")};

TListQuery Ledger(const QString& status) {
    return [status](TDM& dm) { return BatchListQuery(dm.Engine(), status, {}); };
}

// Keywords a weigher types: the plate and the farmer of the latest load that came with a plate.
TListQuery LedgerSearch(const char* column) {
    return [column](TDM& dm) {
        const QString keyword = VarToStr(dm.ScalarP(
            QStringLiteral("SELECT %1 FROM T_Batch b LEFT JOIN T_Farmer f ON f.FarmerID=b.FarmerID WHERE b.CarNo<>'' "
                           "ORDER BY b.BatchNo DESC LIMIT 1")
                .arg(QString::fromLatin1(column))));
        return BatchListQuery(dm.Engine(), QStringLiteral("全部"), keyword);
    };
}

const TBenchArea kLedger(10, [] {
    TBenchOps ops;
    for (const QString& status : kStatuses)
        ops.push_back(ListOp("intake ledger, first screen, " + status, TListWalk::FirstScreen, Ledger(status)));
    ops.push_back(ListOp("intake ledger, first screen, keyword: plate", TListWalk::FirstScreen, LedgerSearch("b.CarNo")));
    ops.push_back(ListOp("intake ledger, first screen, keyword: farmer", TListWalk::FirstScreen, LedgerSearch("f.Name")));
    ops.push_back(ListOp("intake ledger, scroll to the end", TListWalk::ScrollToEnd, Ledger(kStatuses[0])));
    ops.push_back(ListOp("intake ledger, export walk", TListWalk::Export, Ledger(kStatuses[0])));
    return ops;
});
}  // namespace
