#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTableView>
#include <gtest/gtest.h>

namespace {
const QDateTime kStart(QDate(2025, 3, 5), QTime(8, 0));
const QDateTime kEnd(QDate(2025, 3, 5), QTime(14, 30));

// A registered 10 t load of 稻谷, waiting in the seeded wet-grain position.
QString Registered(TTestCentre& c, const QString& gross = "10000") {
    TBatchInput in;
    in.RegTime = kStart.addDays(-1);
    in.FarmerID = c.addFarmer("张三");
    in.GrainID = 1;
    in.WhID = 1;
    in.InMoisture = "20";
    in.GrossWt = gross;
    in.WetNetWt = gross;
    return TBatchLogic(c.dm()).Save(in).BatchNo;
}

TDispatchInput Dispatch(const QString& batchNo) {
    TDispatchInput in;
    in.BatchNo = batchNo;
    in.EquipID = 1;
    in.WhInID = 1;
    in.StartTime = kStart;
    in.OpID = 2;
    in.TargetMoisture = "14";
    in.DryTemp = "60";
    in.FanGear = "中档";
    return in;
}

QString Dispatched(TTestCentre& c, const QString& gross = "10000") {
    const QString no = Registered(c, gross);
    EXPECT_TRUE(TDispatchLogic(c.dm()).Save(Dispatch(no)).Saved());
    return no;
}

TRoundEndInput Unloaded(const QString& dry = "8650", const QString& moisture = "14") {
    TRoundEndInput in;
    in.EndTime = kEnd;
    in.OutMoisture = moisture;
    in.DryNetWt = dry;
    in.DryHours = "6.5";
    in.LossWt = "1350";
    in.LossRate = "13.5";
    in.AbnormalMemo = " 正常 ";
    in.DryWhID = 2;
    return in;
}

TOpenRound OpenRound(TTestCentre& c, const QString& batchNo) {
    const std::optional<TOpenRound> r = TDryEndLogic(c.dm()).LoadOpenRound(batchNo);
    EXPECT_TRUE(r.has_value());
    return r.value_or(TOpenRound{});
}

QString Status(TTestCentre& c, const QString& batchNo) {
    return VarToStr(c.scalar("SELECT Status FROM T_Batch WHERE BatchNo=:b", {{"b", batchNo}}));
}

QString RoundField(TTestCentre& c, const QString& batchNo, int round, const QString& field) {
    return VarToStr(c.scalar("SELECT " + field + " FROM T_Drying WHERE BatchNo=:b AND Round=:r",
                             {{"b", batchNo}, {"r", round}}));
}

QStringList Column(TQueryModel* model, const QString& column) {
    QStringList values;
    for (int r = 0; r < model->rowCount(); ++r) values << VarToStr(model->Value(r, column));
    return values;
}
}  // namespace

TEST(Dispatch, OpensRoundOneAndMovesTheBatchIntoDryingOnce) {
    TTestCentre c(Roles::Operator);
    const QString no = Registered(c);
    TDispatchLogic logic(c.dm());
    TDispatchInput in = Dispatch(no);
    in.EquipID = 0;
    in.WhInID = 0;
    EXPECT_EQ(logic.Save(in).Refusal, "请选择烘干机");
    in.EquipID = 1;
    EXPECT_EQ(logic.Save(in).Refusal, "请选择湿粮仓位");
    EXPECT_EQ(c.count("T_Drying"), 0);

    const TDispatchHeader h = logic.Header(no);
    EXPECT_EQ(h.GrainName, "稻谷");
    EXPECT_DOUBLE_EQ(h.WetNetWt, 10000);

    in.WhInID = 1;
    in.TargetMoisture = "0";
    ASSERT_TRUE(logic.Save(in).Saved());
    EXPECT_EQ(Status(c, no), "烘干中");
    EXPECT_TRUE(c.scalar("SELECT TargetMoisture FROM T_Batch WHERE BatchNo=:b", {{"b", no}}).IsNull());
    EXPECT_EQ(c.count("T_Drying", "BatchNo=:b", {{"b", no}}), 1);
    EXPECT_EQ(RoundField(c, no, 1, "StartTime"), "2025-03-05 08:00:00");
    EXPECT_EQ(RoundField(c, no, 1, "OpID"), "2");
    EXPECT_EQ(RoundField(c, no, 1, "FanGear"), "中档");
    EXPECT_EQ(RoundField(c, no, 1, "DryTemp"), "60");
    EXPECT_TRUE(c.scalar("SELECT EndTime FROM T_Drying WHERE BatchNo=:b", {{"b", no}}).IsNull());
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机"}));
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='派工上机'")), "设备ID=1 上机时间2025-03-05 08:00");

    EXPECT_EQ(logic.Save(in).Refusal, "只有【待烘干】状态的批次才能派工上机") << "dispatched from a stale queue";
    EXPECT_EQ(c.count("T_Drying"), 1);
}

