#pragma once
// The settlement ledger: every batch that is not voided with its settlement, where finance
// settles and edits, prints the slip, and an administrator voids a wrong settlement.

#include "data/uValue.h"
#include "forms/uExport.h"
#include "reports/uPrintTarget.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QTableView;
class TDM;
class TQueryModel;
struct TSession;

// The ledger query; filter "全部", "未结算", "挂账", "部分欠款" or "已结清".
TSqlText SettleListQuery(TDbEngine engine, const QString& filter, const QString& keyword);

class TSettleVoidLogic {
public:
    explicit TSettleVoidLogic(TDM& dm) : dm_(dm) {}

    // Why the session may not start voiding the row's settlement (none when empty), or empty.
    static QString StartRefusal(const TSession& session, const QString& settleNo);
    // Deletes the settlement and moves a finished batch back to "待结算" in one transaction; the
    // log row keeps the money of the deleted settlement. The refusal, or empty when voided.
    QString Void(const QString& settleNo);

private:
    TDM& dm_;
};

class TfrmSettleList : public QWidget {
    Q_OBJECT
public:
    TfrmSettleList(TDM& dm, QWidget* owner = nullptr);

    void Reload();
    // The current row's value, or null when the list is empty.
    TValue CurrentValue(const QString& column) const;

    void DoSettle();
    void DoPrint(TPrintTarget target = TPrintTarget::Printer);
    void DoVoid();
    void DoExport(TExportFormat format = TExportFormat::Csv);

    QComboBox* cbFilter = nullptr;
    QLineEdit* edKeyword = nullptr;
    QTableView* grid = nullptr;
    TQueryModel* Model() const { return model_; }

private:
    void BuildUI();
    // Runs the settlement dialog; the settlement saved, or empty.
    QString Settle(const QString& batchNo, const QString& settleNo);
    void SelectBatch(const QString& batchNo);

    TDM& dm_;
    TQueryModel* model_ = nullptr;
};

// Shows the one settlement ledger (creating it on first use) and reloads it.
void OpenSettleList(TDM& dm, QWidget* owner = nullptr);
