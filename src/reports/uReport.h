#pragma once
// The reports and traceability centre: six fixed reports over the business tables, shown in a
// grid, printed as a listing or exported to CSV.

#include "reports/uReportQuery.h"

#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QLineEdit;
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
    void DoPrint();
    void DoExport();

    QComboBox* cbType = nullptr;
    QDateTimeEdit* dtp1 = nullptr;
    QDateTimeEdit* dtp2 = nullptr;
    QLineEdit* edtBatch = nullptr;
    QComboBox* cbFarmer = nullptr;
    QTableView* grid = nullptr;
    TQueryModel* Result() const { return model_; }

private:
    void BuildUI();
    bool HasRows() const;

    TDM& dm_;
    TQueryModel* model_ = nullptr;
};

// Shows the one reports window (creating it on first use) with the given report chosen; runs
// no report by itself.
void OpenReport(TDM& dm, int reportIndex, QWidget* owner = nullptr);
