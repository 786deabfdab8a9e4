#include "forms/uCsv.h"

#include "forms/uGrid.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {
void AddBatch(TTestCentre& c, const QString& no, int farmer, const QString& memo, double gross, double fee,
              const QDateTime& at, const TValue& tare) {
    c.dm().ExecSQLP("INSERT INTO T_Batch(BatchNo,FarmerID,QualityMemo,GrossWt,EstFee,RegTime,TareWt) "
                    "VALUES(:n,:f,:m,:g,:e,:t,:w)",
                    {{"n", no}, {"f", farmer}, {"m", memo}, {"g", gross}, {"e", TValue::Money(fee)},
                     {"t", at}, {"w", tare}});
}

const char* const kLedger =
    "SELECT b.BatchNo AS 批次号, f.Name AS 农户, b.QualityMemo AS 备注, b.GrossWt AS 毛重, "
    "b.EstFee AS 预估费用, b.RegTime AS 登记时间, b.TareWt AS 皮重 "
    "FROM T_Batch b LEFT JOIN T_Farmer f ON f.FarmerID=b.FarmerID ORDER BY b.BatchNo";

QString ReadGb18030(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<no file>";
    const QByteArray bytes = f.readAll();
    QStringDecoder decode("GB18030");
    const QString text = decode(bytes);
    return decode.hasError() || bytes.startsWith("\xEF\xBB\xBF") ? QStringLiteral("<not GB18030>") : text;
}
}  // namespace

TEST(Csv, ExportReadsBackAsGb18030WithEveryRowIntactAndNoFormulaToRun) {
    // Text a spreadsheet would run is made plain text; numbers stay numbers.
    for (const auto& [text, quoted] : std::vector<std::pair<QString, QString>>{
             {"上\n下", "\"上\n下\""}, {"+86 139", "'+86 139"}, {"-abc", "'-abc"}, {"=A1,B1", "\"'=A1,B1\""},
             {"+3", "+3"}, {"-1e-3", "-1e-3"}})
        EXPECT_EQ(CsvQuote(text), quoted);

    TTestCentre c;
    TTestPrompter prompter;
    TQueryModel model(c.dm());
    model.Open(kLedger);
    ExportCsv(model, "出库台账");  // cancelled: no file, no notice
    EXPECT_TRUE(prompter.Shown.empty());
    prompter.AnswerSaveAs(c.paths().AppDir + "no/such/folder/x.csv");
    EXPECT_THROW(ExportCsv(model, "出库台账"), std::runtime_error);
    EXPECT_TRUE(prompter.Shown.empty());
    const QString path = c.paths().AppDir + "台账.csv";
    prompter.AnswerSaveAs(path);
    ExportCsv(model, "出库台账");
    EXPECT_EQ(ReadGb18030(path), QStringLiteral("批次号,农户,备注,毛重,预估费用,登记时间,皮重\r\n"));

    const int zhang = c.addFarmer("张\"三\"");
    const int li = c.addFarmer("李四");
    const int formula = c.addFarmer("=HYPERLINK(\"x\")");
    const QDateTime at(QDate(2025, 3, 3), QTime(14, 5, 9));
    AddBatch(c, "PC001", zhang, "含水,偏高", 1234.5, 88.8, at, {});
    AddBatch(c, "PC002", li, "第一行\r\n第二行", -12.5, -3, at.addSecs(3600), 0.0);
    AddBatch(c, "PC003", formula, "@SUM(A1)", -5, 0.125, at.addDays(1), 1e7);
    model.Open(kLedger);
    model.SetCaption(0, "批次 编号");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::Append));
    old.write(QByteArray(5000, 'x'));  // an older, longer export is replaced as a whole
    old.close();
    prompter.Clear();
    prompter.AnswerSaveAs(path);
    ExportCsv(model, QStringLiteral("收粮入库台账"));

    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^收粮入库台账\d{8}_\d{6}\.csv$)"))
                    .match(prompter.ProposedFileNames.value(3)).hasMatch())
        << qPrintable(prompter.ProposedFileNames.join('|'));
    EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("已导出：") + QDir::toNativeSeparators(path)});
    EXPECT_EQ(ReadGb18030(path),
              QStringLiteral("批次 编号,农户,备注,毛重,预估费用,登记时间,皮重\r\n"
                             "PC001,\"张\"\"三\"\"\",\"含水,偏高\",1234.5,88.8,2025-03-03 14:05:09,\r\n"
                             "PC002,李四,\"第一行\r\n第二行\",-12.5,-3,2025-03-03 15:05:09,0\r\n"
                             "PC003,\"'=HYPERLINK(\"\"x\"\")\",'@SUM(A1),-5,0.125,2025-03-04 14:05:09,10000000\r\n"));
}
