#pragma once
// Drying jobs: the queue of batches waiting for or on a dryer, their rounds, and the dispatch
// of a waiting batch to a dryer, which opens its first round.

#include "data/uValue.h"

#include <QDialog>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;
class QTableView;
class TDM;
class TQueryModel;

enum class TDryingView { Queue, WaitingOnly, DryingOnly, All };
TSqlText DryingListQuery(TDryingView view);
TSqlText DryingRoundsQuery(const QString& batchNo);

// Why a batch in this status cannot be dispatched, or empty.
QString DispatchStatusRefusal(const QString& status);
// Why there is no round of this batch to end, or empty.
QString OpenRoundRefusal(TDM& dm, const QString& batchNo);

// The batch as the dispatcher sees it before choosing a dryer.
struct TDispatchHeader {
    QString FarmerName;
    QString GrainName;
    double WetNetWt = 0;
    double InMoisture = 0;
    QString TargetMoisture;
};

// What the dispatch dialog collected.
struct TDispatchInput {
    QString BatchNo;
    int EquipID = 0;
    int WhInID = 0;
    QDateTime StartTime;
    int OpID = 0;
    QString TargetMoisture;
    QString DryTemp;
    QString FanGear;
};

enum class TDispatchField { None, Equip, Wh, TargetMoisture, DryTemp };

struct TDispatchResult {
    QString Refusal;  // empty when the round was opened
    TDispatchField Focus = TDispatchField::None;
    bool Saved() const { return Refusal.isEmpty(); }
};

class TDispatchLogic {
public:
    explicit TDispatchLogic(TDM& dm) : dm_(dm) {}

    TDispatchHeader Header(const QString& batchNo) const;
    TDispatchResult Check(const TDispatchInput& in) const;
    // The question to ask before the batch is sent to a dryer that is drying another, or empty.
    QString BusyQuestion(const TDispatchInput& in) const;
    // Opens round 1 and moves the batch into drying in one transaction, after making sure it is
    // still waiting and the dryer is in service. A database failure comes back as the refusal
    // "派工失败：" + its Chinese text, with nothing written.
    TDispatchResult Save(const TDispatchInput& in);

private:
    TDispatchResult Write(const TDispatchInput& in);

    TDM& dm_;
};

class TfrmDryStart : public QDialog {
    Q_OBJECT
public:
    TfrmDryStart(TDM& dm, const QString& batchNo, QWidget* parent = nullptr);

    TDispatchInput Collected() const;
    void DoOK();

    QComboBox* cbEquip = nullptr;
    QComboBox* cbWh = nullptr;
    QDateTimeEdit* dtStart = nullptr;
    QComboBox* cbOperator = nullptr;
    QLineEdit* edTarget = nullptr;
    QLineEdit* edTemp = nullptr;
    QComboBox* cbFan = nullptr;

private:
    void BuildUI(const TDispatchHeader& header);

    TDispatchLogic logic_;
    TDM& dm_;
    QString batchNo_;
};

class TfrmDrying : public QWidget {
    Q_OBJECT
public:
    TfrmDrying(TDM& dm, QWidget* owner = nullptr);

    void Reload();
    void ReloadRounds();
    QString CurrentBatchNo() const;
    QString CurrentStatus() const;

    void DoDispatch();
    void DoEndRound();

    QComboBox* cbView = nullptr;
    QTableView* grid = nullptr;
    QTableView* roundsGrid = nullptr;
    TQueryModel* Batches() const { return batches_; }
    TQueryModel* Rounds() const { return rounds_; }

private:
    void BuildUI();
    QString CurrentValue(const QString& column) const;

    TDM& dm_;
    TQueryModel* batches_ = nullptr;
    TQueryModel* rounds_ = nullptr;
};

// Shows the one drying job window (creating it on first use) and reloads it.
void OpenDrying(TDM& dm, QWidget* owner = nullptr);
