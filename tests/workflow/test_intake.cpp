#include "forms/uCtl.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {
const QDateTime kRegTime(QDate(2025, 3, 5), QTime(9, 30));

QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

// A complete registration of a 10 t load of 稻谷 into the seeded wet-grain position.
TBatchInput Load(int farmerId) {
    TBatchInput in;
    in.RegTime = kRegTime;
    in.CarNo = QStringLiteral(" 苏A12345 ");
    in.FarmerID = farmerId;
    in.GrainID = 1;
    in.WhID = 1;
    in.Team = QStringLiteral("早班");
    in.TargetMoisture = "14.5";
    in.InMoisture = "18";
    in.Impurity = "0";
    in.GrossWt = "12000";
    in.TareWt = "2000";
    in.WetNetWt = "10000";
    in.EstFee = "1,440.00";
    return in;
}

QString Register(TTestCentre& c, const TBatchInput& in) {
    const TBatchSaveResult r = TBatchLogic(c.dm()).Save(in);
    EXPECT_TRUE(r.Saved()) << r.Refusal.toStdString();
    return r.BatchNo;
}

QString StockField(TTestCentre& c, const QString& batchNo, const QString& field) {
    return VarToStr(c.scalar("SELECT " + field + " FROM T_Stock WHERE BatchNo=:b", {{"b", batchNo}}));
}

QString BatchField(TTestCentre& c, const QString& batchNo, const QString& field) {
    return VarToStr(c.scalar("SELECT " + field + " FROM T_Batch WHERE BatchNo=:b", {{"b", batchNo}}));
}
}  // namespace

TEST(Intake, NetWeightIsGrossLessTareWithAtMostTwoDecimals) {
    EXPECT_EQ(NetWeightText("12000", "2000"), "10000");
    EXPECT_EQ(NetWeightText("1000.456", "0"), "1000.46");
    EXPECT_EQ(NetWeightText("1,000", ""), "1000");
    EXPECT_EQ(NetWeightText("1000", "1500"), "-500");
}

TEST(Intake, FeeEstimateChargesPerWetTonPlusMoistureAboveStandard) {
    TTestCentre c;
    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName) VALUES('高粱')");
    const int sorghum = int(c.dm().LastInsertId());
    c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint) VALUES(:g,30,14,2)",
                    {{"g", sorghum}});
    TBatchLogic logic(c.dm());

    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 18.5), 390);
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 14), 300) << "moisture at the standard adds nothing";
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 0), 300);
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, -500, 18.5), 0);
    EXPECT_DOUBLE_EQ(logic.EstimateFee(0, 10000, 18.5), 0);

    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName) VALUES('大豆')");
    EXPECT_DOUBLE_EQ(logic.EstimateFee(int(c.dm().LastInsertId()), 10000, 18.5), 0) << "no fee standard";

    c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint) VALUES(:g,99,10,9)",
                    {{"g", sorghum}});
    EXPECT_DOUBLE_EQ(logic.EstimateFee(sorghum, 10000, 18.5), 390) << "the first fee standard row counts";
}

TEST(Intake, ChecksRunInOrderAndWriteNothing) {
    TTestCentre c(Roles::Weigher);
    TBatchLogic logic(c.dm());
    TBatchInput in = Load(c.addFarmer("张三"));
    const int farmer = in.FarmerID;
    in.FarmerID = 0;
    in.GrainID = 0;
    in.WhID = 0;
    in.WetNetWt = "-500";

    TBatchSaveResult r = logic.Save(in);
    EXPECT_EQ(r.Refusal, "请选择农户/客户");
    EXPECT_EQ(r.Focus, TBatchField::Farmer);
    in.FarmerID = farmer;
    r = logic.Save(in);
    EXPECT_EQ(r.Refusal, "请选择粮种");
    EXPECT_EQ(r.Focus, TBatchField::Grain);
    in.GrainID = 1;
    r = logic.Save(in);
    EXPECT_EQ(r.Refusal, "请选择湿粮仓位");
    EXPECT_EQ(r.Focus, TBatchField::Wh);
    in.WhID = 1;
    r = logic.Save(in);
    EXPECT_EQ(r.Refusal, "湿粮净重必须大于0，请检查毛重、皮重");
    EXPECT_EQ(r.Focus, TBatchField::GrossWt);
    in.WetNetWt = "0";
    EXPECT_EQ(logic.Save(in).Refusal, "湿粮净重必须大于0，请检查毛重、皮重");

    EXPECT_EQ(c.count("T_Batch"), 0);
    EXPECT_EQ(c.count("T_Stock"), 0);
    EXPECT_TRUE(c.logActions().isEmpty());
}

