#include "WorkflowCase.h"

namespace {
TOutboundInput Out(int stockId, const QString& weight, const QString& type = "农户自提") {
    return {.StockID = stockId, .OutType = type, .OutTime = QDateTime(QDate(2025, 3, 8), QTime(10, 30)),
            .Weight = weight, .Destination = " 县粮库 ", .Driver = "李四", .CarNo = "苏B54321", .OpID = 3,
            .Remark = ""};
}

QString Status(TTestCentre& c, int stockId) {
    return VarToStr(c.scalar("SELECT Status FROM T_Stock WHERE StockID=:i", {{"i", stockId}}));
}
}  // namespace

TEST(Outbound, NothingHandedOutThatIsNotThereNorTwiceAndAHundredthAboveTheRestIsTheLimit) {
    TTestCentre c(Roles::Weigher);
    const TDriedBatch b = c.driedBatch(2000, 1500);
    TOutboundLogic logic(c.dm());

    EXPECT_EQ(logic.Save(Out(0, "100")).Refusal, "没有可出库的在库批次");
    for (const QString junk : {"", "  ", "0", "abc", "12kg", "-5", "-1e9", "nan", "inf", "-inf"}) {
        const TOutboundResult r = logic.Save(Out(b.DryRow, junk));
        EXPECT_EQ(r.Refusal, "请输入有效的出库净重") << qPrintable(junk);
        EXPECT_EQ(r.Focus, TOutField::Weight);
    }
    for (const QString absurd : {"1e9", "1e400", "0.005"})
        EXPECT_EQ(logic.Save(Out(b.DryRow, absurd)).Refusal, "数值超出范围：出库净重(公斤)") << qPrintable(absurd);
    EXPECT_EQ(logic.Save(Out(b.DryRow, "1500.02")).Refusal, "出库重量 1500.0 大于可出库存 1500.0");
    TOutboundInput tooLong = Out(b.DryRow, "100");
    tooLong.CarNo = "苏B5432109876543210";
    EXPECT_EQ(logic.Save(tooLong).Focus, TOutField::CarNo);
    c.refuseWrites("T_StockMove", "INSERT", "库存流水锁定");
    EXPECT_EQ(logic.Save(Out(b.DryRow, "1500")).Refusal, "出库失败：库存流水锁定");
    EXPECT_EQ(c.count("T_Outbound") + c.count("T_StockMove", "MoveType='出仓'"), 0);
    EXPECT_EQ(Status(c, b.DryRow), "在库");
    EXPECT_EQ(c.logActions().count("出库"), 0);
    c.allowWrites("T_StockMove");

    const TOutboundResult first = logic.Save(Out(b.DryRow, " １,２００ "));
    ASSERT_TRUE(first.Saved()) << "typed with a Chinese input method";
    EXPECT_EQ(first.OutNo, "CK" + Today() + "001");
    EXPECT_EQ(c.batchRows("T_Batch", b.BatchNo, "Status"), "在库");
    EXPECT_DOUBLE_EQ(logic.Remaining(b.DryRow), 300);
    EXPECT_EQ(logic.Save(Out(b.DryRow, "300.02")).Refusal, "出库重量 300.0 大于可出库存 300.0");
    ASSERT_TRUE(logic.Save(Out(b.DryRow, "300.01", "对外销售")).Saved());
    EXPECT_EQ(Status(c, b.DryRow), "已出库");
    EXPECT_EQ(c.batchRows("T_Batch", b.BatchNo, "Status"), "待结算") << "the retired wet row does not hold the batch back";
    EXPECT_TRUE(logic.Choices().isEmpty());
    EXPECT_EQ(logic.Save(Out(b.DryRow, "0.02")).Refusal, "出库重量 0.0 大于可出库存 0.0")
        << "an emptied row gives nothing more";

    const QString farmer = c.batchRows("T_Batch", b.BatchNo, "FarmerID");
    EXPECT_EQ(c.batchRows("T_Outbound", b.BatchNo, "OutType,OutWt,FarmerID,GrainID,OutTime,Destination,OpID"),
              "农户自提/1200/" + farmer + "/1/2025-03-08 10:30:00/县粮库/3; 对外销售/300.01/" + farmer +
                  "/1/2025-03-08 10:30:00/县粮库/3");
    EXPECT_EQ(c.batchRows("T_StockMove", b.BatchNo, "MoveType,Qty,WhID,Remark", "MoveType='出仓'"),
              "出仓/1200/2/农户自提; 出仓/300.01/2/对外销售");
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "派工上机", "烘干入仓", "出库", "出库"}));

    // Grain taken by another station meanwhile is not handed out twice.
    const TDriedBatch d = c.driedBatch(600, 500);
    TDM other(c.paths().Database());
    other.Connect();
    ASSERT_TRUE(logic.Check(Out(d.DryRow, "300")).Saved()) << "both stations see 500 kg";
    ASSERT_EQ(TOutboundLogic(other).Save(Out(d.DryRow, "300")).OutNo, "CK" + Today() + "003");
    EXPECT_EQ(logic.Save(Out(d.DryRow, "300")).Refusal, "出库重量 300.0 大于可出库存 200.0");
    EXPECT_EQ(c.count("T_Outbound") + c.logActions().count("出库"), 6);
    EXPECT_EQ(logic.Save(Out(d.DryRow, "200")).OutNo, "CK" + Today() + "004") << "the number is drawn after the other station's";
    EXPECT_EQ(c.batchRows("T_Batch", d.BatchNo, "Status"), "待结算");
}

