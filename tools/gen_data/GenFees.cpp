#include "GenFees.h"

#include "data/uValue.h"
#include "workflow/uFee.h"

double RoundFen(double yuan) { return RoundMoney(yuan); }

double TGenFees::Total() const {
    TSettleAmounts a;
    a.Items = {BaseFee, MoistureExtra, StorageFee, ReDryFee, OtherFee};
    return SettleTotals(a).Total;
}

namespace {
QDateTime DateTimeOf(TStamp t) { return QDateTime(DateOf(t), QTime::fromMSecsSinceStartOfDay(SecondOfDay(t) * 1000)); }
}  // namespace

// The settlement dialog's own figures, rounded to the fen as its boxes show them.
TGenFees GenCalcFees(const TGenFeeInput& in) {
    TFeeBasis b;
    b.WetNetWt = in.WetNetWt;
    b.InMoisture = in.InMoisture;
    b.PricePerTon = in.Std.PricePerTon;
    b.StdMoisture = in.Std.StdMoisture;
    b.ExtraPerPoint = in.Std.ExtraPerPoint;
    b.FreeDays = in.Std.FreeDays;
    b.StorageRate = in.Std.StorageRate;
    b.ReDryRate = in.Std.ReDryRate;
    b.InStoreTime = DateTimeOf(in.InStore);
    b.Rounds = in.Rounds;
    b.OtherFee = in.OtherFee;
    const TFeeFigures f = FeeFigures(b, DateTimeOf(in.AsOf));
    TGenFees g;
    g.BaseFee = RoundMoney(f.BaseFee);
    g.MoistureExtra = RoundMoney(f.MoistureExtra);
    g.StorageFee = RoundMoney(f.StorageAmt);
    g.ReDryFee = RoundMoney(f.ReDryFee);
    g.OtherFee = RoundMoney(f.OtherFee);
    g.StoreDays = f.StoreDays;
    g.OverDays = f.OverDays;
    return g;
}

TGenSettlement GenSettle(const TGenFees& fees, double paid) {
    TSettleAmounts a;
    a.Items = {fees.BaseFee, fees.MoistureExtra, fees.StorageFee, fees.ReDryFee, fees.OtherFee};
    a.Paid = paid;
    const TSettleTotals t = SettleTotals(a);
    return {t.Total, RoundMoney(paid), t.Debt, t.Status};
}