TEST(Intake, NewBatchGetsTodaysNumberAndOneWetStockRow) {
    TTestCentre c(Roles::Weigher);
    const int farmer = c.addFarmer("张三");
    TBatchInput in = Load(farmer);
    in.InMoisture = "";

    const QString first = Register(c, in);
    const QString second = Register(c, Load(farmer));
    EXPECT_EQ(first, "PC" + Today() + "001");
    EXPECT_EQ(second, "PC" + Today() + "002");

    EXPECT_EQ(BatchField(c, first, "Status"), "待烘干");
    EXPECT_EQ(BatchField(c, first, "CarNo"), "苏A12345");
    EXPECT_EQ(BatchField(c, first, "EstFee"), "1440") << "the fee as typed, not recomputed";
    EXPECT_EQ(BatchField(c, first, "OpID"), "0");
    EXPECT_TRUE(c.scalar("SELECT InMoisture FROM T_Batch WHERE BatchNo=:b", {{"b", first}}).IsNull());
    EXPECT_EQ(BatchField(c, first, "RegTime"), "2025-03-05 09:30:00");

    EXPECT_EQ(c.count("T_Stock", "BatchNo=:b", {{"b", first}}), 1);
    EXPECT_EQ(StockField(c, first, "Status"), "待烘干");
    EXPECT_EQ(StockField(c, first, "Qty"), "10000");
    EXPECT_EQ(StockField(c, first, "WhID"), "1");
    EXPECT_EQ(StockField(c, first, "FarmerID"), QString::number(farmer));
    EXPECT_EQ(StockField(c, first, "InTime"), "2025-03-05 09:30:00");

    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "收粮登记"}));
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log ORDER BY LogID LIMIT 1")),
              QString("农户ID=%1 净重10000.0kg").arg(farmer));
}

TEST(Intake, EditingUpdatesTheOneWetRowFarmerAndGrainIncluded) {
    TTestCentre c(Roles::Weigher);
    const QString no = Register(c, Load(c.addFarmer("张三")));
    const int other = c.addFarmer("李四");
    const int wetWh = c.addWh("湿粮二区", "湿粮区");

    TBatchInput in = Load(other);
    in.BatchNo = no;
    in.GrainID = 2;
    in.WhID = wetWh;
    in.WetNetWt = "9500";
    in.InMoisture = "20";
    ASSERT_TRUE(TBatchLogic(c.dm()).Save(in).Saved());

    EXPECT_EQ(c.count("T_Batch"), 1);
    EXPECT_EQ(BatchField(c, no, "Status"), "待烘干");
    EXPECT_EQ(BatchField(c, no, "FarmerID"), QString::number(other));
    EXPECT_EQ(c.count("T_Stock", "BatchNo=:b", {{"b", no}}), 1);
    EXPECT_EQ(StockField(c, no, "FarmerID"), QString::number(other));
    EXPECT_EQ(StockField(c, no, "GrainID"), "2");
    EXPECT_EQ(StockField(c, no, "WhID"), QString::number(wetWh));
    EXPECT_EQ(StockField(c, no, "Qty"), "9500");
    EXPECT_EQ(StockField(c, no, "Moisture"), "20");
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "修改登记"}));

    // A batch dispatched from another station meanwhile is no longer open to change.
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='烘干中' WHERE BatchNo=:b", {{"b", no}});
    in.WetNetWt = "1";
    const TBatchSaveResult r = TBatchLogic(c.dm()).Save(in);
    EXPECT_EQ(r.Refusal, "该批次已是【烘干中】状态，不能再修改登记");
    EXPECT_EQ(StockField(c, no, "Qty"), "9500");
    EXPECT_EQ(c.logActions().size(), 2);
}

