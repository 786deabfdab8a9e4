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

// A sheet read back: each cell's XML by its reference, and what its style means.
class TSheet {
public:
    explicit TSheet(const QString& xlsx)
        : xml_(Unzipped(xlsx, "xl/worksheets/sheet1.xml")), styles_(Unzipped(xlsx, "xl/styles.xml")) {
        static const QRegularExpression cell(R"re(<c r="([A-Z]+\d+)"[^>]*?(?:/>|>.*?</c>))re");
        for (auto m = cell.globalMatch(xml_); m.hasNext();) {
            const auto match = m.next();
            cells_[match.captured(1)] = match.captured(0);
        }
        static const QRegularExpression fmt(R"re(<numFmt numFmtId="(\d+)" formatCode="([^"]*)")re");
        for (auto m = fmt.globalMatch(styles_); m.hasNext();) {
            const auto match = m.next();
            formats_[match.captured(1)] = match.captured(2);
        }
        static const QRegularExpression xf(R"re(<xf numFmtId="(\d+)")re");
        for (auto m = xf.globalMatch(Between(styles_, "<cellXfs", "</cellXfs>")); m.hasNext();)
            xfs_ << m.next().captured(1);
    }

    bool Has(const QString& ref) const { return cells_.contains(ref); }
    // The text of an inline string, or the number written.
    QString Value(const QString& ref) const {
        static const QRegularExpression v(R"re(<(?:v|t)>([^<]*)</(?:v|t)>)re");
        return v.match(cells_.value(ref)).captured(1);
    }
    bool IsText(const QString& ref) const { return cells_.value(ref).contains("t=\"inlineStr\""); }
    QString Format(const QString& ref) const { return formats_.value(Xf(ref), Xf(ref)); }
    double Width(int column) const {
        const QRegularExpression col(QString(R"re(<col min="%1" max="%1" width="([\d.]+)")re").arg(column));
        return col.match(xml_).captured(1).toDouble();
    }
    bool WellFormed() const {
        QXmlStreamReader reader(xml_);
        while (!reader.atEnd()) reader.readNext();
        return !reader.hasError();
    }

private:
    static QString Between(const QString& s, const QString& from, const QString& to) {
        const int a = s.indexOf(from);
        return a < 0 ? QString() : s.mid(a, s.indexOf(to, a) - a);
    }
    QString Xf(const QString& ref) const {
        static const QRegularExpression s(R"re( s="(\d+)")re");
        const auto match = s.match(cells_.value(ref));
        return xfs_.value(match.hasMatch() ? match.captured(1).toInt() : 0);
    }

    QString xml_, styles_;
    QMap<QString, QString> cells_, formats_;
    QStringList xfs_;
};
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

    const TSheet sheet(path);
    EXPECT_EQ(sheet.Value("A1"), "批次号");
    EXPECT_TRUE(sheet.IsText("A2"));
    EXPECT_EQ(sheet.Value("A2"), "PC1");
    const int day = QDate(1899, 12, 30).daysTo(QDate(2025, 3, 5));  // Excel's day numbers
    EXPECT_FALSE(sheet.IsText("B2"));
    EXPECT_NEAR(sheet.Value("B2").toDouble(), day + 14.5 / 24, 1e-6);
    EXPECT_EQ(sheet.Format("B2"), "yyyy-mm-dd hh:mm");
    EXPECT_EQ(sheet.Value("C2"), "30000.5");
    EXPECT_EQ(sheet.Format("C2"), "0.00");
    EXPECT_EQ(sheet.Value("D2"), QString::number(farmer));
    EXPECT_FALSE(sheet.IsText("D2"));
    EXPECT_EQ(sheet.Value("E2"), "1200.5");
    EXPECT_EQ(sheet.Format("E2"), "0.00") << "money shows two decimals";
    EXPECT_EQ(sheet.Value("F2").toDouble(), day) << "a day written as text is a date";
    EXPECT_EQ(sheet.Format("F2"), "yyyy-mm-dd");
    EXPECT_TRUE(sheet.IsText("G2")) << "a phone number stays text";
    EXPECT_EQ(sheet.Value("G2"), "13800000000");
    EXPECT_EQ(sheet.Value("A3"), "PC2");
    EXPECT_FALSE(sheet.Has("B3")) << "nothing stands in an empty cell";
    EXPECT_TRUE(sheet.WellFormed());
    EXPECT_EQ(sheet.Value("H3"), "a&lt;&amp;&gt;_x0001__x005F_x0041_");
    EXPECT_EQ(int(sheet.Width(8)), 60) << "a long text's column is capped";
}

