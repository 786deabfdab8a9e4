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

// What an outbound that empties the batch and a settlement in full write.
void HandOutAndSettle(TTestCentre& c, const QString& no, double wt) {
    TDM& dm = c.dm();
    dm.ExecSQLP("INSERT INTO T_Outbound(OutNo,OutType,BatchNo,OutWt,OutTime) VALUES('CK20251020001','农户自提',:b,:w,"
                "'2025-10-20 09:00:00')",
                {{"b", no}, {"w", wt}});
    dm.ExecSQLP("INSERT INTO T_StockMove(BatchNo,WhID,MoveType,Qty,MoveTime) VALUES(:b,2,'出仓',:w,"
                "'2025-10-20 09:00:00')",
                {{"b", no}, {"w", wt}});
    dm.ExecSQLP("UPDATE T_Stock SET Status='已出库' WHERE BatchNo=:b AND Status='在库'", {{"b", no}});
    dm.ExecSQLP("UPDATE T_Batch SET Status='待结算' WHERE BatchNo=:b", {{"b", no}});
    dm.WriteLog("出库", "T_Outbound", "CK20251020001", {});
    dm.ExecSQLP("INSERT INTO T_Settle(SettleNo,BatchNo,BaseFee,MoistureExtra,StorageFee,ReDryFee,OtherFee,TotalFee,"
                "PaidAmt,DebtAmt,Status) VALUES('JS20251021001',:b,1200,560,0,600,0,2360,2360,0,'已结清')",
                {{"b", no}});
    dm.ExecSQLP("UPDATE T_Batch SET Status='已完结' WHERE BatchNo=:b", {{"b", no}});
    dm.WriteLog("结算", "T_Settle", "JS20251021001", {});
}

// The fault lines after a damage that is undone again afterwards.
QStringList FaultsAfter(TTestCentre& c, const QString& damage, const TParams& params = {}) {
    TTransaction tx(c.dm());
    // Only someone working on the database outside the program, past the log's guard, could do this.
    if (damage.contains("T_Log"))
        c.dm().ExecSQLP(c.dm().Engine() == TDbEngine::PostgreSQL ? "DROP TRIGGER trg_log_kept ON T_Log"
                                                                  : "DROP TRIGGER trg_log_kept_delete");
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
    HandOutAndSettle(c, settled, 8600);
    ASSERT_TRUE(IntegrityFaults(c.dm()).isEmpty()) << qPrintable(IntegrityFaults(c.dm()).join('\n'));

    const struct {
        QString damage, batchNo;
        QStringList faults;
    } damages[] = {
        {"DELETE FROM T_Log WHERE ActType='收粮登记' AND RefNo=:b", waiting,
         {"每个批次应恰有一条收粮登记日志：1 个批次，如 " + waiting}},
        {"INSERT INTO T_Drying(BatchNo,Round,EquipID,StartTime) VALUES(:b,2,1,'2025-10-09')", drying,
         {"烘干中的批次应恰有一个未结束的轮次：1 个批次，如 " + drying, "返烘日志应比烘干轮次少一条：1 个批次，如 " + drying}},
        {"UPDATE T_Stock SET Status='待烘干' WHERE BatchNo=:b", voided,
         {"作废批次的库存行应全部为已作废：1 个批次，如 " + voided}},
        {"UPDATE T_Settle SET PaidAmt=2000", {},
         {"欠款应为合计减已收，且不为负：1 张结算单，如 JS20251021001", "结算状态应与已收金额相符：1 张结算单，如 JS20251021001"}},
        {"UPDATE T_Settle SET OtherFee=50", {}, {"结算合计应等于五项费用之和：1 张结算单，如 JS20251021001"}},
        // A pass whose wet row was left live would count the batch's grain twice.
        {"UPDATE T_Stock SET Status='待烘干' WHERE BatchNo=:b AND WhID=1", inStore,
         {"烘干入仓后的批次应有一条干粮行和一条入仓异动，湿粮行已出库：1 个批次，如 " + inStore}},
        {"UPDATE T_Batch SET Status='在库' WHERE BatchNo=:b", settled,
         {"在库的批次应有结余的干粮且尚未结算：1 个批次，如 " + settled, "干粮出完的批次应为待结算或已完结：1 个批次，如 " + settled,
          "有结算单的批次应为待结算或已完结：1 个批次，如 " + settled}},
    };
    for (const auto& d : damages)
        EXPECT_EQ(FaultsAfter(c, d.damage, d.batchNo.isEmpty() ? TParams{} : TParams{{"b", d.batchNo}}), d.faults)
            << qPrintable(d.damage);

    // Grain handed out beyond what the dry row holds leaves a batch "在库" with nothing in store.
    const QStringList overdrawn =
        FaultsAfter(c, "INSERT INTO T_Outbound(OutNo,BatchNo,OutWt) VALUES('CK20251020002',:b,8500.02)", {{"b", inStore}});
    for (const QString& rule : {QStringLiteral("出库不得超过干粮数量 0.01 公斤以上"),
                                QStringLiteral("干粮行状态应与结余一致：在库有结余，已出库无结余"),
                                QStringLiteral("在库的批次应有结余的干粮且尚未结算"),
                                QStringLiteral("干粮出完的批次应为待结算或已完结"),
                                QStringLiteral("每张出库单应恰有一条出库日志")})
        EXPECT_TRUE(overdrawn.contains(rule + "：1 个批次，如 " + inStore) ||
                    overdrawn.contains(rule + "：1 张出库单，如 CK20251020002"))
            << qPrintable(rule) << "\n" << qPrintable(overdrawn.join('\n'));

    EXPECT_TRUE(IntegrityFaults(c.dm()).isEmpty()) << "every damage was undone";
}
