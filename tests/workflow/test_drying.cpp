#include "WorkflowCase.h"
#include "workflow/uLossAllowance.h"
#include "workflow/uLossRule.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>

TEST(Dispatch, OpensRoundOneOnceRefusesStoppedDryersVoidedBatchesAndRolesAndTheWindowListsTheQueue) {
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
    ASSERT_TRUE(logic.Save(in).Saved()) << "only a stopped dryer is refused";
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "烘干中");
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

    TTestPrompter prompter;
    const QString waiting = Registered(c);
    const QString drying = Dispatched(c);
    const QString stored = Registered(c);
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='在库' WHERE BatchNo=:b", {{"b", stored}});

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

TEST(DryEnd, PassStoresDryGrainAndRetiresTheWetRowOnceAndReDryOpensTheNextRound) {
    TTestCentre c(Roles::Operator);
    QString no = Dispatched(c);
    TDryEndLogic logic(c.dm());
    const TOpenRound round = OpenRound(c, no);

    TRoundEndInput in = Unloaded();
    in.DryWhID = 0;
    in.EndTime = kStart.addSecs(-60);
    const TRoundEndResult r = logic.Pass(round, in);
    EXPECT_EQ(r.Refusal, "请选择入仓干粮仓位");
    EXPECT_EQ(r.Focus, TRoundField::DryWh);
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

    // A re-dry opens the next round where this one stopped.
    no = Dispatched(c);
    c.dm().ExecSQLP("UPDATE T_Drying SET WhInID=1, EquipID=:e, OpID=1 WHERE BatchNo=:b",
                    {{"e", c.addEquip("HG-002")}, {"b", no}});
    const TOpenRound first = OpenRound(c, no);

    in = Unloaded("", "");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "请填写本轮烘后净重");
    in.DryNetWt = "9300";
    in.EndTime = kStart.addSecs(-1);
    EXPECT_EQ(logic.Fail(first, in).Refusal, "下机时间不能早于上机时间");
    in.EndTime = kEnd;
    c.refuseWrites("T_Drying", "INSERT", "作业单锁定");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "返烘单生成失败：作业单锁定");
    EXPECT_EQ(c.batchRows("T_Drying", no, "Round,EndTime IS NULL"), "1/1");
    EXPECT_FALSE(c.logActions().contains("返烘"));
    c.allowWrites("T_Drying");
    ASSERT_TRUE(logic.Fail(first, in).Saved()) << "no moisture or dry position needed to re-dry";
    EXPECT_EQ(c.batchRows("T_Drying", no, "OutMoisture IS NULL", "Round=1"), "1");
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "烘干中");
    EXPECT_EQ(c.batchRows("T_Drying", no, "EquipID,WhInID,OpID,StartTime,FanGear IS NULL,EndTime IS NULL", "Round=2"),
              QString("%1/1/1/2025-03-05 14:30:00/1/1").arg(first.EquipID)) << "same dryer, position and operator";
    EXPECT_EQ(c.logActions().last(), "返烘");
    EXPECT_EQ(logic.Fail(first, in).Refusal, "第 1 轮已经结束，请刷新后查看");
}

namespace {
QString Line(double wet, std::optional<double> in, std::optional<double> out, double measured) {
    const std::optional<TLossCheck> check = CheckLoss(wet, in, out, measured);
    return check ? LossCheckLine(*check) : QStringLiteral("(no line)");
}

// The rule as the reports run it, over the same three figures.
TValue InSql(TTestCentre& c, TValue wet, TValue in, TValue out) {
    return c.scalar("SELECT " + SqlTheoreticalDryWeight(":w", ":i", ":o"), {{"w", wet}, {"i", in}, {"o", out}});
}
}  // namespace

