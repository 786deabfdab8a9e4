// What the dialogs in which staff type a record show while typing, and how they are left.

#include "WorkflowCase.h"

#include <QLabel>

#include <memory>

namespace {
TSettleInput Settlement(const QString& item, const QString& paid) {
    return {.BatchNo = "PC1", .SettleNo = {}, .Items = {"1200", item, "0", "0", "0"}, .Paid = paid,
            .SettleTime = kEnd, .Remark = {}, .OverDays = 0, .EarlierPaid = 500};
}
}  // namespace

// A gross weight of "31a200" once showed a net of -11400 and a moisture of 150 a fee of 23760.00.
TEST(LivePreview, ABoxTheSaveWouldRefuseShowsADashInsteadOfAFigure) {
    TTestCentre c(Roles::Admin);
    const TBatchLogic intake(c.dm());
    const struct {
        QString gross, tare, moisture, net, fee;
    } loads[] = {
        {"31200", "19800", "18", "11400", "1641.60"},
        {"31a200", "19800", "18", "—", "—"},
        {"31200", "-5", "18", "—", "—"},
        {"31200", "19800", "150", "11400", "—"},
        {"19800", "31200", "18", "-11400", "—"},  // weighed the wrong way round: shown, never charged
        {"31200", "", "", "31200", "3744.00"},
        {"1000.456", "0", "", "1000.46", "120.06"},
        {"1,000", "", "14", "1000", "120.00"},
    };
    for (const auto& l : loads) {
        const QString net = NetWeightText(l.gross, l.tare);
        EXPECT_EQ(net, l.net) << qPrintable(l.gross + " " + l.tare);
        EXPECT_EQ(EstimateFeeText(intake, 1, net, l.moisture), l.fee) << qPrintable(l.gross + " " + l.moisture);
    }

    const struct {
        double wet;
        QString dry;
        QDateTime end;
        QString loss, rate, hours;
    } rounds[] = {{10000, "8650", kEnd, "1350", "13.50", "6.5"},
                  {10000, "8a650", kEnd, "—", "—", "6.5"},
                  {10000, "10000", kStart, "0", "0.00", "0.0"},
                  {0, "0", kEnd, "0", "0", "6.5"},
                  {10000, "9000", kStart.addSecs(-3600), "1000", "10.00", "0.0"}};  // an end before the start
    for (const auto& r : rounds) {
        const TRoundFigures f = RecalcRound(r.wet, r.dry, kStart, r.end);
        EXPECT_EQ(QStringList({f.LossWt, f.LossRate, f.DryHours}), QStringList({r.loss, r.rate, r.hours})) << qPrintable(r.dry);
    }
    const QString drying = Dispatched(c);
    TfrmDryEnd end(c.dm(), drying);
    end.edMoisture->setText("150");
    EXPECT_EQ(end.lblLossCheck->text(), "理论干重 —");

    const struct {
        QString item, paid, total, received, debt, line;
    } settles[] = {
        {"240", "100", "1440.00", "600.00", "840.00", "保存后结算状态：部分欠款"},
        {"24o", "100", "—", "600.00", "—", "保存后结算状态：—"},
        {"-1", "100", "—", "600.00", "—", "保存后结算状态：—"},
        {"240", "1OO", "1440.00", "—", "—", "保存后结算状态：—"},
        {"240", "100000000", "1440.00", "—", "—", "保存后结算状态：—"},
        {"240", "300.005", "1440.00", "800.01", "639.99", "保存后结算状态：部分欠款（金额按分四舍五入）"},
    };
    for (const auto& s : settles) {
        const TSettlePreview p = SettlePreview(Settlement(s.item, s.paid));
        EXPECT_EQ(QStringList({p.Total, p.Received, p.Debt, p.Line}),
                  QStringList({s.total, s.received, s.debt, s.line}))
            << qPrintable(s.item + " " + s.paid);
    }

    // Leaving a dialog: typed input is given up only when confirmed; an untouched one closes at once.
    TTestPrompter prompter;
    const QString dried = c.driedBatch(10000, 8650).BatchNo;
    const struct {
        const char* name;
        std::function<std::unique_ptr<TEntryDialog>()> open;
        std::function<void(TEntryDialog&)> type;
    } dialogs[] = {
        {"登记", [&] { return std::make_unique<TfrmBatchEdit>(c.dm(), QString()); },
         [](TEntryDialog& d) { static_cast<TfrmBatchEdit&>(d).edGross->setText("31200"); }},
        {"出库", [&] { return std::make_unique<TfrmOutEdit>(c.dm()); },
         [](TEntryDialog& d) { static_cast<TfrmOutEdit&>(d).edWeight->setText("500"); }},
        {"结算", [&] { return std::make_unique<TfrmSettleEdit>(c.dm(), dried, QString()); },
         [](TEntryDialog& d) { static_cast<TfrmSettleEdit&>(d).edPaid->setText("100"); }},
        {"下机", [&] { return std::make_unique<TfrmDryEnd>(c.dm(), drying); },
         [](TEntryDialog& d) { static_cast<TfrmDryEnd&>(d).cbDryWh->setCurrentIndex(0); }},
    };
    for (const auto& d : dialogs) {
        prompter.Clear();
        std::unique_ptr<TEntryDialog> untouched = d.open();
        untouched->show();
        QTest::keyClick(untouched.get(), Qt::Key_Escape);
        EXPECT_FALSE(untouched->isVisible()) << d.name;
        EXPECT_TRUE(prompter.Questions.isEmpty()) << d.name;

        std::unique_ptr<TEntryDialog> typed = d.open();
        typed->show();
        d.type(*typed);
        QTest::keyClick(typed.get(), Qt::Key_Escape);  // answered 否
        EXPECT_TRUE(typed->isVisible()) << d.name;
        EXPECT_EQ(prompter.Questions, QStringList{"放弃已输入的内容？"}) << d.name;
        EXPECT_EQ(prompter.QuestionDefaults.at(0), TDefaultAnswer::No) << d.name;
        prompter.AnswerYes();
        for (QPushButton* b : typed->findChildren<QPushButton*>())
            if (b->text() == "取消") b->click();
        EXPECT_FALSE(typed->isVisible()) << d.name;
        EXPECT_EQ(prompter.Questions.size(), 2) << d.name;
    }
}

