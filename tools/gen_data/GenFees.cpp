#include "GenFees.h"

#include <algorithm>
#include <cmath>

double RoundFen(double yuan) {
    const double r = std::round(std::fabs(yuan) * 100 + 1e-7) / 100;
    return yuan < 0 ? -r : r;
}

double TGenFees::Total() const { return RoundFen(BaseFee + MoistureExtra + StorageFee + ReDryFee + OtherFee); }

TGenFees GenCalcFees(const TGenFeeInput& in) {
    const double tons = in.WetNetWt / 1000;
    const double base = tons * in.Std.PricePerTon;
    TGenFees f;
    f.StoreDays = int((in.AsOf - in.InStore) / kDay);
    f.OverDays = std::max(0, f.StoreDays - in.Std.FreeDays);
    f.BaseFee = RoundFen(base);
    if (in.InMoisture > in.Std.StdMoisture)
        f.MoistureExtra = RoundFen((in.InMoisture - in.Std.StdMoisture) * tons * in.Std.ExtraPerPoint);
    f.StorageFee = RoundFen(f.OverDays * tons * in.Std.StorageRate);
    if (in.Rounds > 1) f.ReDryFee = RoundFen((in.Rounds - 1) * base * in.Std.ReDryRate / 100);
    f.OtherFee = RoundFen(in.OtherFee);
    return f;
}

TGenSettlement GenSettle(const TGenFees& fees, double paid) {
    TGenSettlement s;
    s.Total = fees.Total();
    s.Paid = paid;
    const double counted = paid > s.Total + 0.01 ? s.Total : paid;
    s.Debt = RoundFen(std::max(0.0, s.Total - counted));
    if (paid + 0.01 >= s.Total)
        s.Status = QStringLiteral("已结清");
    else if (paid <= 0.01)
        s.Status = QStringLiteral("挂账");
    else
        s.Status = QStringLiteral("部分欠款");
    return s;
}