TEST(OutboundLedger, FiltersByDateTypeAndKeywordNewestNumberFirst) {
    TTestCentre c;
    const int wang = c.addFarmer("王五");
    const auto add = [&](const QString& no, const QString& batch, int farmer, const QString& type, const QDateTime& at) {
        c.dm().ExecSQLP("INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,OutWt,OutTime) VALUES(:n,:tp,:b,:f,100,:t)",
                        {{"n", no}, {"tp", type}, {"b", batch}, {"f", farmer}, {"t", at}});
    };
    add("CK20250301001", "PC20250220001", wang, "农户自提", QDateTime(QDate(2025, 3, 1), QTime(0, 0)));
    add("CK20250302001", "PC20250220002", 0, "对外销售", QDateTime(QDate(2025, 3, 2), QTime(23, 59, 59)));
    add("CK20250303001", "PC20250220003", 0, "农户自提", QDateTime(QDate(2025, 3, 3), QTime(0, 0)));

    const auto numbers = [&](std::optional<std::pair<QDate, QDate>> span, const QString& type, const QString& keyword) {
        return Column(c.dm(), OutListQuery(c.dm().Engine(), span, type, keyword), "出库单号");
    };
    const auto march = [](int from, int to) { return std::make_pair(QDate(2025, 3, from), QDate(2025, 3, to)); };
    EXPECT_EQ(numbers(std::nullopt, "全部", ""), (QStringList{"CK20250303001", "CK20250302001", "CK20250301001"}));
    EXPECT_EQ(numbers(march(1, 2), "全部", ""), (QStringList{"CK20250302001", "CK20250301001"}))
        << "the whole last day counts";
    EXPECT_EQ(numbers(march(1, 3), "农户自提", ""), (QStringList{"CK20250303001", "CK20250301001"}));
    EXPECT_EQ(numbers(std::make_pair(QDate(2015, 3, 2), QDate(2025, 3, 2)), "全部", ""),
              (QStringList{"CK20250302001", "CK20250301001"}))
        << "a span of years reads alike";
    EXPECT_EQ(numbers(std::nullopt, "全部", " 王 "), QStringList{"CK20250301001"});
    EXPECT_EQ(numbers(std::nullopt, "全部", "0220002"), QStringList{"CK20250302001"});
}

TEST(OutboundLedger, OnlyWeighersRegisterAndARefusedWeightKeepsTheDialogOpen) {
    TTestCentre c(Roles::Viewer);
    TTestPrompter prompter;
    const TDriedBatch b = c.driedBatch(10000, 8650);
    TfrmOutList w(c.dm());
    w.Reload();
    w.DoNew();
    EXPECT_EQ(prompter.LastText(), "当前角色无权登记出库");

    c.loginAs(Roles::Weigher);
    prompter.Clear();
    TModalCloser closer;
    QTimer::singleShot(0, [&] {
        auto* dlg = w.findChild<TfrmOutEdit*>();
        ASSERT_NE(dlg, nullptr);
        dlg->edWeight->setText("9000");
        dlg->DoOK();
        dlg->edWeight->setText("5000");
        dlg->DoOK();
    });
    prompter.AnswerNo();
    w.DoNew();
    EXPECT_EQ(prompter.Texts(), QStringList{"出库重量 9000.0 大于可出库存 8650.0"});
    EXPECT_EQ(prompter.Questions.size(), 1) << "printing offered once, after the save";
    EXPECT_EQ(Column(w.Ledger(), "出库单号"), QStringList{"CK" + Today() + "001"}) << "the ledger was reloaded";
    EXPECT_EQ(c.batchRows("T_Outbound", b.BatchNo, "OutWt"), "5000");

    w.DoPrint();  // the printer dialog cancelled: nothing printed, nothing said
    EXPECT_EQ(prompter.Texts().size(), 1);
}
