#pragma once
// The drying fee of a batch and the rule that turns the fee items and the money received into a
// total, a debt and a settlement status. The settlement dialog shows the one and applies the
// other on every keystroke; its save applies the same rule again to what it stores.

#include <QDateTime>
#include <QString>
#include <array>

class TDM;

inline const QString kSettledInFull = QStringLiteral("已结清");
inline const QString kSettledInPart = QStringLiteral("部分欠款");
inline const QString kOnAccount = QStringLiteral("挂账");

// What a batch's fee is worked out from: its load, its grain's fee standard, when its grain
// went into store, how often it was dried, and the other fees already agreed on.
struct TFeeBasis {
    double WetNetWt = 0;  // kilograms
    double InMoisture = 0;
    double PricePerTon = 0;
    double StdMoisture = 0;
    double ExtraPerPoint = 0;
    int FreeDays = 0;
    double StorageRate = 0;  // yuan per ton and day beyond the free days
    double ReDryRate = 0;    // percent of the base fee per extra round
    QDateTime InStoreTime;   // invalid when the batch never had a stock row
    int Rounds = 0;
    double OtherFee = 0;
};

// The fee figures of a batch as of a moment, unrounded: the dialog rounds what it shows.
struct TFeeFigures {
    double Tons = 0;
    double PricePerTon = 0;
    double StdMoisture = 0;
    double ExtraPerPoint = 0;
    int FreeDays = 0;
    double StorageRate = 0;
    double ReDryRate = 0;
    double BaseFee = 0;
    double MoistureExtra = 0;
    QDateTime InStoreTime;
    bool HasInStore = false;
    int StoreDays = 0;  // whole 24-hour periods in store
    int OverDays = 0;   // days in store beyond the free days
    double StorageAmt = 0;
    int Rounds = 0;
    double ReDryFee = 0;
    double OtherFee = 0;
    double TotalFee = 0;
};

TFeeFigures FeeFigures(const TFeeBasis& basis, const QDateTime& asOf);

// The batch's figures as of the moment; all zero for a batch that does not exist. Storage runs
// from the earliest stock-in of the batch, the wet-grain row of intake included, so from the
// registration. Reads only.
TFeeFigures CalcFees(TDM& dm, const QString& batchNo, const QDateTime& asOf);

// The five fee items and the money received; the rule takes each at the fen its box shows.
struct TSettleAmounts {
    enum Item { Base, Moisture, Storage, ReDry, Other };
    std::array<double, 5> Items{};
    double Paid = 0;
};

struct TSettleTotals {
    double Total = 0;
    double Debt = 0;  // never negative: an overpayment is kept as paid, not owed back
    QString Status;
};

// Settled in full when what was received reaches the total within one fen; on account when at
// most one fen was received; partly paid otherwise.
TSettleTotals SettleTotals(const TSettleAmounts& amounts);