TEST(Dispatch, RefusesVoidedBatchesAndStoppedDryers) {
    TTestCentre c;
    TDispatchLogic logic(c.dm());
    const QString voided = Registered(c);
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(voided, "登记错误"), "");
    EXPECT_EQ(logic.Save(Dispatch(voided)).Refusal, "只有【待烘干】状态的批次才能派工上机");

    const QString no = Registered(c);
    TDispatchInput in = Dispatch(no);
    in.EquipID = c.addEquip("HG-009", "停用");
    EXPECT_EQ(logic.Save(in).Refusal, "该烘干机已停用，不能派工");
    in.TargetMoisture = "13.5";
    in.EquipID = c.addEquip("HG-002", "维修");
    ASSERT_TRUE(logic.Save(in).Saved());
    EXPECT_EQ(VarToStr(c.scalar("SELECT TargetMoisture FROM T_Batch WHERE BatchNo=:b", {{"b", no}})), "13.5");
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
    EXPECT_EQ(Column(w.Batches(), "烘干轮次"), QStringList{"1"});
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
    EXPECT_EQ(c.count("T_Drying"), 1);
}

TEST(DryEnd, RecalculationMeasuresLossAgainstIntakeWeight) {
    TRoundFigures f = RecalcRound(10000, "8650", kStart, kEnd);
    EXPECT_EQ(f.LossWt, "1350");
    EXPECT_EQ(f.LossRate, "13.50");
    EXPECT_EQ(f.DryHours, "6.5");
    f = RecalcRound(10000, "10000", kStart, kStart);
    EXPECT_EQ(f.LossWt, "0");
    EXPECT_EQ(f.LossRate, "0.00");
    EXPECT_EQ(f.DryHours, "0.0");
    EXPECT_EQ(RecalcRound(0, "0", kStart, kEnd).LossRate, "0");
    EXPECT_EQ(RecalcRound(10000, "9000", kEnd, kStart).DryHours, "0.0") << "an end before the start";
}

TEST(DryEnd, PassStoresDryGrainAndRetiresTheWetRow) {
    TTestCentre c(Roles::Operator);
    const QString no = Dispatched(c);
    TDryEndLogic logic(c.dm());
    const TOpenRound round = OpenRound(c, no);
    EXPECT_EQ(round.Round, 1);

    TRoundEndInput in = Unloaded("0", "");
    in.DryWhID = 0;
    in.EndTime = kStart.addSecs(-60);
    TRoundEndResult r = logic.Pass(round, in);
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
    EXPECT_EQ(c.count("T_Stock"), 1);

    ASSERT_TRUE(logic.Pass(round, Unloaded()).Saved());
    EXPECT_EQ(Status(c, no), "在库");
    EXPECT_EQ(RoundField(c, no, 1, "EndTime"), "2025-03-05 14:30:00");
    EXPECT_EQ(RoundField(c, no, 1, "DryNetWt"), "8650");
    EXPECT_EQ(RoundField(c, no, 1, "LossRate"), "13.5");
    EXPECT_EQ(RoundField(c, no, 1, "AbnormalMemo"), "正常");
    const TQuery dry = c.dm().OpenSQLP("SELECT * FROM T_Stock WHERE BatchNo=:b AND Status='在库'", {{"b", no}});
    ASSERT_EQ(dry.RowCount(), 1);
    EXPECT_EQ(VarToInt(dry.Field("WhID")), 2);
    EXPECT_EQ(VarToFloat(dry.Field("Qty")), 8650);
    EXPECT_EQ(VarToInt(dry.Field("GrainID")), 1);
    EXPECT_EQ(VarToInt(dry.Field("FarmerID")), VarToInt(c.scalar("SELECT FarmerID FROM T_Batch")));
    EXPECT_EQ(VarToStr(dry.Field("InTime")), "2025-03-05 14:30:00");
    EXPECT_EQ(c.count("T_Stock", "BatchNo=:b AND Status='已出库' AND Qty=10000", {{"b", no}}), 1)
        << "the wet row is kept but no longer live";
    EXPECT_EQ(c.count("T_StockMove", "MoveType='入仓' AND Qty=8650 AND WhID=2 AND OpID=2 AND Remark='第1轮烘后入仓'"), 1);
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机", "烘干入仓"}));
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='烘干入仓'")),
              "第1轮 干粮8650.0kg 损耗1350.0kg(13.50%) 仓位ID=2");

    EXPECT_EQ(logic.Pass(round, Unloaded()).Refusal, "第 1 轮已经结束，请刷新后查看");
    EXPECT_EQ(c.count("T_Stock"), 2);
    EXPECT_FALSE(logic.LoadOpenRound(no).has_value());
}

