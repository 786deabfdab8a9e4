#include "data/uSqlDialect.h"
#include "forms/uExport.h"
#include "forms/uGrid.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {
QString Unzipped(const QString& xlsx, const QString& member) {
    QProcess unzip;
    unzip.start("unzip", {"-p", xlsx, member});
    unzip.waitForFinished();
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

// A sheet read back: each cell as "value" for an inline text, "value@format" for a number.
QMap<QString, QString> Cells(const QString& xlsx) {
    const QString styles = Unzipped(xlsx, "xl/styles.xml");
    QMap<QString, QString> formats;
    for (auto m = QRegularExpression(R"re(<numFmt numFmtId="(\d+)" formatCode="([^"]*)")re").globalMatch(styles); m.hasNext();) {
        const auto match = m.next();
        formats[match.captured(1)] = match.captured(2);
    }
    QStringList xfs;
    const QString cellXfs = styles.mid(styles.indexOf("<cellXfs"));
    for (auto m = QRegularExpression(R"re(<xf numFmtId="(\d+)")re").globalMatch(cellXfs); m.hasNext();)
        xfs << m.next().captured(1);
    QMap<QString, QString> cells;
    static const QRegularExpression cell(R"re(<c r="([A-Z]+\d+)"([^>]*?)(?:/>|>(.*?)</c>))re"), style(R"re( s="(\d+)")re"),
        value(R"re(<(?:v|t)>([^<]*)</(?:v|t)>)re");
    for (auto m = cell.globalMatch(Unzipped(xlsx, "xl/worksheets/sheet1.xml")); m.hasNext();) {
        const auto c = m.next();
        const QString xf = xfs.value(style.match(c.captured(2)).captured(1).toInt()), v = value.match(c.captured(3)).captured(1);
        cells[c.captured(1)] = c.captured(2).contains("t=\"inlineStr\"") ? v : v + "@" + formats.value(xf, xf);
    }
    return cells;
}
}  // namespace

TEST(Xlsx, ExportKeepsNumbersDatesAndTextsTyped) {
    TTestCentre c;
    TTestPrompter prompter;
    const int farmer = c.addFarmer("张三", "13800000000");
    c.dm().ExecSQLP("INSERT INTO T_Batch(BatchNo,FarmerID,GrossWt,EstFee,RegTime,QualityMemo) "
                    "VALUES('PC1',:f,30000.5,:fee,:t,:memo)",
                    {{"f", farmer}, {"fee", TValue::Money(1200.5)}, {"t", QDateTime(QDate(2025, 3, 5), QTime(14, 30))},
                     {"memo", QString(100, QChar(u'潮'))}});
    // Markup, a control character and Excel's own escape sequence must all come back as typed.
    c.dm().ExecSQLP("INSERT INTO T_Batch(BatchNo,QualityMemo) VALUES('PC2',:memo)",
                    {{"memo", QString("a<&>") + QChar(1) + "_x0041_"}});
    TQueryModel model(c.dm());
    model.Open("SELECT b.BatchNo AS 批次号, b.RegTime AS 登记时间, b.GrossWt AS 毛重, b.FarmerID AS 农户编号, "
               "b.EstFee AS 预估费用, " + SqlDayText(c.dm().Engine(), "b.RegTime") + " AS 日期, f.Phone AS 电话, "
               "b.QualityMemo AS 备注 FROM T_Batch b LEFT JOIN T_Farmer f ON f.FarmerID=b.FarmerID "
               "ORDER BY b.BatchNo");

    const QString path = c.paths().AppDir + "台账.xlsx";
    prompter.AnswerSaveAs(path);
    ExportGrid(model, "收粮入库台账", TExportFormat::Excel);
    EXPECT_EQ(prompter.LastText(), "已导出：" + QDir::toNativeSeparators(path));

    QMap<QString, QString> sheet = Cells(path);
    const int day = QDate(1899, 12, 30).daysTo(QDate(2025, 3, 5));  // Excel's day numbers
    EXPECT_NEAR(sheet.value("B2").section('@', 0, 0).toDouble(), day + 14.5 / 24, 1e-6);
    // The farmer's number stays a number, money shows two decimals, a day written as text is a
    // date, a phone number stays text, and nothing stands in an empty cell.
    EXPECT_EQ(QStringList({sheet["A1"], sheet["A2"], sheet["B2"].section('@', 1), sheet["C2"], sheet["D2"], sheet["E2"],
                           sheet["F2"], sheet["G2"], sheet["A3"], sheet.value("B3", "-"), sheet["H3"]}),
              QStringList({"批次号", "PC1", "yyyy-mm-dd hh:mm", "30000.5@0.00", QString::number(farmer) + "@0",
                           "1200.5@0.00", QString::number(day) + "@yyyy-mm-dd", "13800000000", "PC2", "-",
                           "a&lt;&amp;&gt;_x0001__x005F_x0041_"}));
    const QString xml = Unzipped(path, "xl/worksheets/sheet1.xml");
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) reader.readNext();
    EXPECT_FALSE(reader.hasError());
}
