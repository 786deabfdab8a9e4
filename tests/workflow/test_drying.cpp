#include "WorkflowCase.h"
#include "support/TestPrompter.h"
#include "workflow/uBatchList.h"

#include <QComboBox>
#include <QTableView>

namespace {
TOpenRound OpenRound(TTestCentre& c, const QString& batchNo) {
    const std::optional<TOpenRound> r = TDryEndLogic(c.dm()).LoadOpenRound(batchNo);
    EXPECT_TRUE(r.has_value());
    return r.value_or(TOpenRound{});
}
}  // namespace

TEST(Dispatch, OpensRoundOneOnceAndRefusesStoppedDryersAndVoidedBatches) {
    TTestCentre c(Roles::Operator);
    const QString no = Registered(c);
    TDispatchLogic logic(c.dm());
    TDispatchInput in = Dispatch(no);
    in.EquipID = in.WhInID = 0;
    EXPECT_EQ(logic.Save(in).Refusal, "请选择烘干机");
    in.EquipID = c.addEquip("HG-009", "停用");
    EXPECT_EQ(logic.Save(in).Refusal, "请选择湿粮仓位");
    in.WhInID = 1;
    EXPECT_EQ(logic.Save(in).Refusal, "该烘干机已停用，不能派工");
    EXPECT_EQ(c.count("T_Drying"), 0);

    in.EquipID = c.addEquip("HG-002", "维修");
    in.TargetMoisture = "0";
    ASSERT_TRUE(logic.Save(in).Saved()) << "only a stopped dryer is refused";
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status,TargetMoisture IS NULL"), "烘干中/1");
    EXPECT_EQ(c.batchRows("T_Drying", no, "Round,EquipID,StartTime,OpID,FanGear,DryTemp,EndTime IS NULL"),
              QString("1/%1/2025-03-05 08:00:00/2/中档/60/1").arg(in.EquipID));
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机"}));
    EXPECT_EQ(logic.Save(in).Refusal, "只有【待烘干】状态的批次才能派工上机") << "dispatched from a stale queue";

    const TOpenRound round = OpenRound(c, no);
    TDryEndLogic end(c.dm());
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(no, "客户取消"), "");
    EXPECT_EQ(end.Pass(round, Unloaded()).Refusal, "该批次已作废，不能结束烘干轮次");
    EXPECT_EQ(end.Fail(round, Unloaded()).Refusal, "该批次已作废，不能结束烘干轮次");

    const QString voided = Registered(c);
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(voided, "登记错误"), "");
    EXPECT_EQ(logic.Save(Dispatch(voided)).Refusal, "只有【待烘干】状态的批次才能派工上机");
    EXPECT_EQ(c.count("T_Drying"), 1);
}

TEST(DryingWindow, ViewsListTheQueueAndRolesAreRefused) {
    TTestCentre c(Roles::Operator);
    TTestPrompter prompter;
    const QString waiting = Registered(c);
    const QString drying = Dispatched(c);
    const QString stored = Registered(c);
    const QString voided = Registered(c);
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='在库' WHERE BatchNo=:b", {{"b", stored}});
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='已作废' WHERE BatchNo=:b", {{"b", voided}});

    TfrmDrying w(c.dm());
    w.Reload();
    EXPECT_EQ(Column(w.Batches(), "批次号"), (QStringList{waiting, drying}));
    w.cbView->setCurrentIndex(int(TDryingView::DryingOnly));
    EXPECT_EQ(Column(w.Batches(), "批次号"), QStringList{drying});
    EXPECT_EQ(Column(w.Rounds(), "轮次"), QStringList{"1"}) << "the rounds follow the current batch";
    w.cbView->setCurrentIndex(int(TDryingView::All));
    EXPECT_EQ(Column(w.Batches(), "批次号"), (QStringList{waiting, drying, stored}));

    w.grid->selectRow(0);
    w.DoEndRound();
    EXPECT_EQ(prompter.LastText(), "该批次没有进行中（未下机）的轮次，无需结束");
    w.grid->selectRow(1);
    w.DoDispatch();
    EXPECT_EQ(prompter.LastText(), "只有【待烘干】状态的批次才能派工上机");
    c.loginAs(Roles::Weigher);
    w.DoDispatch();
    EXPECT_EQ(prompter.LastText(), "当前角色无权派工");
    c.loginAs(Roles::Viewer);
    w.DoEndRound();
    EXPECT_EQ(prompter.LastText(), "当前角色无权操作烘干记录");
}

