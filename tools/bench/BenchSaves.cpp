// The saves of the intake and drying windows, each on loads of its own registered for it.

#include "BenchOp.h"

#include "data/uDM.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"

namespace {
int FirstId(TDM& dm, const QString& sql, const TParams& params = {}) { return VarToInt(dm.ScalarP(sql, params)); }

int WetPosition(TDM& dm) {
    return FirstId(dm, "SELECT MIN(WhID) FROM T_Wh WHERE WhType=:t", {{"t", QStringLiteral("湿粮区")}});
}

TBatchInput Load(TDM& dm) {
    TBatchInput in;
    in.RegTime = QDateTime::currentDateTime();
    in.CarNo = QStringLiteral("皖A12345");
    in.FarmerID = FirstId(dm, "SELECT MAX(FarmerID) FROM T_Farmer");
    in.GrainID = FirstId(dm, "SELECT MIN(GrainID) FROM T_FeeStd");
    in.OpID = FirstId(dm, "SELECT MIN(OpID) FROM T_Operator WHERE Post=:p", {{"p", QStringLiteral("司磅员")}});
    in.WhID = WetPosition(dm);
    in.Team = QStringLiteral("早班");
    in.TargetMoisture = QStringLiteral("14.5");
    in.InMoisture = QStringLiteral("24.5");
    in.Impurity = QStringLiteral("1");
    in.GrossWt = QStringLiteral("30000");
    in.TareWt = QStringLiteral("10000");
    in.WetNetWt = QStringLiteral("20000");
    in.EstFee = QStringLiteral("2400.00");
    return in;
}

void Require(bool saved, const QString& refusal) {
    if (!saved) throw TDbError(refusal);
}

QString Register(TDM& dm) {
    const TBatchSaveResult r = TBatchLogic(dm).Save(Load(dm));
    Require(r.Saved(), r.Refusal);
    return r.BatchNo;
}

TDispatchInput Dispatch(TDM& dm, const QString& batchNo) {
    return {batchNo,
            FirstId(dm, "SELECT MIN(EquipID) FROM T_Equip WHERE Status<>:s", {{"s", QStringLiteral("停用")}}),
            WetPosition(dm),
            QDateTime::currentDateTime().addSecs(-8 * 3600),
            FirstId(dm, "SELECT MIN(OpID) FROM T_Operator WHERE Post=:p", {{"p", QStringLiteral("操作工")}}),
            QStringLiteral("14.5"),
            QStringLiteral("60"),
            QStringLiteral("中档")};
}

class TIntakeSave : public TBenchOp {
public:
    TIntakeSave() : TBenchOp("intake save") {}
    void Prepare(TBenchEnv& env) override { in_ = Load(env.Dm); }
    qint64 Run(TBenchEnv& env, int) override {
        const TBatchSaveResult r = TBatchLogic(env.Dm).Save(in_);
        Require(r.Saved(), r.Refusal);
        return 1;
    }

private:
    TBatchInput in_;
};

class TDispatchSave : public TBenchOp {
public:
    TDispatchSave() : TBenchOp("dispatch") {}
    void Prepare(TBenchEnv& env) override {
        for (int i = 0; i < env.Runs; ++i) inputs_.push_back(Dispatch(env.Dm, Register(env.Dm)));
    }
    qint64 Run(TBenchEnv& env, int run) override {
        const TDispatchResult r = TDispatchLogic(env.Dm).Save(inputs_[size_t(run)]);
        Require(r.Saved(), r.Refusal);
        return 1;
    }

private:
    std::vector<TDispatchInput> inputs_;
};

class TPassSave : public TBenchOp {
public:
    TPassSave() : TBenchOp("pass (round ends, grain into store)") {}
    void Prepare(TBenchEnv& env) override {
        for (int i = 0; i < env.Runs; ++i) {
            const TDispatchInput in = Dispatch(env.Dm, Register(env.Dm));
            const TDispatchResult r = TDispatchLogic(env.Dm).Save(in);
            Require(r.Saved(), r.Refusal);
            batches_.push_back(in.BatchNo);
        }
        dryWh_ = FirstId(env.Dm, "SELECT MIN(WhID) FROM T_Wh WHERE WhType=:t", {{"t", QStringLiteral("干粮区")}});
    }
    void BeforeRun(TBenchEnv& env, int run) override {
        round_ = *TDryEndLogic(env.Dm).LoadOpenRound(batches_[size_t(run)]);
    }
    qint64 Run(TBenchEnv& env, int) override {
        const TRoundEndInput in{QDateTime::currentDateTime(),
                                QStringLiteral("14.3"),
                                QStringLiteral("17600"),
                                QStringLiteral("8.0"),
                                QStringLiteral("2400"),
                                QStringLiteral("12.00"),
                                {},
                                dryWh_};
        const TRoundEndResult r = TDryEndLogic(env.Dm).Pass(round_, in);
        Require(r.Saved(), r.Refusal);
        return 1;
    }

private:
    std::vector<QString> batches_;
    int dryWh_ = 0;
    TOpenRound round_;
};

const TBenchArea kSaves(90, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TIntakeSave>());
    ops.push_back(std::make_unique<TDispatchSave>());
    ops.push_back(std::make_unique<TPassSave>());
    return ops;
});
}  // namespace
