// The stock window (live stock, movement journal, warnings) and the outbound windows (the
// dialog's stock list, the ledger under its filters, the outbound save).

#include "BenchList.h"

#include "data/uDM.h"
#include "workflow/uBatch.h"
#include "workflow/uOutbound.h"
#include "workflow/uStock.h"

namespace {
// The day the centre's records end, so that date filters find the file's own recent weeks.
QDate LastOutboundDay(TDM& dm) {
    const QDate last = dm.ScalarP("SELECT MAX(OutTime) FROM T_Outbound").AsDateTime().date();
    return last.isValid() ? last : QDate::currentDate();
}

TSqlText LedgerBetween(TDM& dm, const QDate& from, const QDate& to) {
    return OutListQuery(dm.Engine(), std::make_pair(from, to), QStringLiteral("全部"), {});
}

class TWarningsOp : public TBenchOp {
public:
    TWarningsOp() : TBenchOp("stock warnings text") {}
    qint64 Run(TBenchEnv& env, int) override { return TStockWarnLogic(env.Dm).Lines(QDate::currentDate()).size(); }
};

// A 30 t load into the first wet position, as the registration asks before saving it.
class TCapacityQuestionOp : public TBenchOp {
public:
    TCapacityQuestionOp() : TBenchOp("registration, wet position capacity question") {}
    qint64 Run(TBenchEnv& env, int) override {
        TBatchInput in;
        in.WhID = 1;
        in.WetNetWt = QStringLiteral("30000");
        return TBatchLogic(env.Dm).CapacityQuestion(in).size();
    }
};

class TStockChoicesOp : public TBenchOp {
public:
    TStockChoicesOp() : TBenchOp("outbound dialog, stock list") {}
    qint64 Run(TBenchEnv& env, int) override { return TOutboundLogic(env.Dm).Choices().size(); }
};

// Each run hands 100 kg out of its own row in store.
class TOutboundSave : public TBenchOp {
public:
    TOutboundSave() : TBenchOp("outbound save") {}
    void Prepare(TBenchEnv& env) override {
        for (const TStockChoice& c : TOutboundLogic(env.Dm).Choices())
            if (c.Remaining > 100 && int(rows_.size()) < env.Runs) rows_.push_back(c.StockID);
        if (int(rows_.size()) < env.Runs) throw TDbError(QStringLiteral("not enough grain in store to hand out"));
    }
    qint64 Run(TBenchEnv& env, int run) override {
        TOutboundInput in;
        in.StockID = rows_[size_t(run)];
        in.OutType = QStringLiteral("农户自提");
        in.OutTime = QDateTime::currentDateTime();
        in.Weight = QStringLiteral("100");
        in.Destination = QStringLiteral("县粮库");
        const TOutboundResult r = TOutboundLogic(env.Dm).Save(in);
        if (!r.Saved()) throw TDbError(r.Refusal);
        return 1;
    }

private:
    std::vector<int> rows_;
};

const TBenchArea kStock(25, [] {
    TBenchOps ops;
    ops.push_back(ListOp("live stock, first screen, 只看有结余", TListWalk::FirstScreen,
                         [](TDM& dm) { return LiveStockQuery(dm.Engine(), 0, {}, true); }));
    ops.push_back(ListOp("live stock, first screen, every row", TListWalk::FirstScreen,
                         [](TDM& dm) { return LiveStockQuery(dm.Engine(), 0, {}, false); }));
    ops.push_back(ListOp("live stock, fullest position, 只看有结余", TListWalk::FirstScreen, [](TDM& dm) {
        return LiveStockQuery(dm.Engine(), VarToInt(dm.ScalarP("SELECT WhID FROM T_Stock WHERE Status='在库' GROUP BY WhID "
                                                  "ORDER BY COUNT(*) DESC LIMIT 1")),
                              {}, true);
    }));
    ops.push_back(ListOp("live stock, scroll to end, 只看有结余", TListWalk::ScrollToEnd,
                         [](TDM& dm) { return LiveStockQuery(dm.Engine(), 0, {}, true); }));
    ops.push_back(ListOp("stock movements, first screen", TListWalk::FirstScreen,
                         [](TDM& dm) { return StockMoveQuery(dm.Engine(), {}); }));
    ops.push_back(std::make_unique<TWarningsOp>());
    ops.push_back(std::make_unique<TStockChoicesOp>());
    ops.push_back(std::make_unique<TCapacityQuestionOp>());
    ops.push_back(ListOp("outbound ledger, first screen", TListWalk::FirstScreen,
                         [](TDM& dm) { return OutListQuery(dm.Engine(), std::nullopt, QStringLiteral("全部"), {}); }));
    ops.push_back(ListOp("outbound ledger, last month", TListWalk::FirstScreen, [](TDM& dm) {
        const QDate last = LastOutboundDay(dm);
        return LedgerBetween(dm, last.addMonths(-1), last);
    }));
    ops.push_back(ListOp("outbound ledger, a month nine years back", TListWalk::FirstScreen, [](TDM& dm) {
        const QDate last = LastOutboundDay(dm);
        return LedgerBetween(dm, last.addYears(-9), last.addYears(-9).addMonths(1));
    }));
    ops.push_back(ListOp("outbound ledger, ten years", TListWalk::FirstScreen, [](TDM& dm) {
        const QDate last = LastOutboundDay(dm);
        return LedgerBetween(dm, last.addYears(-10), last);
    }));
    ops.push_back(ListOp("outbound ledger, a farmer's name", TListWalk::FirstScreen, [](TDM& dm) {
        return OutListQuery(dm.Engine(), std::nullopt, QStringLiteral("全部"),
                            VarToStr(dm.ScalarP("SELECT Name FROM T_Farmer ORDER BY FarmerID DESC LIMIT 1")));
    }));
    ops.push_back(ListOp("outbound ledger, export", TListWalk::Export,
                         [](TDM& dm) { return OutListQuery(dm.Engine(), std::nullopt, QStringLiteral("全部"), {}); }));
    return ops;
});

const TBenchArea kOutboundSave(91, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TOutboundSave>());
    return ops;
});
}  // namespace