// Two batches in one dryer, or more wet grain than a position holds, happen only on purpose.
TEST(AskBeforeSaving, ABusyDryerAndAnOverfullWetPositionAreNamedAndNoIsTheDefault) {
    TTestCentre c(Roles::Admin);
    TTestPrompter prompter;
    const QString first = Dispatched(c);
    const QString second = Registered(c);
    for (const bool answer : {false, true}) {
        prompter.Clear();
        if (answer) prompter.AnswerYes();
        TfrmDryStart dlg(c.dm(), second);
        SetComboID(dlg.cbEquip, 1);
        SetComboID(dlg.cbWh, 1);
        dlg.DoOK();
        EXPECT_EQ(prompter.Questions, QStringList{"该烘干机正在烘干批次 " + first + "，是否仍要派工？"});
        EXPECT_EQ(prompter.QuestionDefaults.at(0), TDefaultAnswer::No);
        EXPECT_EQ(c.batchRows("T_Batch", second, "Status"), answer ? "烘干中" : "待烘干");
    }
    TDryEndLogic end(c.dm());
    for (const QString& no : {first, second}) {
        const std::optional<TOpenRound> round = end.LoadOpenRound(no);
        TRoundEndInput out = Unloaded();
        out.EndTime = QDateTime::currentDateTime().addSecs(60);  // the dialog dispatched it now
        ASSERT_TRUE(round && end.Pass(*round, out).Saved());
    }
    EXPECT_EQ(TDispatchLogic(c.dm()).BusyQuestion(Dispatch(Registered(c))), "") << "both rounds ended";

    // The seeded wet position holds 50,000 kg; one batch of 10,000 kg waits there already.
    const TBatchLogic intake(c.dm());
    TBatchInput load = Load(c.addFarmer("李四"));
    load.WetNetWt = "40000";
    EXPECT_EQ(intake.CapacityQuestion(load), "") << "exactly full";
    load.BatchNo = TBatchLogic(c.dm()).Save(load).BatchNo;
    load.WetNetWt = "39000";
    EXPECT_EQ(intake.CapacityQuestion(load), "") << "a correction of the load itself";
    load.WetNetWt = "40100";
    EXPECT_EQ(intake.CapacityQuestion(load),
              "湿粮仓位【湿粮暂存区】容量 50000 公斤，登记后结余将达 50100.0 公斤，超出容量。是否仍要保存？");
    load.BatchNo.clear();
    load.WetNetWt = "1";
    EXPECT_NE(intake.CapacityQuestion(load), "");
}
