#pragma once
// End of a drying round: the operator records how the dryer was unloaded and decides whether the
// grain goes into a dry-grain position or is dried once more.

#include "data/uValue.h"

#include "forms/uEntryDialog.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class TDM;

// The open round of a batch with what its end needs to know of the batch.
struct TOpenRound {
    QString BatchNo;
    int DryID = 0;
    int Round = 0;
    int EquipID = 0;
    int WhInID = 0;
    int OpID = 0;
    QDateTime StartTime;
    int GrainID = 0;
    int FarmerID = 0;
    double WetNetWt = 0;  // as registered at intake, the same for every round
    std::optional<double> InMoisture;
};

// The figures worked out while the operator types, as the boxes show them.
struct TRoundFigures {
    QString LossWt;
    QString LossRate;
    QString DryHours;
};
// Loss and rate are measured against the intake weight, so a re-dry round shows the loss since intake.
TRoundFigures RecalcRound(double wetNetWt, const QString& dryNetWt, const QDateTime& start, const QDateTime& end);

// The operation log's detail of a passed round; the theoretical dry weight, when the moisture
// readings give one, stays on record as the figure the farmer was shown.
QString PassLogDetail(int round, double dry, double lossWt, double lossRate, int dryWhId,
                      std::optional<double> theoretical);

// What the end-of-round dialog collected; number boxes as typed.
struct TRoundEndInput {
    QDateTime EndTime;
    QString OutMoisture;
    QString DryNetWt;
    QString DryHours;
    QString LossWt;
    QString LossRate;
    QString AbnormalMemo;
    int DryWhID = 0;
};

enum class TRoundField { None, OutMoisture, DryNetWt, DryWh, EndTime, DryHours, LossWt, LossRate, AbnormalMemo };

struct TRoundEndResult {
    QString Refusal;  // empty when saved
    TRoundField Focus = TRoundField::None;
    bool Saved() const { return Refusal.isEmpty(); }
};

class TDryEndLogic {
public:
    explicit TDryEndLogic(TDM& dm) : dm_(dm) {}

    std::optional<TOpenRound> LoadOpenRound(const QString& batchNo) const;

    TRoundEndResult CheckPass(const TOpenRound& round, const TRoundEndInput& in) const;
    TRoundEndResult CheckFail(const TOpenRound& round, const TRoundEndInput& in) const;
    // The round passed: it is closed and the dry grain is put into store, all in one transaction.
    // A database failure comes back as the refusal "入仓失败：" + its Chinese text, with nothing written.
    TRoundEndResult Pass(const TOpenRound& round, const TRoundEndInput& in);
    // The round failed: it is closed and the next round opened on the same dryer, in one transaction.
    // A database failure comes back as the refusal "返烘单生成失败：" + its Chinese text, with nothing written.
    TRoundEndResult Fail(const TOpenRound& round, const TRoundEndInput& in);

private:
    QString StaleRefusal(const TOpenRound& round) const;
    void CloseRound(const TOpenRound& round, const TRoundEndInput& in);

    TDM& dm_;
};

class TfrmDryEnd : public TEntryDialog {
    Q_OBJECT
public:
    TfrmDryEnd(TDM& dm, const QString& batchNo, QWidget* parent = nullptr);

    // False when the batch has no open round: the dialog is then not to be shown.
    bool HasOpenRound() const { return round_.has_value(); }
    TRoundEndInput Collected() const;

    void DoPass();
    void DoFail();

    QDateTimeEdit* dtEnd = nullptr;
    QLineEdit* edMoisture = nullptr;
    QLineEdit* edDryNet = nullptr;
    QLineEdit* edHours = nullptr;
    QLineEdit* edLoss = nullptr;
    QLineEdit* edRate = nullptr;
    QLineEdit* edAbnormal = nullptr;
    QComboBox* cbDryWh = nullptr;
    QLabel* lblLossCheck = nullptr;  // read-only: what the water alone explains against the scale

private:
    void BuildUI();
    void Recalc();
    void ShowLossCheck();
    void Finish(const TRoundEndResult& result);

    TDM& dm_;
    TDryEndLogic logic_;
    std::optional<TOpenRound> round_;
    double allowance_ = 0;
};
