// What keeps stations from undoing each other's work and keeps passwords unreadable costs each
// save or login something: an intake correction read and saved as its dialog does (the row read
// again under its lock and compared), and a login checking the slow password hash.

#include "BenchOp.h"

#include "app/uLogin.h"
#include "data/uDM.h"
#include "workflow/uBatch.h"

namespace {
class TCorrectionSave : public TBenchOp {
public:
    TCorrectionSave() : TBenchOp("intake correction save (row compared as read)") {}
    void Prepare(TBenchEnv& env) override {
        const TQuery q = env.Dm.OpenSQLP("SELECT BatchNo FROM T_Batch WHERE Status=:s ORDER BY BatchNo DESC LIMIT :n",
                                         {{"s", kStatusWaiting}, {"n", env.Runs}});
        for (int r = 0; r < q.RowCount(); ++r) batches_ << VarToStr(q.Value(r, 0));
        if (!batches_.isEmpty()) return;
        // None waiting: the latest load registered again gives one.
        TBatchLogic logic(env.Dm);
        TBatchInput in = logic.Load(VarToStr(env.Dm.ScalarP("SELECT MAX(BatchNo) FROM T_Batch")))->Input;
        in.BatchNo.clear();
        in.Read = {};
        const TBatchSaveResult r = logic.Save(in);
        if (!r.Saved()) throw TDbError(r.Refusal);
        batches_ << r.BatchNo;
    }
    void BeforeRun(TBenchEnv& env, int run) override {
        in_ = TBatchLogic(env.Dm).Load(batches_[run % batches_.size()])->Input;
        in_.QualityMemo = QStringLiteral("复核 %1").arg(run);
    }
    qint64 Run(TBenchEnv& env, int) override {
        const TBatchSaveResult r = TBatchLogic(env.Dm).Save(in_);
        if (!r.Saved()) throw TDbError(r.Refusal);
        return 1;
    }

private:
    QStringList batches_;
    TBatchInput in_;
};

class TLoginCheck : public TBenchOp {
public:
    TLoginCheck() : TBenchOp("login (password hash checked)") {}
    qint64 Run(TBenchEnv& env, int) override {
        // The starting administrator's password, as a new database keeps it.
        TLoginLogic(env.Dm).Check("admin", "846");
        return 1;
    }
};

const TBenchArea kTrust(96, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TCorrectionSave>());
    ops.push_back(std::make_unique<TLoginCheck>());
    return ops;
});
}  // namespace
