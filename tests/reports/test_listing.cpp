#include "forms/uGrid.h"
#include "reports/uPrint.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
const QString kFarmers = "SELECT Name AS 姓名, Phone AS 电话, Address AS 地址 FROM T_Farmer ORDER BY FarmerID";

QString Unspaced(const QString& text) { return QString(text).remove(' '); }
}  // namespace

TEST(Listing, CellsAreCutAtFortyBytesWholeNothingIsPrintedWithoutRowsOrPrinterAndEveryRowPrintsOnce) {
    const QString thirty = QString("粮").repeated(30);
    EXPECT_EQ(CellText(thirty), QString("粮").repeated(20)) << "20 characters are exactly 40 bytes";
    EXPECT_EQ(CellText("A" + thirty), "A" + QString("粮").repeated(19)) << "the 20th character would straddle byte 40";
    EXPECT_EQ(CellText(QString("x").repeated(38) + "𠀀"), QString("x").repeated(38)) << "a four-byte character";
    EXPECT_EQ(CellText(QString("x").repeated(36) + "𠀀"), QString("x").repeated(36) + "𠀀");
    EXPECT_EQ(CellText("东村\r\n三组\n7号"), "东村 三组 7号");

    TTestCentre c;
    TTestPrompter prompter;
    TQueryModel model(c.dm());
    EXPECT_FALSE(PrintListing(model, "农户名单")) << "a grid that was never queried";
    model.Open(kFarmers);
    EXPECT_FALSE(PrintListing(model, "农户名单"));
    EXPECT_EQ(prompter.Texts(), (QStringList{"没有可打印的数据", "没有可打印的数据"}));
    EXPECT_TRUE(prompter.PrintTitles.isEmpty()) << "no printer is asked for an empty listing";

    c.dm().ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300) "
                    "INSERT INTO T_Farmer(Name,Phone) SELECT '农户' || substr(CAST(1000 + i AS TEXT), 2), "
                    "'1390000' || substr(CAST(10000 + i AS TEXT), 2) FROM n");
    c.dm().ExecSQLP("UPDATE T_Farmer SET Address=:a WHERE FarmerID=1", {{"a", "东村\r\n" + QString("粮").repeated(30)}});
    model.Open(kFarmers);
    ASSERT_LT(model.rowCount(), 300) << "the grid has not read all rows; the listing must";
    prompter.Clear();
    prompter.AnswerPrintTo("");
    EXPECT_FALSE(PrintListing(model, "农户名单"));
    EXPECT_TRUE(prompter.Shown.empty());
    EXPECT_TRUE(QDir(c.paths().AppDir).entryList({"*.pdf"}).isEmpty());

    const QString pdf = c.paths().AppDir + "farmers.pdf";
    prompter.AnswerPrintTo(pdf);
    ASSERT_TRUE(PrintListing(model, "农户名单"));
    EXPECT_TRUE(prompter.Shown.empty());
    const QStringList pages = PdfPages(pdf);
    ASSERT_GE(pages.size(), 10);
    QStringList printed;
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = Unspaced(pages[p]).split('\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines[0], QString("农户名单第%1页").arg(p + 1)) << "every page starts with title and page number";
        for (const QString& line : lines)
            if (QRegularExpression("^农户\\d{3}1390000\\d{4}").match(line).hasMatch()) printed << line.left(16);
    }
    ASSERT_EQ(printed.size(), 300) << "each row once, none lost at a page break";
    EXPECT_EQ(printed.first(), "农户00113900000001");
    EXPECT_EQ(printed.last(), "农户30013900000300");
    EXPECT_TRUE(Unspaced(pages[0]).contains("农户00113900000001东村" + QString("粮").repeated(17))) << pages[0].toStdString();
    EXPECT_FALSE(Unspaced(pages[0]).contains(QString("粮").repeated(18)));
    EXPECT_TRUE(Unspaced(pages.last()).trimmed().endsWith("共300行"));
}

// Wider than the loss check, which prints sideways with every cell whole (see the report window).
TEST(Listing, EveryHeadingOfAWideListingPrintsWholeOnAsManyLinesAsItNeeds) {
    QStringList captions{"批次号", "农户", "粮种", "湿粮净重公斤", "入库水分", "烘后水分", "理论干重公斤",
                         "实测干重公斤", "未解释损耗公斤", "未解释损耗率百分比", "超出允许"},
        columns;
    for (int i = 1; i <= 6; ++i) captions << QString("第%1台烘干机累计耗电千瓦时").arg(i);
    for (const QString& caption : captions)
        columns << (columns.isEmpty() ? "'PC20250301001'" : "12345.6") + QString(" AS ") + caption;
    TTestCentre c;
    TTestPrompter prompter;
    TQueryModel model(c.dm());
    model.Open("SELECT " + columns.join(','));
    const QString pdf = c.paths().AppDir + "wide.pdf";
    prompter.AnswerPrintTo(pdf);
    ASSERT_TRUE(PrintListing(model, "烘干损耗核对"));
    const QString drawn = PdfRawText(pdf).remove(QRegularExpression("\\s"));
    for (const QString& caption : captions) EXPECT_TRUE(drawn.contains(caption)) << caption.toStdString();
    EXPECT_EQ(drawn.count("12345.6"), captions.size() - 1);
}
