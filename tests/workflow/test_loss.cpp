#include "forms/uCtl.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uLossAllowance.h"
#include "workflow/uLossRule.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

TEST(LossRule, WaterAloneExplainsTheDryWeightAndShortfallsBeyondTheAllowanceAreMarked) {
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
}

TEST(LossRule, AllowanceIsReadFromTheCentresSettingsFile) {
    QTemporaryDir dir;
    int files = 0;
    const auto allowance = [&](const QByteArray& text) {
        const QString ini = dir.filePath(QString("Movelkar%1.ini").arg(++files));
        QFile f(ini);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        return ReadLossAllowance(ini);
    };
    EXPECT_EQ(ReadLossAllowance(dir.filePath("none.ini")), 0.5) << "no file";
    for (const auto& [text, read] : std::vector<std::pair<QByteArray, double>>{
             {"[loss]\nallowance=1.2\n", 1.2}, {"[loss]\nallowance=abc\n", 0.5}, {"[loss]\nallowance=-1\n", 0.5},
             {"[scale]\nport=COM3\n", 0.5}})
        EXPECT_EQ(allowance(text), read) << text.constData();
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
    EXPECT_FALSE(dlg.lblLossCheck->styleSheet().contains("red")) << "116 kg short is within the allowance";

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
