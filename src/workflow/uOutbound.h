#pragma once
// Outbound: dry grain handed out of a stock row, to the farmer who brought it or sold on, and
// the ledger of every outbound with its slips.

#include "data/uValue.h"
#include "forms/uExport.h"
#include "reports/uPrintTarget.h"

#include "forms/uEntryDialog.h"

#include <QDialog>
#include <QList>
#include <QWidget>
#include <optional>
#include <utility>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QTableView;
class TDM;
class TQueryModel;

// A stock row that grain can be handed out of.
struct TStockChoice {
    int StockID = 0;
    QString BatchNo;
    double Remaining = 0;
    QString Text;  // as the drop-down list shows it
};

// What the outbound dialog collected; the weight as typed.
struct TOutboundInput {
    int StockID = 0;  // 0 when no row is chosen
    QString OutType;
    QDateTime OutTime;
    QString Weight;
    QString Destination;
    QString Driver;
    QString CarNo;
    int OpID = 0;
    QString Remark;
};

enum class TOutField { None, Weight, Destination, Driver, CarNo, Remark };

struct TOutboundResult {
    QString Refusal;  // empty when saved
    TOutField Focus = TOutField::None;
    QString OutNo;    // the number of the outbound saved
    bool Saved() const { return Refusal.isEmpty(); }
};

class TOutboundLogic {
public:
    explicit TOutboundLogic(TDM& dm) : dm_(dm) {}

    // Dry grain in store that still holds something, newest row first; one statement.
    QList<TStockChoice> Choices() const;
    // What can still be handed out of the row; 0 when it is not dry grain in store.
    double Remaining(int stockId) const;
    // The first failing check against the stock as it is now, or empty.
    TOutboundResult Check(const TOutboundInput& in) const;
    // In one transaction: checks against the stock as it is then (another station may have
    // handed the grain out since the dialog showed it), draws the number, writes the outbound and its movement,
    // empties the row and moves an emptied batch on to settlement, and logs it. A database error
    // comes back as "出库失败：" + its text, with nothing written.
    TOutboundResult Save(const TOutboundInput& in);

private:
    struct TRowState;
    void LockBatchStock(int stockId);
    TRowState ReadRow(int stockId) const;
    TOutboundResult CheckInput(const TOutboundInput& in) const;
    TOutboundResult CheckAgainst(const TOutboundInput& in, double remaining) const;
    void Write(const TOutboundInput& in, const TRowState& row, const QString& outNo);

    TDM& dm_;
};

// The ledger query; "全部" lists every type; dates bound the outbound time when given.
TSqlText OutListQuery(TDbEngine engine, std::optional<std::pair<QDate, QDate>> dates, const QString& type, const QString& keyword);

class TfrmOutEdit : public TEntryDialog {
    Q_OBJECT
public:
    explicit TfrmOutEdit(TDM& dm, QWidget* parent = nullptr);

    // The number of the outbound saved, empty until a save succeeds.
    const QString& OutNo() const { return outNo_; }
    TOutboundInput Collected() const;

    void DoOK();

    QComboBox* cbStock = nullptr;
    QLabel* lblRemain = nullptr;
    QComboBox* cbType = nullptr;
    QDateTimeEdit* dtOut = nullptr;
    QLineEdit* edWeight = nullptr;
    QLineEdit* edDest = nullptr;
    QLineEdit* edDriver = nullptr;
    QLineEdit* edCar = nullptr;
    QComboBox* cbOperator = nullptr;
    QLineEdit* edRemark = nullptr;

private:
    void BuildUI();
    void FillStock();
    void ShowRemaining();

    TDM& dm_;
    TOutboundLogic logic_;
    QString outNo_;
};

class TfrmOutList : public QWidget {
    Q_OBJECT
public:
    TfrmOutList(TDM& dm, QWidget* owner = nullptr);

    void Reload();
    // The outbound number of the current row, or empty when the ledger is empty.
    QString CurrentOutNo() const;

    void DoNew();
    void DoPrint(TPrintTarget target = TPrintTarget::Printer);
    void DoExport(TExportFormat format = TExportFormat::Csv);

    QCheckBox* chkDate = nullptr;
    QDateTimeEdit* dtFrom = nullptr;
    QDateTimeEdit* dtTo = nullptr;
    QComboBox* cbType = nullptr;
    QLineEdit* edKeyword = nullptr;
    QTableView* grid = nullptr;
    TQueryModel* Ledger() const { return model_; }

private:
    void BuildUI();
    // The one place the ledger hands an outbound number to the slip printer.
    void PrintSlip(const QString& outNo, TPrintTarget target = TPrintTarget::Printer);

    TDM& dm_;
    TQueryModel* model_ = nullptr;
};

// Shows the one outbound ledger (creating it on first use) and reloads it.
void OpenOutList(TDM& dm, QWidget* owner = nullptr);
