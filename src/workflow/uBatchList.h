#pragma once
// The intake ledger: every batch with a status filter and a keyword search, and the void of a
// wrong batch by an administrator.

#include "data/uValue.h"
#include "forms/uExport.h"
#include "reports/uPrintTarget.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QTableView;
class TDM;
struct TLockedBatch;
class TQueryModel;
struct TSession;

// The ledger query; "全部" or an empty status lists every status.
TSqlText BatchListQuery(TDbEngine engine, const QString& status, const QString& keyword);

class TBatchVoidLogic {
public:
    explicit TBatchVoidLogic(TDM& dm) : dm_(dm) {}

    // Why the session may not start voiding this batch, or empty.
    QString StartRefusal(const TSession& session, const QString& batchNo) const;
    static QString ReasonRefusal(const QString& reason);
    // Voids the batch and every stock row of it in one transaction and logs the reason;
    // the refusal when the reason is blank or the batch is already void, else empty.
    QString Void(const QString& batchNo, const QString& reason);

private:
    static QString StatusRefusal(const QString& batchNo, const TLockedBatch& batch);

    TDM& dm_;
};

class TfrmBatchList : public QWidget {
    Q_OBJECT
public:
    TfrmBatchList(TDM& dm, QWidget* owner = nullptr);

    void Reload();
    // The batch number of the current row, or empty when the list is empty.
    QString CurrentBatchNo() const;

    void DoNew();
    void DoEdit();
    void DoVoid();
    void DoExport(TExportFormat format = TExportFormat::Csv);
    void DoReprint(TPrintTarget target = TPrintTarget::Printer);

    QComboBox* cbStatus = nullptr;
    QLineEdit* edKeyword = nullptr;
    QTableView* grid = nullptr;

private:
    void BuildUI();
    void OpenEditor(const QString& batchNo);

    TDM& dm_;
    TQueryModel* model_ = nullptr;
};

// Shows the one ledger window (creating it on first use) and reloads it.
void OpenBatchList(TDM& dm, QWidget* owner = nullptr);
