#include "app/uMain.h"
#include "forms/uGrid.h"
#include "reports/ReportWorld.h"
#include "reports/uReport.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {
TfrmReport* OpenedReport(QWidget& owner, TTestCentre& c, int index) {
    OpenReport(c.dm(), index, &owner);
    return owner.findChild<TfrmReport*>();
}

void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

// A batch dried, taken out and settled, for the reports to find.
void SettledBatch(TTestCentre& c, const QString& memo = {}) {
    TReportWorld w(c.dm());
    const QDateTime reg(QDate::currentDate().addDays(-2), QTime(8, 0));
    w.Batch("PC1", reg, 10000, "已完结", c.addFarmer("张三", "13800000000"));
    w.Round("PC1", 1, 1, reg.addSecs(3600), reg.addSecs(7 * 3600), 8650, 1350, 13.5);
    c.dm().ExecSQLP("UPDATE T_Drying SET AbnormalMemo=:m", {{"m", memo}});
    w.Out("CK1", "PC1", reg.addDays(1), 3000);
    w.Settle("JS1", "PC1", 1, reg.addDays(1), 1200, 1000);
}
}  // namespace

TEST(ReportWindow, OpensOnTheAskedReportRunsOnlyOnQueryAndRefusesWhatCannotBeDone) {
    TTestCentre c;
    TTestPrompter prompter;
    SettledBatch(c);
    QWidget owner;
    TfrmReport* w = OpenedReport(owner, c, int(TReportKind::FarmerStatement));
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->Result()->IsOpen()) << "opening runs no report";
    EXPECT_EQ(OpenedReport(owner, c, 99), w);
    EXPECT_EQ(w->cbType->currentIndex(), int(TReportKind::FarmerStatement)) << "an unknown report leaves the choice";
    EXPECT_EQ(OpenedReport(owner, c, int(TReportKind::Trace)), w);
    EXPECT_EQ(owner.findChildren<TfrmReport*>().size(), 1);

    w->DoPrint();
    w->DoExport();
    PressEnter(w->edtBatch);
    EXPECT_EQ(prompter.Texts(), (QStringList{"请先查询出要打印的数据", "请先查询出要导出的数据", "请输入要溯源的批次号"}));
    w->edtBatch->setText("PC1");
    PressEnter(w->edtBatch);
    ASSERT_EQ(w->Result()->rowCount(), 1) << "Enter in the batch box runs the trace";
    EXPECT_EQ(VarToFloat(w->Result()->Value(0, "累计出库公斤")), 3000);

    // A refused trace takes the previous result away, so nothing stale is printed.
    w->edtBatch->setText("  ");
    prompter.Clear();
    w->DoQuery();
    w->DoPrint();
    EXPECT_EQ(prompter.Texts(), (QStringList{"请输入要溯源的批次号", "请先查询出要打印的数据"}));

    // A report with no rows is not an error, but there is nothing to print or export.
    w->cbType->setCurrentIndex(int(TReportKind::Loss));
    w->dtp1->setDate(QDate(2001, 1, 1));
    w->dtp2->setDate(QDate(2001, 1, 31));
    prompter.Clear();
    w->DoQuery();
    w->DoExport();
    EXPECT_EQ(prompter.Texts(), QStringList{"请先查询出要导出的数据"});

    c.dm().ExecSQLP("DROP TABLE T_Outbound");
    prompter.Clear();
    w->cbType->setCurrentIndex(int(TReportKind::Daily));
    w->DoQuery();
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_TRUE(prompter.LastText().startsWith("查询失败：")) << prompter.LastText().toStdString();
    EXPECT_EQ(w->Result()->rowCount(), 0);
}

TEST(ReportWindow, PrintsAndExportsUnderTheReportChosenNow) {
    TTestCentre c;
    TTestPrompter prompter;
    SettledBatch(c, QString("烘干机温度异常，已停机检查").repeated(8));
    QWidget owner;
    TfrmReport* w = OpenedReport(owner, c, int(TReportKind::Trace));
    w->edtBatch->setText("PC1");
    w->DoQuery();
    ASSERT_EQ(w->Result()->rowCount(), 1);

    // The rows are the trace's, the name is that of the report chosen since.
    w->cbType->setCurrentIndex(int(TReportKind::Monthly));
    const QString csv = c.paths().AppDir + "trace.csv";
    prompter.AnswerSaveAs(csv);
    w->DoExport();
    EXPECT_TRUE(prompter.ProposedFileNames.value(0).startsWith("月度经营汇总"));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString(QStringDecoder("GB18030").decode(file.readAll())).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith("PC1,")) << lines[1].toStdString();

    const QString pdf = c.paths().AppDir + "trace.pdf";
    prompter.AnswerPrintTo(pdf);
    w->DoPrint();
    EXPECT_EQ(prompter.PrintTitles, QStringList{"月度经营汇总"});
    EXPECT_TRUE(QString(PdfPages(pdf).value(0)).remove(' ').contains("PC1"));
}

TEST(ReportWindow, MainWindowButtonsOpenTheirReportInOneWindow) {
    TTestCentre c;
    TfrmMain main(c.dm(), c.paths());
    main.BuildUI();
    const std::vector<std::pair<int, TReportKind>> buttons{
        {14, TReportKind::Daily}, {22, TReportKind::FarmerStatement}, {23, TReportKind::Loss}, {21, TReportKind::Daily}};
    for (const auto& [code, report] : buttons) {
        main.DoAction(code);
        auto* w = main.findChild<TfrmReport*>();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->cbType->currentIndex(), int(report)) << code;
    }
    EXPECT_EQ(main.findChildren<TfrmReport*>().size(), 1);
}
