#include "reports/uPrint.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
const QString kBatch = "PC20250301001";

// A batch of 10 t of 稻谷 from 张三, dried twice (the second round gave 8650 kg), handed out in two
// loads and settled with 240.50 owed, as the outbound and settlement windows leave it.
void DriedAndHandedOut(TTestCentre& c) {
    const int farmer = c.addFarmer("张三", "13800138000");
    c.dm().ExecSQLP("UPDATE T_Farmer SET Village='东村三组' WHERE FarmerID=:f", {{"f", farmer}});
    c.dm().ExecSQLP(
        "INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,WetNetWt,Status) "
        "VALUES(:b,:t,'皖A12345',:f,1,20.5,10000,'待结算')",
        {{"b", kBatch}, {"t", QDateTime(QDate(2025, 3, 1), QTime(7, 40))}, {"f", farmer}});
    c.dm().ExecSQLP("INSERT INTO T_Drying(BatchNo,Round,DryNetWt) VALUES(:b,1,9100),(:b,2,8650)", {{"b", kBatch}});
    c.dm().ExecSQLP(
        "INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime,Destination,Driver,CarNo,Remark) "
        "VALUES('CK20250310001','农户自提',:b,:f,1,5000,:t,'县粮库','李四','皖B54321',NULL),"
        "('CK20250311001','对外销售',:b,:f,1,3650,:t,'','','','')",
        {{"b", kBatch}, {"f", farmer}, {"t", QDateTime(QDate(2025, 3, 10), QTime(9, 30))}});
    c.dm().ExecSQLP(
        "INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,MoistureExtra,StorageFee,ReDryFee,OtherFee,TotalFee,"
        "PaidAmt,DebtAmt,Status,SettleTime,StoreDays,Remark) VALUES('JS20250312001',:b,1,:bf,:mf,0,:rf,:of,:tf,:pa,"
        ":da,'部分欠款',:t,3,:mm)",
        {{"b", kBatch}, {"bf", TValue::Money(1200)}, {"mf", TValue::Money(440)}, {"rf", TValue::Money(600)},
         {"of", TValue::Money(0.5)}, {"tf", TValue::Money(2240.5)}, {"pa", TValue::Money(2000)},
         {"da", TValue::Money(240.5)}, {"t", QDateTime(QDate(2025, 3, 12), QTime(16, 5))}, {"mm", "  "}});
}

// Printed text without its blanks: pdftotext spaces the line by where the words stand, not by the
// blanks printed, so phrases are compared line by line without them.
QString Unspaced(const QString& text) { return QString(text).remove(' '); }
}  // namespace

// Each slip printed reads back, through pdftotext, as the Chinese printed, with the fees to the fen.
TEST(Slips, ReadBackInChineseWithTheirFiguresAndAreNeverReportedPrintedWhenNot) {
    TTestCentre c(Roles::Finance);
    TTestPrompter prompter;
    DriedAndHandedOut(c);
    const QString pdf = c.paths().AppDir + "slip.pdf";
    const auto printed = [&](const QString& no) {
        prompter.AnswerPrintTo(pdf);
        EXPECT_TRUE(no.startsWith("CK") ? PrintOutSlip(c.dm(), no) : PrintSettleSlip(c.dm(), no));
        const QStringList pages = PdfPages(pdf);
        EXPECT_EQ(pages.size(), 1);
        return Unspaced(pages.value(0));
    };
    const QString out = printed("CK20250310001");
    for (const QString& phrase :
         {"出库单号：CK20250310001 出库时间：2025-03-10 09:30", "批次号：PC20250301001 出库类型：农户自提",
          "农户/客户：张三 联系电话：13800138000", "粮种：稻谷 车牌号：皖B54321", "出库净重：5000.0 公斤 司机：李四",
          "去向：县粮库"})
        EXPECT_TRUE(out.contains(Unspaced(phrase))) << phrase.toStdString() << "\n" << out.toStdString();
    const QString settle = printed("JS20250312001");
    for (const QString& phrase :
         {"结算单号：JS20250312001 结算时间：2025-03-12 16:05", "批次号：PC20250301001 登记日期：2025-03-01",
          "农户/客户：张三 电话：13800138000", "村组：东村三组 粮种：稻谷", "入库水分：20.5% 车牌号：皖A12345",
          "湿粮净重：10000.0 公斤 烘后干粮：8650.0 公斤", "累计出库：8650.0 公斤 堆放天数：3",
          "基础烘干费 1200.00 湿粮 10.00 吨", "超水分加价 440.00", "仓储堆放费 0.00", "二次返烘费 600.00",
          "其他杂费 0.50", "合计 2240.50", "已收金额 2000.00 欠款：240.50 元", "结算状态：部分欠款"})
        EXPECT_TRUE(settle.contains(Unspaced(phrase))) << phrase.toStdString() << "\n" << settle.toStdString();
    EXPECT_FALSE(settle.contains("备注")) << "a blank remark prints no remark line";
    c.dm().ExecSQLP("UPDATE T_Settle SET Remark='余款秋后结清'");
    EXPECT_TRUE(printed("JS20250312001").contains("备注：余款秋后结清"));
    EXPECT_TRUE(prompter.Shown.empty());
    QFile::remove(pdf);
    prompter.Clear();

    // Missing slips and cancelled or failed printing leave no file and are never reported as printed.
    c.loginAs(Roles::Weigher);
    EXPECT_FALSE(PrintOutSlip(c.dm(), "CK20250399009"));
    EXPECT_FALSE(PrintSettleSlip(c.dm(), "JS20250399009"));
    EXPECT_EQ(prompter.Texts(), (QStringList{"出库单不存在：CK20250399009", "结算单不存在：JS20250399009"}));
    EXPECT_TRUE(prompter.PrintTitles.isEmpty()) << "no printer is asked for a slip that does not exist";
    prompter.Clear();

    EXPECT_FALSE(PrintOutSlip(c.dm(), "CK20250310001")) << "the printer dialog is cancelled";
    EXPECT_TRUE(prompter.Shown.empty()) << "a cancelled print shows nothing";
    EXPECT_TRUE(QDir(c.paths().AppDir).entryList({"*.pdf"}).isEmpty());

    const QString unwritable = c.paths().AppDir + "no such folder/out.pdf";
    prompter.AnswerPrintTo(unwritable);
    EXPECT_FALSE(PrintOutSlip(c.dm(), "CK20250310001"));
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_TRUE(prompter.LastText().startsWith("打印失败：无法写入文件：")) << prompter.LastText().toStdString();
    EXPECT_FALSE(QFile::exists(unwritable));

    prompter.AnswerFailingPrinter();
    EXPECT_FALSE(PrintOutSlip(c.dm(), "CK20250310001"));
    ASSERT_EQ(prompter.Shown.size(), 2u);
    EXPECT_EQ(prompter.LastText(), "打印失败：打印机无法开始打印");
}
