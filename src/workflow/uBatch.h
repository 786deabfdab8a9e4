#pragma once
// Intake registration: a load of wet grain at the weighbridge becomes a batch with its
// wet-grain stock row.

#include "data/uRowStamp.h"
#include "data/uValue.h"
#include "scale/uPhoto.h"

#include "forms/uEntryDialog.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TDM;
class TPhotoDesk;
class TScaleDesk;

inline const QString kStatusWaiting = QStringLiteral("待烘干");
inline const QString kStatusDrying = QStringLiteral("烘干中");
inline const QString kStatusInStore = QStringLiteral("在库");
inline const QString kStatusVoid = QStringLiteral("已作废");
inline const QString kStockOut = QStringLiteral("已出库");

// What the registration dialog collected; number boxes as typed.
struct TBatchInput {
    QString BatchNo;  // empty for a new batch
    QDateTime RegTime;
    QString CarNo;
    int FarmerID = 0;
    int GrainID = 0;
    int OpID = 0;
    int WhID = 0;
    QString Team;
    QString TargetMoisture;
    QString InMoisture;
    QString Impurity;
    QString GrossWt;
    QString TareWt;
    QString WetNetWt;
    QString EstFee;
    QString QualityMemo;
    QString LogNote;  // what the weighbridge adds to the log row: where the weights came from
    TRowStamp Read;   // a correction: the batch as the dialog read it
    QList<TPhoto> Photos;  // the weighings' pictures taken since the dialog opened, recorded with the save
};

struct TBatchRecord {
    TBatchInput Input;
    QString Status;
};

enum class TBatchField {
    None, CarNo, Farmer, Grain, Wh, Team, TargetMoisture, InMoisture, Impurity, GrossWt, TareWt, WetNetWt, EstFee,
    QualityMemo
};

struct TBatchSaveResult {
    QString Refusal;  // empty when saved
    TBatchField Focus = TBatchField::None;
    QString BatchNo;  // the saved batch's number
    bool Saved() const { return Refusal.isEmpty(); }
};

// Gross less tare as the weigher sees it: at most two decimals, a negative net keeps its sign;
// "—" while either box holds no acceptable weight.
QString NetWeightText(const QString& gross, const QString& tare);

class TBatchLogic {
public:
    explicit TBatchLogic(TDM& dm) : dm_(dm) {}

    // The drying fee expected for the load from its grain's fee standard, in yuan.
    double EstimateFee(int grainId, double wetNetKg, double inMoisture) const;
    // The operator's shift, or empty when none is recorded.
    QString OperatorTeam(int opId) const;
    // The stored batch as the dialog shows it; nothing when it does not exist.
    std::optional<TBatchRecord> Load(const QString& batchNo) const;

    // The first failing check, or empty.
    TBatchSaveResult Check(const TBatchInput& in) const;
    // The question to ask before a load that would fill its wet position beyond its capacity is
    // saved, or empty.
    QString CapacityQuestion(const TBatchInput& in) const;
    // Checks, then writes the batch and its wet-grain row in one transaction and logs it.
    // A database failure comes back as the refusal "保存失败：" + its Chinese text, with nothing written.
    TBatchSaveResult Save(const TBatchInput& in);

private:
    TBatchSaveResult Write(const TBatchInput& in);

    TDM& dm_;
};

// The fee preview of the registration; "—" while the net or the moisture is no acceptable figure.
QString EstimateFeeText(const TBatchLogic& logic, int grainId, const QString& wetNet, const QString& moisture);

class TfrmBatchEdit : public TEntryDialog {
    Q_OBJECT
public:
    // An empty batch number registers a new batch.
    TfrmBatchEdit(TDM& dm, const QString& batchNo, QWidget* parent = nullptr);

    // The number of the batch saved, for offering its printout.
    const QString& BatchNo() const { return batchNo_; }
    TBatchInput Collected() const;

    void DoOK();

    // Controls, reachable by the tests that check the wiring.
    QLineEdit* edNo = nullptr;
    QDateTimeEdit* dtReg = nullptr;
    QLineEdit* edCar = nullptr;
    QComboBox* cbFarmer = nullptr;
    QComboBox* cbGrain = nullptr;
    QComboBox* cbOperator = nullptr;
    QComboBox* cbTeam = nullptr;
    QLineEdit* edTarget = nullptr;
    QComboBox* cbWh = nullptr;
    QLineEdit* edMoisture = nullptr;
    QLineEdit* edImpurity = nullptr;
    QLineEdit* edGross = nullptr;
    QLineEdit* edTare = nullptr;
    QLineEdit* edWetNet = nullptr;
    QLineEdit* edFee = nullptr;
    QPlainTextEdit* mmMemo = nullptr;
    QPushButton* btnOK = nullptr;
    TScaleDesk* scale = nullptr;  // only at a station with a weighbridge port
    TPhotoDesk* photos = nullptr;  // only at a station with cameras

private:
    void BuildUI();
    void LoadBatch();
    void MakeViewOnly(const QString& status);
    void UpdateNet();
    void UpdateFee();
    void FillTeam();
    QWidget* FocusTarget(TBatchField field) const;
    bool ConfirmScale(TBatchInput& in);
    QList<TPhoto> Photographed(const TBatchInput& in);

    TDM& dm_;
    TBatchLogic logic_;
    QString batchNo_;
    TRowStamp read_;
    bool isNew_;
};
