// Two stations with the same record open in their dialogs: the first save is kept, the second
// is refused naming what changed, writes nothing and keeps what its clerk typed, on either
// engine.

#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uSettle.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace {
const QString kChanged = QStringLiteral("该记录已被其他电脑修改（");
}

TEST(TwoDialogs, TheSecondSaveOfOneIntakeOrOneSettlementIsRefusedAndKeepsItsInput) {
    TTestCentre c;
    TTestPrompter prompter;
    TDM other(c.paths().Database());
    other.Connect();
    other.SetLogUser("u_2");

    // One intake corrected at two weighbridges.
    const QString batch = c.registeredBatch(10000);
    TfrmBatchEdit first(c.dm(), batch);
    TfrmBatchEdit second(other, batch);
    first.edGross->setText("12500");
    first.edTare->setText("2000");
    first.DoOK();
    ASSERT_EQ(first.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    second.edCar->setText(QStringLiteral("皖B12345"));
    second.DoOK();
    EXPECT_NE(second.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.LastText().startsWith(kChanged + QStringLiteral("改动了：毛重、皮重、湿粮净重、预计烘干费")))
        << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().endsWith(QStringLiteral("修改登记），请关闭后重新打开再保存")));
    EXPECT_EQ(second.edCar->text(), QStringLiteral("皖B12345"));
    EXPECT_EQ(c.rows("SELECT CarNo, WetNetWt FROM T_Batch WHERE BatchNo=:b", {{"b", batch}}), "/10500");
    // Opened again, it saves.
    TfrmBatchEdit again(other, batch);
    again.edCar->setText(QStringLiteral("皖B12345"));
    again.DoOK();
    EXPECT_EQ(again.result(), QDialog::Accepted);

    // One settlement paid at two finance desks.
    const TDriedBatch dried = c.driedBatch(10000, 8500);
    const TSettleResult made = TSettleLogic(c.dm()).Save({.BatchNo = dried.BatchNo, .SettleNo = {},
                                                          .Items = {"100", "0", "0", "0", "0"}, .Paid = "0",
                                                          .SettleTime = QDateTime::currentDateTime()});
    ASSERT_TRUE(made.Saved()) << made.Refusal.toStdString();
    TfrmSettleEdit deskA(c.dm(), dried.BatchNo, made.SettleNo);
    TfrmSettleEdit deskB(other, dried.BatchNo, made.SettleNo);
    deskA.edPaid->setText("60");
    deskA.DoOK();
    ASSERT_EQ(deskA.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    deskB.edPaid->setText("100");
    deskB.DoOK();
    EXPECT_NE(deskB.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.LastText().startsWith(kChanged + QStringLiteral("改动了：收款金额、结算状态；最近一次：admin")))
        << prompter.LastText().toStdString();
    EXPECT_EQ(deskB.edPaid->text(), "100");
    EXPECT_EQ(c.rows("SELECT PaidAmt, DebtAmt FROM T_Settle WHERE SettleNo=:n", {{"n", made.SettleNo}}), "60/40");
    EXPECT_EQ(c.count("T_Log", "ActType='修改结算'"), 1);
}
