#pragma once
// The life of one load from the weighbridge to its settlement, planned as a whole when the load
// arrives and cut off where the history ends: what happened before that moment is written,
// the rest has not happened yet.

#include "GenClock.h"
#include "GenRandom.h"

#include "workflow/uBatch.h"

#include <QString>
#include <vector>

struct TGenWorld;

inline const QString kStatusToSettle = QStringLiteral("待结算");
inline const QString kStatusDone = QStringLiteral("已完结");

struct TGenRound {
    int Round = 0;
    int EquipID = 0;
    TStamp Start = 0;
    TStamp End = 0;  // 0 while the round is open
    double Temp = 0;  // set at dispatch for the first round only
    QString FanGear;
    double OutMoisture = 0;
    double DryNetWt = 0;
    QString Memo;
    bool Fault = false;  // the dryer broke down during the round
    bool Open() const { return End == 0; }
};

struct TGenOutbound {
    TStamp At = 0;
    double Wt = 0;
};

enum class TGenPayment { Full, Partly, OnAccount };

struct TGenBatch {
    QString BatchNo;
    TStamp Reg = 0;
    size_t Farmer = 0;
    size_t Grain = 0;
    int WetWh = 0;
    int WeighOp = 0;
    QString Team;
    QString CarNo;
    QString QualityMemo;
    double Moisture = 0, Impurity = 0, Gross = 0, Tare = 0, Net = 0, Target = 0, EstFee = 0;

    int DryOp = 0;
    std::vector<TGenRound> Rounds;
    bool Passed = false;
    int DryWh = 0;

    std::vector<TGenOutbound> Outs;

    bool Settled = false;
    TStamp SettleAt = 0;
    TGenPayment Payment = TGenPayment::Full;
    double PartShare = 0;  // of the total, when partly paid
    double OtherFee = 0;

    bool Voided = false;
    TStamp VoidAt = 0;
    QString VoidReason;

    // As they stand when the history ends.
    QString Status = kStatusWaiting;
    QString WetStatus = kStatusWaiting;
    QString DryStatus;

    int PendingEvents = 0;

    double DryWt() const { return Rounds.back().DryNetWt; }
    TStamp PassAt() const { return Rounds.back().End; }
};

// What the centre decides for a load beyond the chances of its own life.
enum class TGenFate {
    AsItComes,
    VoidedAtIntake,  // registered in error and voided before it reached a dryer
    VoidedInStore,   // voided after drying, before any grain went out
    StillWaiting,    // in the yard when the history ends
    OnDryer,         // its first round still running when the history ends
};

TGenBatch PlanBatch(const TGenWorld& world, TGenRandom& r, const QString& batchNo, TStamp reg, TStamp historyEnd,
                    TGenFate fate);
