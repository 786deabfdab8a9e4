// The consistency check that the generated centre and the crash test rely on: records written by
// the real saves pass it, and each kind of damage is named with the record it hit.

#include "WorkflowCase.h"

namespace {
void EndRound(TTestCentre& c, const QString& no, const QString& dry, bool pass) {
    TDryEndLogic logic(c.dm());
    const TOpenRound round = *logic.LoadOpenRound(no);
    TRoundEndInput in = Unloaded(dry);
    in.EndTime = round.StartTime.addSecs(8 * 3600);
    ASSERT_TRUE((pass ? logic.Pass(round, in) : logic.Fail(round, in)).Saved());
}

// The fault lines after a damage that is undone again afterwards.
QStringList FaultsAfter(TTestCentre& c, const QString& damage, const TParams& params = {}) {
    TTransaction tx(c.dm());
    c.dm().ExecSQLP(damage, params);
    return IntegrityFaults(c.dm());
}
}  // namespace

TEST(Integrity, RecordsOfTheRealSavesAgreeAndEachDamageIsNamed) {
    TTestCentre c;
    const QString settled = Dispatched(c), inStore = Dispatched(c), drying = Dispatched(c), waiting = Registered(c),
                  voided = Registered(c);
    EndRound(c, settled, "8800", false);
    EndRound(c, settled, "8600", true);
    EndRound(c, inStore, "8500", true);
    ASSERT_TRUE(TBatchVoidLogic(c.dm()).Void(voided, "登记错误").isEmpty());
    const int dryRow = VarToInt(c.scalar("SELECT StockID FROM T_Stock WHERE BatchNo=:b AND Status='在库'", {{"b", settled}}));
    ASSERT_TRUE(TOutboundLogic(c.dm()).Save({.StockID = dryRow, .OutType = "农户自提", .OutTime = kEnd, .Weight = "8600"}).Saved());
    const QString js = TSettleLogic(c.dm())
                           .Save({.BatchNo = settled, .Items = {"1200", "560", "0", "600", "0"}, .Paid = "2360",
                                  .SettleTime = kEnd.addDays(1)})
                           .SettleNo;
    ASSERT_TRUE(IntegrityFaults(c.dm()).isEmpty()) << qPrintable(IntegrityFaults(c.dm()).join('\n'));

    const struct {
        QString damage, batchNo;
        QStringList faults;
    } damages[] = {
        {"INSERT INTO T_Drying(BatchNo,Round,EquipID,StartTime) VALUES(:b,2,1,'2025-10-09')", drying,
         {"烘干中的批次应恰有一个未结束的轮次：1 个批次，如 " + drying, "返烘日志应比烘干轮次少一条：1 个批次，如 " + drying}},
        {"UPDATE T_Stock SET Status='待烘干' WHERE BatchNo=:b", voided,
         {"作废批次的库存行应全部为已作废：1 个批次，如 " + voided}},
        {"UPDATE T_Settle SET PaidAmt=2000", {},
         {"欠款应为合计减已收，且不为负：1 张结算单，如 " + js, "结算状态应与已收金额相符：1 张结算单，如 " + js}},
        // A pass whose wet row was left live would count the batch's grain twice.
        {"UPDATE T_Stock SET Status='待烘干' WHERE BatchNo=:b AND WhID=1", inStore,
         {"烘干入仓后的批次应有一条干粮行和一条入仓异动，湿粮行已出库：1 个批次，如 " + inStore}},
        // Grain handed out beyond what the dry row holds leaves a batch "在库" with nothing in store.
        {"INSERT INTO T_Outbound(OutNo,BatchNo,OutWt) VALUES('CK20251020002',:b,8500.02)", inStore,
         {"出库不得超过干粮数量 0.01 公斤以上：1 个批次，如 " + inStore,
          "干粮行状态应与结余一致：在库有结余，已出库无结余：1 个批次，如 " + inStore,
          "在库的批次应有结余的干粮且尚未结算：1 个批次，如 " + inStore,
          "干粮出完的批次应为待结算或已完结：1 个批次，如 " + inStore,
          "每张出库单应恰有一条出库日志：1 张出库单，如 CK20251020002"}},
    };
    for (const auto& d : damages)
        EXPECT_EQ(FaultsAfter(c, d.damage, d.batchNo.isEmpty() ? TParams{} : TParams{{"b", d.batchNo}}), d.faults)
            << qPrintable(d.damage);

    EXPECT_TRUE(IntegrityFaults(c.dm()).isEmpty()) << "every damage was undone";
}
