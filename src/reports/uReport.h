#pragma once
// The reports and traceability centre: fixed reports over the business tables, shown in a grid
// and, for the reports with figures over time or by kind, as a chart; printed as a listing (or
// previewed first) or exported to CSV or Excel.

#include "forms/uExport.h"
#include "reports/uPrintTarget.h"
#include "reports/uReportQuery.h"

#include <QWidget>

class QChartView;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QTabWidget;
class QTableView;
class TDM;
class TQueryModel;

class TfrmReport : public QWidget {
    Q_OBJECT
public:
    explicit TfrmReport(TDM& dm, QWidget* owner = nullptr);

    void SelectReport(int index);  // an index outside the list leaves the choice as it is
    TReportInput Input() const;

    void DoQuery();
    void DoPrint(TPrintTarget target = TPrintTarget::Printer);
    void DoExport(TExportFormat format = TExportFormat::Csv);

    QComboBox* cbType = nullptr;
    QDateTimeEdit* dtp1 = nullptr;
    QDateTimeEdit* dtp2 = nullptr;
    QLineEdit* edtBatch = nullptr;
    QComboBox* cbFarmer = nullptr;
    QTableView* grid = nullptr;
    QTabWidget* tabs = nullptr;  // the grid, and the chart of the same rows
    QChartView* chartView = nullptr;
    TQueryModel* Result() const { return model_; }

private:
    void BuildUI();
    bool HasRows() const;
    // Draws the rows of the report last run, when the chart tab is in front.
    void RefreshChart();

    TDM& dm_;
    TQueryModel* model_ = nullptr;
    TReportKind shownKind_ = TReportKind::Daily;  // the report whose rows the grid holds
    bool chartStale_ = true;
};

// Shows the one reports window (creating it on first use) with the given report chosen; runs
// no report by itself.
void OpenReport(TDM& dm, int reportIndex, QWidget* owner = nullptr);
