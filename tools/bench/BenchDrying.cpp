// The drying job window: the batch queue under each view, the rounds of a re-dried batch and the
// dispatch's look at what the dryer is drying already.

#include "BenchList.h"

#include "data/uDM.h"
#include "workflow/uDrying.h"

namespace {
class TBusyDryerOp : public TBenchOp {
public:
    TBusyDryerOp() : TBenchOp("dispatch, is the dryer busy") {}
    qint64 Run(TBenchEnv& env, int) override {
        TDispatchInput in;
        in.EquipID = 1;
        return TDispatchLogic(env.Dm).BusyQuestion(in).size();
    }
};

const TBenchArea kDrying(20, [] {
    const std::pair<TDryingView, const char*> views[] = {{TDryingView::Queue, "作业队列"},
                                                          {TDryingView::WaitingOnly, "仅待烘干"},
                                                          {TDryingView::DryingOnly, "仅烘干中"},
                                                          {TDryingView::All, "全部批次"}};
    TBenchOps ops;
    for (const auto& [view, caption] : views)
        ops.push_back(ListOp(QStringLiteral("drying queue, first screen, ") + QString::fromUtf8(caption),
                             TListWalk::FirstScreen, [view](TDM&) { return DryingListQuery(view); }));
    ops.push_back(ListOp("drying rounds of a re-dried batch", TListWalk::FirstScreen, [](TDM& dm) {
        return DryingRoundsQuery(
            VarToStr(dm.ScalarP("SELECT BatchNo FROM T_Drying WHERE Round>1 ORDER BY DryID DESC LIMIT 1")));
    }));
    ops.push_back(std::make_unique<TBusyDryerOp>());
    return ops;
});
}  // namespace
