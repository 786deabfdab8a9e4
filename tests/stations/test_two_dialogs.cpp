// Two weighbridges with the same intake open in their dialogs: the first save is kept, the second
// is refused naming what changed, writes nothing and keeps what its clerk typed, on either engine.

#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"

#include <QLineEdit>
#include <gtest/gtest.h>

TEST(TwoDialogs, TheSecondSaveOfOneIntakeIsRefusedAndKeepsItsInput) {
    TTestCentre c;
    TTestPrompter prompter;
    TDM other(c.paths().Database());
    other.Connect();
    other.SetLogUser("u_2");

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
    EXPECT_TRUE(prompter.LastText().startsWith(QStringLiteral("该记录已被其他电脑修改（改动了：毛重、皮重、湿粮净重、预计烘干费")))
        << prompter.LastText().toStdString();
    EXPECT_TRUE(prompter.LastText().endsWith(QStringLiteral("修改登记），请关闭后重新打开再保存")));
    EXPECT_EQ(second.edCar->text(), QStringLiteral("皖B12345"));
    EXPECT_EQ(c.rows("SELECT CarNo, WetNetWt FROM T_Batch WHERE BatchNo=:b", {{"b", batch}}), "/10500");
    // Opened again, it saves.
    TfrmBatchEdit again(other, batch);
    again.edCar->setText(QStringLiteral("皖B12345"));
    again.DoOK();
    EXPECT_EQ(again.result(), QDialog::Accepted);

}
