#pragma once
// Settling a batch's drying fee: the fee items as finance agrees them with the farmer, the money
// received so far, and the settlement row and batch status that follow from them.

#include "data/uRowStamp.h"
#include "workflow/uFee.h"

#include "forms/uEntryDialog.h"

#include <QDialog>
#include <array>
#include <optional>

class QDateTimeEdit;
class QLabel;
class QLineEdit;
class TDM;

// The batch statuses a settlement leaves: finished when settled in full, else awaiting settlement.
inline const QString kBatchToSettle = QStringLiteral("待结算");
inline const QString kBatchFinished = QStringLiteral("已完结");

// The fee items' captions, in the order of TSettleAmounts::Item.
QString FeeItemCaption(int item);

// Why a batch in this status cannot be settled yet, or empty.
QString SettleStatusRefusal(const QString& batchStatus);
QString MissingSettleText(const QString& settleNo);

// What the settlement dialog collected; money boxes as typed.
struct TSettleInput {
    QString BatchNo;
    QString SettleNo;  // empty for a new settlement
    std::array<QString, 5> Items;
    QString Paid;  // received this time; negative to correct an earlier payment typed too high
    QDateTime SettleTime;
    QString Remark;
    int OverDays = 0;        // kept on the settlement as its storage days
    double EarlierPaid = 0;  // received before, as the dialog read it; the settlement keeps the sum
    TRowStamp Read;          // an edited settlement as the dialog read it
};

// The money boxes read the one way the live preview and the save share, each at the fen: the
// amount received is the earlier payments and this one together.
TSettleAmounts ReadSettleAmounts(const TSettleInput& in);

// What the dialog shows while typing: "—" for any figure a box the save would refuse takes part in.
struct TSettlePreview {
    QString Total;
    QString Received;  // 累计收款
    QString Debt;
    QString Status;    // empty while a figure is missing
    QString Line;      // "保存后结算状态：…", saying so when an amount was rounded to the fen
};
TSettlePreview SettlePreview(const TSettleInput& in);

// The question to ask before a save lowers what was already received, or empty.
QString LowerPaidQuestion(const TSettleInput& in);

struct TStoredSettle {
    std::array<double, 5> Items{};
    double Paid = 0;
    QDateTime SettleTime;
    QString Remark;
    TRowStamp Read;
};

// What the dialog opens on: the figures as of now, the intake moisture for its header, and the
// stored settlement when one is edited.
struct TSettleView {
    TFeeFigures Figures;
    double InMoisture = 0;
    std::optional<TStoredSettle> Stored;
};
QString SettleHeaderText(const QString& batchNo, const TSettleView& view);

enum class TSettleBox { None, Base, Moisture, Storage, ReDry, Other, Paid, Remark };

struct TSettleResult {
    QString Refusal;     // empty when saved
    TSettleBox Focus = TSettleBox::None;
    QString SettleNo;    // the saved settlement's number
    QString ExistingNo;  // the settlement another station made for the batch meanwhile
    bool Saved() const { return Refusal.isEmpty(); }
};

class TSettleLogic {
public:
    explicit TSettleLogic(TDM& dm) : dm_(dm) {}

    // The stored settlement is missing from the view when it has been voided meanwhile.
    TSettleView Open(const QString& batchNo, const QString& settleNo, const QDateTime& asOf) const;
    // The first failing check of the boxes, with the box to correct.
    TSettleResult Check(const TSettleInput& in) const;
    // Draws the number, writes the settlement, moves the batch and logs it in one transaction,
    // after making sure the batch may still be settled and has no other settlement. A database
    // error comes back as the refusal "保存失败：" + its reason, with nothing written.
    TSettleResult Save(const TSettleInput& in);

private:
    QString BatchRefusal(const QString& batchNo, int* farmerId) const;
    QString SettleRefusal(const TSettleInput& in, QString* existingNo) const;

    TDM& dm_;
};

class TfrmSettleEdit : public TEntryDialog {
    Q_OBJECT
public:
    // An empty settlement number settles the batch anew.
    TfrmSettleEdit(TDM& dm, const QString& batchNo, const QString& settleNo, QWidget* parent = nullptr);

    // False when the settlement to edit no longer exists: the dialog is then not to be shown.
    bool IsLoaded() const { return loaded_; }
    // After a successful save: the settlement's number, for printing its slip.
    const QString& SettleNo() const { return settleNo_; }
    // After a refused new settlement: the one the batch already has.
    const QString& ExistingSettleNo() const { return existingNo_; }
    const QString& StatusWord() const { return status_; }
    TSettleInput Collected() const;

    void DoOK();

    QLabel* lblHeader = nullptr;
    std::array<QLineEdit*, 5> edItems{};
    QLineEdit* edTotal = nullptr;
    QLineEdit* edEarlier = nullptr;   // 此前已收
    QLineEdit* edPaid = nullptr;      // 本次收款
    QLineEdit* edReceived = nullptr;  // 累计收款, what is stored
    QLineEdit* edDebt = nullptr;
    QLabel* lblPreview = nullptr;
    QDateTimeEdit* dtSettle = nullptr;
    QLineEdit* edRemark = nullptr;

private:
    void BuildUI(const TSettleView& view);
    void Recalc();
    QWidget* FocusTarget(TSettleBox box) const;

    TDM& dm_;
    TSettleLogic logic_;
    QString batchNo_;
    QString settleNo_;
    bool isNew_;
    bool loaded_ = true;
    int overDays_ = 0;
    double earlierPaid_ = 0;
    QString status_;
    QString existingNo_;
    TRowStamp read_;
};