TEST(LossRule, WaterAloneExplainsTheDryWeightAndShortfallsBeyondTheSetAllowanceAreMarked) {
    EXPECT_EQ(Line(30000, 28, 14, 24800), "理论干重 25116.3 公斤；实测 24800.0 公斤；差 -316.3 公斤（-1.05%）");
    EXPECT_TRUE(CheckLoss(30000, 28, 14, 24800)->BeyondAllowance(0.5)) << "316 kg short, 150 kg allowed";
    EXPECT_FALSE(CheckLoss(30000, 28, 14, 24800)->BeyondAllowance(1.2));
    EXPECT_FALSE(CheckLoss(30000, 28, 14, 24970)->BeyondAllowance(0.5)) << "146 kg short is within 150 kg";
    EXPECT_EQ(Line(30000, 28, 14, 25300), "理论干重 25116.3 公斤；实测 25300.0 公斤；差 +183.7 公斤（+0.61%）");
    EXPECT_EQ(Line(30000, 28, 14, 0), "理论干重 25116.3 公斤") << "before the dry grain is weighed";
    EXPECT_FALSE(CheckLoss(30000, 28, 14, 0)->BeyondAllowance(0.5));

    // Moisture read higher after drying than at intake: the water explains more than the wet
    // weight; the line says so instead of hiding it.
    EXPECT_EQ(Line(10000, 14, 16, 9900),
              "理论干重 10238.1 公斤；实测 9900.0 公斤；差 -338.1 公斤（-3.38%）；烘后水分高于入库水分，请复核");
    EXPECT_TRUE(CheckLoss(10000, 14, 16, 9900)->BeyondAllowance(0.5));

    // No figure without a wet weight and both readings; 0 is how an unmeasured reading is stored.
    for (const auto& [wet, in, out] : std::vector<std::tuple<double, std::optional<double>, std::optional<double>>>{
             {0, 28, 14}, {-5, 28, 14}, {30000, std::nullopt, 14}, {30000, 28, std::nullopt}, {30000, 0, 14},
             {30000, 28, 0}, {30000, 28, 100}, {30000, 100, 14}})
        EXPECT_EQ(Line(wet, in, out, 24800), "(no line)") << wet << " " << in.value_or(-1) << " " << out.value_or(-1);

    TTestCentre c;
    EXPECT_NEAR(VarToFloat(InSql(c, 30000.0, 28.0, 14.0)), *TheoreticalDryWeight(30000, 28, 14), 1e-9);
    EXPECT_NEAR(VarToFloat(InSql(c, 10000.0, 14.0, 16.0)), *TheoreticalDryWeight(10000, 14, 16), 1e-9);
    for (const auto& [wet, in, out] : std::vector<std::tuple<TValue, TValue, TValue>>{
             {0.0, 28.0, 14.0}, {30000.0, TValue(), 14.0}, {30000.0, 28.0, 0.0}, {30000.0, 28.0, 100.0}})
        EXPECT_TRUE(InSql(c, wet, in, out).IsNull()) << "the reports give no figure where the dialog gives none";

    // The allowance is read from the centre's settings file.
    QTemporaryDir dir;
    EXPECT_EQ(ReadLossAllowance(dir.filePath("none.ini")), 0.5) << "no file";
    int files = 0;
    for (const auto& [text, read] : std::vector<std::pair<QByteArray, double>>{
             {"[loss]\nallowance=1.2\n", 1.2}, {"[loss]\nallowance=abc\n", 0.5}, {"[loss]\nallowance=-1\n", 0.5},
             {"[scale]\nport=COM3\n", 0.5}}) {
        QFile f(dir.filePath(QString("Movelkar%1.ini").arg(++files)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        f.close();
        EXPECT_EQ(ReadLossAllowance(f.fileName()), read) << text.constData();
    }
}

TEST(LossRule, EndOfRoundDialogShowsTheCheckAsTypedAndSavesOnlyWhatWasConfirmed) {
    TTestCentre c(Roles::Operator);
    TTestPrompter prompter;
    const QDateTime start(QDate(2025, 10, 5), QTime(8, 0));
    const QString no = TBatchLogic(c.dm())
                           .Save({.RegTime = start.addDays(-1), .FarmerID = c.addFarmer("张三"), .GrainID = 3,
                                  .WhID = 1, .InMoisture = "28", .GrossWt = "40000", .TareWt = "10000",
                                  .WetNetWt = "30000"})
                           .BatchNo;
    ASSERT_TRUE(TDispatchLogic(c.dm()).Save({.BatchNo = no, .EquipID = 1, .WhInID = 1, .StartTime = start}).Saved());

    TfrmDryEnd dlg(c.dm(), no);
    ASSERT_TRUE(dlg.HasOpenRound());
    dlg.dtEnd->setDateTime(start.addSecs(6 * 3600));
    dlg.edDryNet->setText("24800");
    EXPECT_EQ(dlg.lblLossCheck->text(), "") << "no moisture after drying yet";
    dlg.DoPass();
    EXPECT_EQ(prompter.LastText(), "请填写烘后水分");
    prompter.AnswerNo();
    dlg.DoFail();
    EXPECT_EQ(c.count("T_Drying"), 1) << "the re-dry was not confirmed";

    dlg.edMoisture->setText("14");
    EXPECT_EQ(dlg.lblLossCheck->text(), "理论干重 25116.3 公斤；实测 24800.0 公斤；差 -316.3 公斤（-1.05%）");
    EXPECT_TRUE(dlg.lblLossCheck->styleSheet().contains("red"));
    dlg.edDryNet->setText("25000");

    SetComboID(dlg.cbDryWh, 3);
    prompter.AnswerYes();
    dlg.DoPass();
    EXPECT_EQ(prompter.QuestionDefaults.back(), TDefaultAnswer::Yes);
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='烘干入仓'")),
              "第1轮 干粮25000.0kg 损耗5000.0kg(16.67%) 仓位ID=3 理论干重25116.3kg");
    EXPECT_EQ(c.batchRows("T_Drying", no, "OutMoisture,DryNetWt,LossWt,AbnormalMemo"), "14/25000/5000/")
        << "the round keeps what was weighed, not the check's hint";
    EXPECT_EQ(c.batchRows("T_Stock", no, "WhID,Moisture", "Status='在库'"), "3/14");
}