TEST(DryEnd, PassStoresDryGrainAndRetiresTheWetRowOnce) {
    TTestCentre c(Roles::Operator);
    const QString no = Dispatched(c);
    TDryEndLogic logic(c.dm());
    const TOpenRound round = OpenRound(c, no);

    TRoundEndInput in = Unloaded("0", "");
    in.DryWhID = 0;
    in.EndTime = kStart.addSecs(-60);
    const TRoundEndResult r = logic.Pass(round, in);
    EXPECT_EQ(r.Refusal, "请填写烘后水分");
    EXPECT_EQ(r.Focus, TRoundField::OutMoisture);
    in.OutMoisture = "14";
    EXPECT_EQ(logic.Pass(round, in).Refusal, "烘后净重必须大于0");
    in.DryNetWt = "8650";
    EXPECT_EQ(logic.Pass(round, in).Refusal, "请选择入仓干粮仓位");
    in.DryWhID = 2;
    EXPECT_EQ(logic.Pass(round, in).Refusal, "下机时间不能早于上机时间");
    in.EndTime = kStart;
    EXPECT_TRUE(logic.CheckPass(round, in).Saved()) << "an end at the start is accepted";

    c.refuseWrites("T_StockMove", "INSERT", "库存流水锁定");
    EXPECT_EQ(logic.Pass(round, Unloaded()).Refusal, "入仓失败：库存流水锁定");
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "烘干中");
    EXPECT_EQ(c.batchRows("T_Drying", no, "EndTime IS NULL"), "1");
    EXPECT_EQ(c.batchRows("T_Stock", no, "Status"), "待烘干");
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机"}));
    c.allowWrites("T_StockMove");

    ASSERT_TRUE(logic.Pass(round, Unloaded()).Saved());
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "在库");
    EXPECT_EQ(c.batchRows("T_Drying", no, "EndTime,DryNetWt,LossRate,AbnormalMemo"), "2025-03-05 14:30:00/8650/13.5/正常");
    const QString farmer = c.batchRows("T_Batch", no, "FarmerID");
    EXPECT_EQ(c.batchRows("T_Stock", no, "Status,WhID,Qty,GrainID,FarmerID,InTime"),
              "已出库/1/10000/1/" + farmer + "/2025-03-04 08:00:00; 在库/2/8650/1/" + farmer + "/2025-03-05 14:30:00")
        << "the wet row is kept but no longer live";
    EXPECT_EQ(c.batchRows("T_StockMove", no, "MoveType,Qty,WhID,OpID,Remark"), "入仓/8650/2/2/第1轮烘后入仓");
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='烘干入仓'")),
              "第1轮 干粮8650.0kg 损耗1350.0kg(13.50%) 仓位ID=2 理论干重9302.3kg");

    EXPECT_EQ(logic.Pass(round, Unloaded()).Refusal, "第 1 轮已经结束，请刷新后查看");
    EXPECT_EQ(c.count("T_Stock") + c.count("T_Log", "ActType='烘干入仓'"), 3);
}

TEST(DryEnd, ReDryOpensTheNextRoundWhereThisOneStopped) {
    TTestCentre c(Roles::Operator);
    const QString no = Dispatched(c);
    TDryEndLogic logic(c.dm());
    c.dm().ExecSQLP("UPDATE T_Drying SET WhInID=1, EquipID=:e, OpID=1", {{"e", c.addEquip("HG-002")}});
    const TOpenRound first = OpenRound(c, no);

    TRoundEndInput in = Unloaded("", "");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "请填写本轮烘后净重");
    in.DryNetWt = "9300";
    in.EndTime = kStart.addSecs(-1);
    EXPECT_EQ(logic.Fail(first, in).Refusal, "下机时间不能早于上机时间");
    in.EndTime = kEnd;
    c.refuseWrites("T_Drying", "INSERT", "作业单锁定");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "返烘单生成失败：作业单锁定");
    EXPECT_EQ(c.batchRows("T_Drying", no, "Round,EndTime IS NULL"), "1/1");
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机"}));
    c.allowWrites("T_Drying");
    ASSERT_TRUE(logic.Fail(first, in).Saved()) << "no moisture or dry position needed to re-dry";
    EXPECT_EQ(c.batchRows("T_Drying", no, "OutMoisture IS NULL", "Round=1"), "1");
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "烘干中");
    EXPECT_EQ(c.batchRows("T_Drying", no, "EquipID,WhInID,OpID,StartTime,FanGear IS NULL,EndTime IS NULL", "Round=2"),
              QString("%1/1/1/2025-03-05 14:30:00/1/1").arg(first.EquipID)) << "same dryer, position and operator";
    EXPECT_EQ(c.logActions().last(), "返烘");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "第 1 轮已经结束，请刷新后查看");
}
