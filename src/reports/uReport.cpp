#include "reports/uReport.h"

#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "reports/uChart.h"
#include "reports/uPrint.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTableView>

TfrmReport::TfrmReport(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmReport::BuildUI() {
    setWindowTitle(QStringLiteral("台账报表与溯源中心"));
    resize(1020, 580);
    ApplyFormFont(this);

    QWidget* bar = MakeToolbar(this, 76);
    MakeLabel(bar, QStringLiteral("报表:"), 8, 8, 40);
    cbType = MakeCombo(bar, 48, 7, 200);
    cbType->addItems(ReportNames());
    MakeLabel(bar, QStringLiteral("日期从:"), 260, 8, 52);
    dtp1 = MakeDatePicker(bar, 312, 9, 130, true, QDateTime(QDate::currentDate().addDays(-30), QTime(0, 0)));
    MakeLabel(bar, QStringLiteral("到:"), 450, 8, 24);
    dtp2 = MakeDatePicker(bar, 474, 9, 130, true, QDateTime(QDate::currentDate(), QTime(0, 0)));
    MakeButton(bar, QStringLiteral("查询"), 614, 6, 76, 28, [this] { DoQuery(); });

    MakeLabel(bar, QStringLiteral("批次号:"), 8, 44, 52);
    edtBatch = MakeEdit(bar, 60, 45, 160);
    MakeLabel(bar, QStringLiteral("农户:"), 230, 44, 40);
    cbFarmer = MakeCombo(bar, 270, 43, 170);
    FillFarmerCombo(dm_, cbFarmer, QStringLiteral("全部农户"));
    cbFarmer->setCurrentIndex(0);
    MakeButton(bar, QStringLiteral("打印报表"), 450, 42, 80, 28, [this] { DoPrint(); });
    MakeButton(bar, QStringLiteral("打印预览"), 536, 42, 80, 28, [this] { DoPrint(TPrintTarget::Preview); });
    MakeButton(bar, QStringLiteral("导出CSV"), 622, 42, 80, 28, [this] { DoExport(); });
    MakeButton(bar, QStringLiteral("导出Excel"), 708, 42, 84, 28, [this] { DoExport(TExportFormat::Excel); });
    MakeButton(bar, QStringLiteral("关闭"), 798, 42, 68, 28, [this] { close(); });

    tabs = new QTabWidget(this);
    layout()->addWidget(tabs);
    auto* table = new QWidget;
    model_ = new TQueryModel(dm_, this);
    grid = MakeGrid(table, model_);
    tabs->addTab(table, QStringLiteral("表格"));
    chartView = new QChartView;
    chartView->setRenderHint(QPainter::Antialiasing);
    tabs->addTab(chartView, QStringLiteral("图表"));
    connect(tabs, &QTabWidget::currentChanged, this, [this] { RefreshChart(); });
    connect(edtBatch, &QLineEdit::returnPressed, this, [this] { DoQuery(); });
    CentreOnScreen(this);
}

void TfrmReport::SelectReport(int index) {
    if (index >= 0 && index < cbType->count()) cbType->setCurrentIndex(index);
}

TReportInput TfrmReport::Input() const {
    return {dtp1->date(), dtp2->date(), ComboID(cbFarmer), edtBatch->text(), LossAllowance()};
}

void TfrmReport::DoQuery() {
    // The previous result goes first: a refused or failed report leaves nothing to print.
    model_->Close();
    shownKind_ = TReportKind(cbType->currentIndex());
    chartStale_ = true;
    const TReportQuery report = ReportQuery(dm_.Engine(), shownKind_, Input());
    if (!report.Refusal.isEmpty()) {
        ShowWarn(report.Refusal);
        edtBatch->setFocus();
        return;
    }
    try {
        model_->Open(report.Query);
    } catch (const TDbError& e) {
        ShowWarn(QStringLiteral("查询失败：") + DbErrorText(e));
        RefreshChart();
        return;
    }
    FitColumns(grid, 30);
    RefreshChart();
}

void TfrmReport::RefreshChart() {
    if (tabs->currentWidget() != chartView || !chartStale_) return;
    chartStale_ = false;
    RunGuarded([this] {
        QChart* old = chartView->chart();
        chartView->setChart(MakeChart(ReportChart(shownKind_, *model_)));
        delete old;
    });
}

bool TfrmReport::HasRows() const { return model_->IsOpen() && model_->rowCount() > 0; }

// The title and the file name follow the report chosen now, as the user reads the list.
void TfrmReport::DoPrint(TPrintTarget target) {
    if (!HasRows()) {
        ShowWarn(QStringLiteral("请先查询出要打印的数据"));
        return;
    }
    RunGuarded([&] { PrintListing(*model_, cbType->currentText(), target); });
}

void TfrmReport::DoExport(TExportFormat format) {
    if (!HasRows()) {
        ShowWarn(QStringLiteral("请先查询出要导出的数据"));
        return;
    }
    RunGuarded([&] { ExportGrid(*model_, cbType->currentText(), format); });
}

void OpenReport(TDM& dm, int reportIndex, QWidget* owner) {
    static QPointer<TfrmReport> instance;
    if (!instance) instance = new TfrmReport(dm, owner);
    instance->SelectReport(reportIndex);
    BringToFront(instance);
}
