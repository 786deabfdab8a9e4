#include "WorkflowCase.h"

namespace {
QString Register(TTestCentre& c, const TBatchInput& in) {
    const TBatchSaveResult r = TBatchLogic(c.dm()).Save(in);
    EXPECT_TRUE(r.Saved()) << r.Refusal.toStdString();
    return r.BatchNo;
}
}  // namespace

TEST(Intake, FeeEstimateTakesTheFirstStandardAndARefusedOrFailedSaveLeavesNothingBehind) {
    TTestCentre c(Roles::Weigher);
    const int sorghum = Grain(c, "30,14,2,0,0,0");
    c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint) VALUES(:g,99,10,9)", {{"g", sorghum}});
    TBatchLogic logic(c.dm());
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 18.5), 390) << "the first fee standard row counts";
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 14), 300) << "moisture at the standard adds nothing";
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, -500, 18.5), 0);
    EXPECT_DOUBLE_EQ(logic.EstimateFee(Grain(c), 10000, 18.5), 0) << "no fee standard";

    TBatchInput in = Load(0);
    in.GrainID = in.WhID = 0;
    in.WetNetWt = "-500";
    auto expectRefusal = [&](const QString& text, TBatchField focus) {
        const TBatchSaveResult r = logic.Save(in);
        EXPECT_EQ(r.Refusal, text);
        EXPECT_EQ(r.Focus, focus);
    };
    expectRefusal("请选择农户/客户", TBatchField::Farmer);
    in.FarmerID = c.addFarmer("张三");
    expectRefusal("请选择粮种", TBatchField::Grain);
    in.GrainID = 1;
    expectRefusal("请选择湿粮仓位", TBatchField::Wh);
    in.WhID = 1;
    expectRefusal("湿粮净重必须大于0，请检查毛重、皮重", TBatchField::GrossWt);
    in.WetNetWt = "10000";
    in.CarNo = "苏A1234567890ABCD";
    expectRefusal("车牌号最多 15 个字", TBatchField::CarNo);

    // A failure part-way through the transaction: the batch row is written, the stock row cannot be.
    in.CarNo = "苏A12345";
    c.refuseWrites("T_Stock", "INSERT", "仓位已满");
    expectRefusal("保存失败：仓位已满", TBatchField::None);
    EXPECT_EQ(c.count("T_Batch") + c.count("T_Stock"), 0);
    EXPECT_TRUE(c.logActions().isEmpty());
    c.allowWrites("T_Stock");
    EXPECT_EQ(Register(c, in), "PC" + Today() + "001") << "the number is drawn again, not lost";
}

TEST(Intake, NewBatchGetsTodaysNumberAndEditingUpdatesTheOneWetRowUntilDrying) {
    TTestCentre c(Roles::Weigher);
    const int farmer = c.addFarmer("张三");
    TBatchInput in = Load(farmer);
    in.InMoisture = "";
    const QString no = Register(c, in);
    EXPECT_EQ(no, "PC" + Today() + "001");
    EXPECT_EQ(Register(c, Load(farmer)), "PC" + Today() + "002");
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status,CarNo,EstFee,InMoisture IS NULL,RegTime"),
              "待烘干/苏A12345/1440/1/2025-03-05 09:30:00") << "plate trimmed, fee as typed, moisture left empty";
    EXPECT_EQ(c.batchRows("T_Stock", no, "Status,Qty,WhID,FarmerID,InTime"),
              QString("待烘干/10000/1/%1/2025-03-05 09:30:00").arg(farmer));

    const int other = c.addFarmer("李四");
    const int wetWh = c.addWh("湿粮二区", "湿粮区");
    in = Load(other);
    in.BatchNo = no;
    in.GrainID = 2;
    in.WhID = wetWh;
    in.WetNetWt = "9500";
    in.InMoisture = "20";
    ASSERT_TRUE(TBatchLogic(c.dm()).Save(in).Saved());
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status,FarmerID"), QString("待烘干/%1").arg(other));
    EXPECT_EQ(c.batchRows("T_Stock", no, "FarmerID,GrainID,WhID,Qty,Moisture"),
              QString("%1/2/%2/9500/20").arg(other).arg(wetWh));
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "收粮登记", "修改登记"}));
    EXPECT_EQ(TfrmBatchEdit(c.dm(), no).edFee->text(), "1440.00") << "the stored fee, not the estimate set off by loading";

    // A batch dispatched from another station meanwhile is no longer open to change.
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='烘干中' WHERE BatchNo=:b", {{"b", no}});
    in.WetNetWt = "1";
    EXPECT_EQ(TBatchLogic(c.dm()).Save(in).Refusal, "该批次已是【烘干中】状态，不能再修改登记");
    EXPECT_EQ(c.batchRows("T_Stock", no, "Qty"), "9500");
    EXPECT_EQ(c.logActions().size(), 3);
    TfrmBatchEdit viewOnly(c.dm(), no);
    EXPECT_FALSE(viewOnly.btnOK->isEnabled());
    EXPECT_TRUE(viewOnly.edFee->isReadOnly());
}