TEST(Intake, FailedSaveLeavesNeitherRowNorLog) {
    TTestCentre c(Roles::Weigher);
    TBatchInput in = Load(c.addFarmer("张三"));
    in.CarNo = "苏A1234567890ABCD";
    EXPECT_THROW(TBatchLogic(c.dm()).Save(in), TDbError);

    in.CarNo = "苏A12345";
    c.dm().ExecSQLP("CREATE TRIGGER stock_full BEFORE INSERT ON T_Stock BEGIN SELECT RAISE(ABORT,'仓位已满'); END");
    try {
        TBatchLogic(c.dm()).Save(in);
        ADD_FAILURE() << "the stock row cannot be written";
    } catch (const TDbError& e) {
        EXPECT_TRUE(e.Message().contains("仓位已满"));
    }
    EXPECT_EQ(c.count("T_Batch"), 0);
    EXPECT_EQ(c.count("T_Stock"), 0);
    EXPECT_TRUE(c.logActions().isEmpty());

    c.dm().ExecSQLP("DROP TRIGGER stock_full");
    EXPECT_EQ(Register(c, in), "PC" + Today() + "001") << "the number is drawn again, not lost";
}

TEST(Intake, DialogWiresWeightsFeeAndTeamAndSavesThroughTheChecks) {
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    const int farmer = c.addFarmer("张三");
    TfrmBatchEdit dlg(c.dm(), {});
    EXPECT_EQ(dlg.edNo->text(), "(保存后自动生成)");

    dlg.edGross->setText("12000");
    dlg.edTare->setText("2000");
    EXPECT_EQ(dlg.edWetNet->text(), "10000");
    EXPECT_EQ(dlg.edFee->text(), "0.00") << "no grain chosen yet";
    dlg.edMoisture->setText("17");
    SetComboID(dlg.cbGrain, 1);
    EXPECT_EQ(dlg.edFee->text(), "1360.00");
    dlg.edTarget->setText("13");
    EXPECT_EQ(dlg.edFee->text(), "1360.00");
    dlg.edFee->setText("1300");
    dlg.edGross->setText("12000.0");
    EXPECT_EQ(dlg.edFee->text(), "1360.00") << "a weight change redoes a fee typed over by hand";

    SetComboID(dlg.cbOperator, 2);
    EXPECT_EQ(dlg.cbTeam->currentText(), "中班");
    SetComboID(dlg.cbOperator, 0);
    EXPECT_EQ(dlg.cbTeam->currentText(), "中班");

    dlg.DoOK();
    EXPECT_EQ(prompter.LastText(), "请选择农户/客户");
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    SetComboID(dlg.cbFarmer, farmer);
    SetComboID(dlg.cbWh, 1);
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.BatchNo(), "PC" + Today() + "001");
    EXPECT_EQ(BatchField(c, dlg.BatchNo(), "Team"), "中班");
    EXPECT_EQ(BatchField(c, dlg.BatchNo(), "TargetMoisture"), "13");
}

TEST(Intake, StoredBatchOpensWithItsFiguresAndLocksOnceDrying) {
    TTestCentre c(Roles::Weigher);
    const QString no = Register(c, Load(c.addFarmer("张三")));
    {
        TfrmBatchEdit dlg(c.dm(), no);
        EXPECT_EQ(dlg.edWetNet->text(), "10000");
        EXPECT_EQ(dlg.edFee->text(), "1440.00") << "the stored fee, not the estimate set off by loading";
        EXPECT_TRUE(dlg.btnOK->isEnabled());
    }
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='烘干中' WHERE BatchNo=:b", {{"b", no}});
    TfrmBatchEdit dlg(c.dm(), no);
    EXPECT_EQ(dlg.windowTitle(), "批次详情（烘干中，不可修改）");
    EXPECT_FALSE(dlg.btnOK->isEnabled());
    EXPECT_TRUE(dlg.edGross->isReadOnly());
    EXPECT_TRUE(dlg.mmMemo->isReadOnly());
    EXPECT_FALSE(dlg.cbFarmer->isEnabled());
    EXPECT_FALSE(dlg.dtReg->isEnabled());
}

