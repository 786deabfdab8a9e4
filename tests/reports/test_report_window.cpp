#include "app/uMain.h"
#include "forms/uGrid.h"
#include "reports/ReportWorld.h"
#include "reports/uReport.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringDecoder>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace {
void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

void Query(TfrmReport* w, TReportKind kind) {
    w->cbType->setCurrentIndex(int(kind));
    w->DoQuery();
}
}  // namespace

TEST(ReportWindow, RunsOnlyOnQueryRefusesWhatCannotBeDoneAndPrintsAndExportsUnderTheReportChosenNow) {
    TTestCentre c;
    TTestPrompter prompter;
    TReportWorld world(c.dm());
    const QDateTime reg(QDate::currentDate().addDays(-2), QTime(8, 0));
    world.Batch("PC1", reg, 10000, "已完结", c.addFarmer("张三", "13800000000"));
    world.Round("PC1", 1, 1, reg.addSecs(3600), reg.addSecs(7 * 3600), 8650, 1350, 13.5);
    c.dm().ExecSQLP("UPDATE T_Drying SET AbnormalMemo=:m", {{"m", QString("烘干机温度异常，已停机检查").repeated(8)}});
    world.Out("CK1", "PC1", reg.addDays(1), 3000);
    world.Settle("JS1", "PC1", 1, reg.addDays(1), 1200, 1000);

    // The main window's buttons open their report in one window; opening runs nothing.
    TfrmMain main(c.dm(), c.paths());
    main.BuildUI();
    for (const auto& [code, report] : std::vector<std::pair<int, TReportKind>>{
             {14, TReportKind::Daily}, {22, TReportKind::FarmerStatement}, {23, TReportKind::Loss}, {21, TReportKind::Daily}}) {
        main.DoAction(code);
        ASSERT_NE(main.findChild<TfrmReport*>(), nullptr);
        EXPECT_EQ(main.findChild<TfrmReport*>()->cbType->currentIndex(), int(report)) << code;
    }
    TfrmReport* w = main.findChild<TfrmReport*>();
    EXPECT_FALSE(w->Result()->IsOpen()) << "opening runs no report";
    OpenReport(c.dm(), 99, &main);
    EXPECT_EQ(w->cbType->currentIndex(), int(TReportKind::Daily)) << "an unknown report leaves the choice";
    OpenReport(c.dm(), int(TReportKind::Trace), &main);
    EXPECT_EQ(main.findChildren<TfrmReport*>().size(), 1);

    w->DoPrint();
    w->DoExport();
    PressEnter(w->edtBatch);
    EXPECT_EQ(prompter.Texts(), (QStringList{"请先查询出要打印的数据", "请先查询出要导出的数据", "请输入要溯源的批次号"}));
    w->edtBatch->setText("PC1");
    PressEnter(w->edtBatch);
    ASSERT_EQ(w->Result()->rowCount(), 1) << "Enter in the batch box runs the trace";
    EXPECT_EQ(VarToFloat(w->Result()->Value(0, "累计出库公斤")), 3000);

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

    // A refused trace takes the previous result away, so nothing stale is printed.
    w->cbType->setCurrentIndex(int(TReportKind::Trace));
    w->edtBatch->setText("  ");
    prompter.Clear();
    w->DoQuery();
    w->DoPrint();
    EXPECT_EQ(prompter.Texts(), (QStringList{"请输入要溯源的批次号", "请先查询出要打印的数据"}));

    // The chart follows the rows shown, not the list, and is redrawn for new rows while in front.
    w->dtp1->setDate(reg.date().addDays(-1));
    w->dtp2->setDate(QDate::currentDate());
    Query(w, TReportKind::LossCheck);
    w->cbType->setCurrentIndex(int(TReportKind::Energy));
    w->tabs->setCurrentWidget(w->chartView);
    EXPECT_EQ(w->chartView->chart()->series().size(), 3);
    w->DoQuery();
    EXPECT_TRUE(w->chartView->chart()->series().isEmpty());
    Query(w, TReportKind::LossCheck);
    const QString preview = c.paths().AppDir + "preview.pdf";
    prompter.RenderPreviewTo(preview);
    w->DoPrint(TPrintTarget::Preview);
    EXPECT_EQ(prompter.PreviewTitles, QStringList{"烘干损耗核对"});
    EXPECT_TRUE(prompter.PrintTitles.isEmpty()) << "the preview offers the printer itself";
    const QString page = PdfPages(preview).value(0);
    EXPECT_TRUE(page.contains("PC1") && page.contains("超出")) << page.toStdString();
    EXPECT_FALSE(PdfRawText(preview).contains("…")) << "the loss check fits sideways with every cell whole";

    // A report with no rows is not an error, but there is nothing to export.
    w->dtp1->setDate(QDate(2001, 1, 1));
    w->dtp2->setDate(QDate(2001, 1, 31));
    prompter.Clear();
    Query(w, TReportKind::Loss);
    w->DoExport();
    EXPECT_EQ(prompter.Texts(), QStringList{"请先查询出要导出的数据"});

    c.dm().ExecSQLP("DROP TABLE T_Outbound");
    prompter.Clear();
    Query(w, TReportKind::Daily);
    ASSERT_EQ(prompter.Shown.size(), 1u);
    EXPECT_TRUE(prompter.LastText().startsWith("查询失败：")) << prompter.LastText().toStdString();
    EXPECT_EQ(w->Result()->rowCount(), 0);
}
