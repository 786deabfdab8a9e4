#pragma once
// The drying fee of a batch and the settlement's total, debt and status, worked out by the
// settlement dialog's own fee rule: the five items rounded to fen as the dialog shows them, the
// total their sum, and the 0.01 yuan tolerance of a settlement in full.

#include "GenClock.h"

#include <QString>

// A grain type's fee standard.
struct TGenFeeStd {
    int GrainID = 0;
    double PricePerTon = 0;
    double StdMoisture = 0;
    double ExtraPerPoint = 0;
    int FreeDays = 0;
    double StorageRate = 0;  // yuan per ton and day beyond the free days
    double RushFee = 0;
    double ReDryRate = 0;  // percent of the base fee per extra round
};

struct TGenFeeInput {
    TGenFeeStd Std;
    double WetNetWt = 0;  // kilograms
    double InMoisture = 0;
    TStamp InStore = 0;  // earliest entry of the batch's grain into stock
    TStamp AsOf = 0;
    int Rounds = 0;
    double OtherFee = 0;
};

struct TGenFees {
    double BaseFee = 0;
    double MoistureExtra = 0;
    double StorageFee = 0;
    double ReDryFee = 0;
    double OtherFee = 0;
    int StoreDays = 0;
    int OverDays = 0;  // what the settlement keeps as its StoreDays
    double Total() const;
};

struct TGenSettlement {
    double Total = 0;
    double Paid = 0;
    double Debt = 0;
    QString Status;  // "已结清", "部分欠款" or "挂账"
};

double RoundFen(double yuan);
TGenFees GenCalcFees(const TGenFeeInput& in);
TGenSettlement GenSettle(const TGenFees& fees, double paid);