TEST(DryEnd, FailedPassOrReDryLeavesNothingBehind) {
    TTestCentre c(Roles::Operator);
    const QString no = Dispatched(c);
    TDryEndLogic logic(c.dm());
    const TOpenRound round = OpenRound(c, no);

    c.dm().ExecSQLP("CREATE TRIGGER move_lock BEFORE INSERT ON T_StockMove BEGIN SELECT RAISE(ABORT,'库存流水锁定'); END");
    TRoundEndResult r = logic.Pass(round, Unloaded());
    EXPECT_EQ(r.Refusal, "入仓失败：库存流水锁定");
    c.dm().ExecSQLP("CREATE TRIGGER round_lock BEFORE INSERT ON T_Drying BEGIN SELECT RAISE(ABORT,'作业单锁定'); END");
    r = logic.Fail(round, Unloaded());
    EXPECT_EQ(r.Refusal, "返烘单生成失败：作业单锁定");

    EXPECT_EQ(Status(c, no), "烘干中");
    EXPECT_TRUE(c.scalar("SELECT EndTime FROM T_Drying WHERE DryID=:i", {{"i", round.DryID}}).IsNull());
    EXPECT_EQ(c.count("T_Drying"), 1);
    EXPECT_EQ(c.count("T_Stock"), 1);
    EXPECT_EQ(c.count("T_Stock", "Status='待烘干'"), 1);
    EXPECT_EQ(c.count("T_StockMove"), 0);
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机"}));
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
    ASSERT_TRUE(logic.Fail(first, in).Saved()) << "no moisture or dry position needed to re-dry";
    EXPECT_TRUE(c.scalar("SELECT OutMoisture FROM T_Drying WHERE Round=1").IsNull());
    EXPECT_EQ(Status(c, no), "烘干中");

    const TOpenRound second = OpenRound(c, no);
    EXPECT_EQ(second.Round, 2);
    EXPECT_EQ(second.EquipID, first.EquipID);
    EXPECT_EQ(second.WhInID, 1);
    EXPECT_EQ(second.OpID, 1);
    EXPECT_EQ(second.StartTime, kEnd);
    EXPECT_TRUE(c.scalar("SELECT FanGear FROM T_Drying WHERE Round=2").IsNull());
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='返烘'")),
              "第1轮不达标，生成第2轮，本轮干粮9300.0kg，正常");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "第 1 轮已经结束，请刷新后查看");

    TRoundEndInput pass = Unloaded("8600");
    pass.EndTime = kEnd.addSecs(3 * 3600);
    ASSERT_TRUE(logic.Pass(second, pass).Saved());
    EXPECT_EQ(c.count("T_StockMove", "Remark='第2轮烘后入仓'"), 1);
    EXPECT_EQ(c.count("T_Stock", "Status='在库'"), 1);
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机", "返烘", "烘干入仓"}));
}

TEST(DryEnd, VoidedBatchCannotEndItsRound) {
    TTestCentre c;
    const QString no = Dispatched(c);
    const TOpenRound round = OpenRound(c, no);
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(no, "客户取消"), "");
    TDryEndLogic logic(c.dm());
    EXPECT_EQ(logic.Pass(round, Unloaded()).Refusal, "该批次已作废，不能结束烘干轮次");
    EXPECT_EQ(logic.Fail(round, Unloaded()).Refusal, "该批次已作废，不能结束烘干轮次");
    EXPECT_EQ(c.count("T_Stock", "Status='已作废'"), 1);
    EXPECT_EQ(c.count("T_Drying"), 1);
}

TEST(DryEnd, DialogRecalculatesAndAsksBeforeSaving) {
    TTestCentre c(Roles::Operator);
    TTestPrompter prompter;
    const QString no = Dispatched(c);
    TfrmDryEnd dlg(c.dm(), no);
    ASSERT_TRUE(dlg.HasOpenRound());
    EXPECT_EQ(dlg.edDryNet->text(), "10000");
    dlg.dtEnd->setDateTime(kEnd);
    dlg.edDryNet->setText("8650");
    EXPECT_EQ(dlg.edLoss->text(), "1350");
    EXPECT_EQ(dlg.edHours->text(), "6.5");

    dlg.DoPass();
    EXPECT_EQ(prompter.LastText(), "请填写烘后水分");
    EXPECT_TRUE(prompter.Questions.isEmpty());

    prompter.AnswerNo();
    dlg.DoFail();
    EXPECT_EQ(prompter.Questions, QStringList{"第 1 轮不达标，确认生成第 2 轮返烘作业单？"});
    EXPECT_EQ(c.count("T_Drying"), 1);

    dlg.edMoisture->setText("13.8");
    SetComboID(dlg.cbDryWh, 3);
    prompter.AnswerYes();
    dlg.DoPass();
    EXPECT_EQ(prompter.Questions.last(), "确认第 1 轮烘干合格并入仓？干粮净重 8650.0 公斤");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(c.count("T_Stock", "Status='在库' AND WhID=3 AND Moisture=13.8"), 1);
    EXPECT_EQ(VarToStr(c.scalar("SELECT AbnormalMemo FROM T_Drying")), "") << "the hint is not stored";

    EXPECT_FALSE(TfrmDryEnd(c.dm(), no).HasOpenRound());
}