TEST(IntakeLedger, StatusFilterAndKeywordSearch) {
    TTestCentre c(Roles::Weigher);
    const QString a = Register(c, Load(c.addFarmer("张三")));
    TBatchInput other = Load(c.addFarmer("李四"));
    other.CarNo = "皖B88888";
    const QString b = Register(c, other);
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='在库' WHERE BatchNo=:b", {{"b", a}});

    auto numbers = [&](const QString& status, const QString& keyword) {
        const TSqlText q = BatchListQuery(status, keyword);
        const TQuery rows = c.dm().OpenSQLP(q.Sql, q.Params);
        QStringList list;
        for (int r = 0; r < rows.RowCount(); ++r) list << VarToStr(rows.Value(r, "批次号"));
        return list;
    };
    EXPECT_EQ(numbers("全部", ""), (QStringList{b, a})) << "newest first";
    EXPECT_EQ(numbers("在库", ""), QStringList{a});
    EXPECT_EQ(numbers("全部", " 李 "), QStringList{b});
    EXPECT_EQ(numbers("全部", "B888"), QStringList{b});
    EXPECT_EQ(numbers("全部", a.right(3)), QStringList{a});
    EXPECT_EQ(numbers("待烘干", "张"), QStringList{});
}

TEST(IntakeLedger, VoidRetiresBatchAndEveryStockRowOnce) {
    TTestCentre c;
    const QString no = Register(c, Load(c.addFarmer("张三")));
    c.dm().ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,Qty,Status) VALUES(:b,2,8600,'在库')", {{"b", no}});
    TBatchVoidLogic logic(c.dm());

    c.loginAs(Roles::Weigher);
    EXPECT_EQ(logic.StartRefusal(Session, no), "只有管理员可以作废批次（数据留痕、不可删除）");
    c.loginAs(Roles::Admin);
    EXPECT_EQ(logic.StartRefusal(Session, no), "");
    EXPECT_EQ(logic.Void(no, "   "), "必须填写作废原因");
    EXPECT_EQ(BatchField(c, no, "Status"), "待烘干");

    EXPECT_EQ(logic.Void(no, " 重复登记 "), "");
    EXPECT_EQ(BatchField(c, no, "Status"), "已作废");
    EXPECT_EQ(BatchField(c, no, "VoidMemo"), "重复登记");
    EXPECT_EQ(c.count("T_Stock", "BatchNo=:b AND Status='已作废'", {{"b", no}}), 2);
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "作废"}));

    EXPECT_EQ(logic.StartRefusal(Session, no), "该批次已作废");
    EXPECT_EQ(logic.Void(no, "再次"), "该批次已作废");
    EXPECT_EQ(c.logActions().size(), 2);
}

TEST(IntakeLedger, VoidAsksReasonBeforeConfirmation) {
    TTestCentre c;
    TTestPrompter prompter;
    const QString no = Register(c, Load(c.addFarmer("张三")));
    TfrmBatchList list(c.dm());
    list.Reload();
    ASSERT_EQ(list.CurrentBatchNo(), no);

    prompter.AnswerMemo(std::nullopt);
    list.DoVoid();
    EXPECT_TRUE(prompter.Shown.empty()) << "cancelling the reason says nothing";
    EXPECT_EQ(prompter.MemoTitles, QStringList{"作废批次 " + no});

    prompter.AnswerMemo("  ");
    list.DoVoid();
    EXPECT_EQ(prompter.LastText(), "必须填写作废原因");
    EXPECT_TRUE(prompter.Questions.isEmpty());

    prompter.AnswerMemo("称重错误");
    prompter.AnswerNo();
    list.DoVoid();
    EXPECT_EQ(prompter.Questions, QStringList{"确认作废批次 " + no + "？已产生的作业单据不受影响。"});
    EXPECT_EQ(BatchField(c, no, "Status"), "待烘干");

    prompter.AnswerMemo("称重错误");
    prompter.AnswerYes();
    list.DoVoid();
    EXPECT_EQ(BatchField(c, no, "Status"), "已作废");

    c.loginAs(Roles::Viewer);
    list.DoNew();
    EXPECT_EQ(prompter.LastText(), "当前角色无权登记收粮");
}