TEST(Intake, DialogRedoesAHandTypedFeeWhenTheWeightChanges) {
    TTestCentre c(Roles::Weigher);
    const int farmer = c.addFarmer("张三");
    TfrmBatchEdit dlg(c.dm(), {});
    dlg.edGross->setText("12000");
    dlg.edTare->setText("2000");
    dlg.edMoisture->setText("17");
    SetComboID(dlg.cbGrain, 1);
    EXPECT_EQ(dlg.edFee->text(), "1360.00");
    dlg.edTarget->setText("13");
    dlg.edFee->setText("1300");
    dlg.edGross->setText("12000.0");
    EXPECT_EQ(dlg.edFee->text(), "1360.00");
    SetComboID(dlg.cbFarmer, farmer);
    SetComboID(dlg.cbWh, 1);
    dlg.DoOK();
    EXPECT_EQ(c.batchRows("T_Batch", dlg.BatchNo(), "TargetMoisture,EstFee"), "13/1360");
}

TEST(IntakeLedger, StatusFilterKeywordSearchAndVoidingWithAReason) {
    TTestCentre c(Roles::Weigher);
    const QString a = Register(c, Load(c.addFarmer("张三")));
    TBatchInput other = Load(c.addFarmer("李四"));
    other.CarNo = "皖B88888";
    const QString b = Register(c, other);
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='在库' WHERE BatchNo=:b", {{"b", a}});

    const auto numbers = [&](const QString& status, const QString& keyword) {
        return Column(c.dm(), BatchListQuery(c.dm().Engine(), status, keyword), "批次号");
    };
    EXPECT_EQ(numbers("全部", ""), (QStringList{b, a})) << "newest first";
    EXPECT_EQ(numbers("在库", ""), QStringList{a});
    EXPECT_EQ(numbers("全部", " 李 ") + numbers("全部", "B888"), (QStringList{b, b})) << "farmer and plate";
    EXPECT_EQ(numbers("待烘干", "张"), QStringList{});

    // In the window, Enter in the keyword box queries, and so does choosing a status.
    TfrmBatchList list(c.dm());
    list.Reload();
    ASSERT_EQ(list.CurrentBatchNo(), b);
    QTest::keyClicks(list.edKeyword, QString(a.right(3)));
    QTest::keyClick(list.edKeyword, Qt::Key_Return);
    EXPECT_EQ(list.CurrentBatchNo(), a);
    list.edKeyword->clear();
    list.cbStatus->setCurrentText(QStringLiteral("待烘干"));
    EXPECT_EQ(list.CurrentBatchNo(), b);

    // Voiding asks a reason, then retires the batch and every stock row of it once.
    TTestPrompter prompter;
    c.dm().ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,Qty,Status) VALUES(:b,2,8600,'在库')", {{"b", b}});
    list.DoVoid();
    EXPECT_EQ(prompter.LastText(), "只有管理员可以作废批次（数据留痕、不可删除）");

    c.loginAs(Roles::Admin);
    prompter.Clear();
    prompter.AnswerMemo(std::nullopt);
    list.DoVoid();
    EXPECT_TRUE(prompter.Shown.empty()) << "cancelling the reason says nothing";
    prompter.AnswerMemo("  ");
    list.DoVoid();
    EXPECT_EQ(prompter.LastText(), "必须填写作废原因");
    prompter.AnswerMemo("称重错误");
    prompter.AnswerNo();
    list.DoVoid();
    EXPECT_EQ(prompter.QuestionDefaults.back(), TDefaultAnswer::No);
    TBatchVoidLogic logic(c.dm());
    EXPECT_EQ(c.batchRows("T_Batch", b, "Status"), "待烘干");

    prompter.AnswerMemo(" 重复登记 ");
    prompter.AnswerYes();
    list.DoVoid();
    EXPECT_EQ(c.batchRows("T_Batch", b, "Status,VoidMemo"), "已作废/重复登记");
    EXPECT_EQ(c.batchRows("T_Stock", b, "Status"), "已作废; 已作废");
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "收粮登记", "作废"}));
    EXPECT_EQ(logic.StartRefusal(Session, b), "该批次已作废");
    EXPECT_EQ(logic.Void(b, "再次"), "该批次已作废");
    EXPECT_EQ(c.logActions().size(), 3);

    c.loginAs(Roles::Viewer);
    list.DoNew();
    EXPECT_EQ(prompter.LastText(), "当前角色无权登记收粮");
}
