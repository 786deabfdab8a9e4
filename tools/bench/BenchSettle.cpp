// Fees and settlement: the fee figures of a batch, the settlement ledger's first screen under
// every filter and with keywords, the settlement dialog opening, and its saves and void.

#include "BenchList.h"

#include "data/uDM.h"
#include "workflow/uFee.h"
#include "workflow/uSettle.h"
#include "workflow/uSettleList.h"

namespace {
const QStringList kFilters = {QStringLiteral("全部"), QStringLiteral("未结算"), QStringLiteral("挂账"),
                              QStringLiteral("部分欠款"), QStringLiteral("已结清")};

void Require(const QString& refusal) {
    if (!refusal.isEmpty()) throw TDbError(refusal);
}

QString Latest(TDM& dm, const QString& sql) { return VarToStr(dm.ScalarP(sql + " ORDER BY 1 DESC LIMIT 1")); }

// Batches finance may settle and has not: the newest first.
QStringList Unsettled(TDM& dm, int count) {
    const TQuery q = dm.OpenSQLP("SELECT b.BatchNo FROM T_Batch b WHERE b.Status IN ('在库','待结算') AND NOT EXISTS "
                                 "(SELECT 1 FROM T_Settle s WHERE s.BatchNo=b.BatchNo) ORDER BY b.BatchNo DESC LIMIT :n",
                                 {{"n", count}});
    QStringList batches;
    for (int r = 0; r < q.RowCount(); ++r) batches << VarToStr(q.Value(r, 0));
    if (batches.size() < count) throw TDbError(QStringLiteral("not enough unsettled batches to settle"));
    return batches;
}

// The dialog's boxes as it fills them for the batch now.
TSettleInput AsOpened(TDM& dm, const QString& batchNo, const QString& paid) {
    const TFeeFigures f = CalcFees(dm, batchNo, QDateTime::currentDateTime());
    return {batchNo,
            {},
            {FmtMoney(f.BaseFee), FmtMoney(f.MoistureExtra), FmtMoney(f.StorageAmt), FmtMoney(f.ReDryFee),
             FmtMoney(f.OtherFee)},
            paid,
            QDateTime::currentDateTime(),
            {},
            f.OverDays};
}

class TCalcFees : public TBenchOp {
public:
    TCalcFees() : TBenchOp("fee figures of a batch (CalcFees)") {}
    void Prepare(TBenchEnv& env) override {
        batch_ = Latest(env.Dm, "SELECT BatchNo FROM T_Settle WHERE Status='已结清'");
    }
    qint64 Run(TBenchEnv& env, int) override {
        return CalcFees(env.Dm, batch_, QDateTime::currentDateTime()).Rounds;
    }

private:
    QString batch_;
};

class TDialogOpen : public TBenchOp {
public:
    explicit TDialogOpen(bool edit)
        : TBenchOp(edit ? "settlement dialog opens, an existing settlement" : "settlement dialog opens, a new one"),
          edit_(edit) {}
    void Prepare(TBenchEnv& env) override {
        if (edit_) {
            settleNo_ = Latest(env.Dm, "SELECT SettleNo FROM T_Settle");
            batch_ = VarToStr(env.Dm.ScalarP("SELECT BatchNo FROM T_Settle WHERE SettleNo=:n", {{"n", settleNo_}}));
        } else {
            batch_ = Unsettled(env.Dm, 1).first();
        }
    }
    qint64 Run(TBenchEnv& env, int) override {
        const TfrmSettleEdit dlg(env.Dm, batch_, settleNo_);
        return dlg.IsLoaded() ? 1 : 0;
    }

private:
    bool edit_;
    QString batch_, settleNo_;
};

// A new settlement paid in part, the rest paid on it later, and a void of the result, each run on
// a batch of its own.
class TSettleSave : public TBenchOp {
public:
    enum TStep { New, Repay, Void };
    explicit TSettleSave(TStep step)
        : TBenchOp(step == New     ? "settlement save, new (paid in part)"
                   : step == Repay ? "settlement save, the rest paid"
                                   : "settlement void"),
          step_(step) {}
    void Prepare(TBenchEnv& env) override {
        for (const QString& batch : Unsettled(env.Dm, env.Runs)) {
            TSettleInput in = AsOpened(env.Dm, batch, QStringLiteral("100"));
            if (step_ != New) {
                const TSettleResult r = TSettleLogic(env.Dm).Save(in);
                Require(r.Refusal);
                in.SettleNo = r.SettleNo;
                // The rest is what the cashier types: the total less the 100 received before.
                in.Paid = FmtMoney(SettleTotals(ReadSettleAmounts(in)).Total - 100);
                in.EarlierPaid = 100;
            }
            inputs_.push_back(in);
        }
    }
    qint64 Run(TBenchEnv& env, int run) override {
        const TSettleInput& in = inputs_[size_t(run)];
        Require(step_ == Void ? TSettleVoidLogic(env.Dm).Void(in.SettleNo) : TSettleLogic(env.Dm).Save(in).Refusal);
        return 1;
    }

private:
    TStep step_;
    std::vector<TSettleInput> inputs_;
};

// What finance types into the keyword box: the farmer and the number of the newest settled
// batch, and a name that is nowhere in the file.
TListQuery Search(const QString& filter, const char* what) {
    return [filter, what](TDM& dm) {
        const QString w = QString::fromLatin1(what);
        QString keyword = QStringLiteral("查无此人");
        if (w == "farmer")
            keyword = Latest(dm, "SELECT f.Name FROM T_Settle s JOIN T_Batch b ON b.BatchNo=s.BatchNo JOIN T_Farmer f "
                                 "ON f.FarmerID=b.FarmerID WHERE s.SettleNo=(SELECT MAX(SettleNo) FROM T_Settle)");
        if (w == "number") keyword = Latest(dm, "SELECT BatchNo FROM T_Settle").right(6);
        return SettleListQuery(dm.Engine(), filter, keyword);
    };
}

const TBenchArea kSettleLists(50, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TCalcFees>());
    for (const QString& filter : kFilters) {
        ops.push_back(ListOp("settlement ledger, first screen, " + filter, TListWalk::FirstScreen,
                             [filter](TDM& dm) { return SettleListQuery(dm.Engine(), filter, {}); }));
        for (const char* what : {"farmer", "number", "nowhere"})
            ops.push_back(ListOp("settlement ledger, first screen, " + filter + ", keyword: " + what,
                                 TListWalk::FirstScreen, Search(filter, what)));
    }
    ops.push_back(std::make_unique<TDialogOpen>(false));
    ops.push_back(std::make_unique<TDialogOpen>(true));
    return ops;
});

const TBenchArea kSettleSaves(95, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TSettleSave>(TSettleSave::New));
    ops.push_back(std::make_unique<TSettleSave>(TSettleSave::Repay));
    ops.push_back(std::make_unique<TSettleSave>(TSettleSave::Void));
    return ops;
});
}  // namespace
