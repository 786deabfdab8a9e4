#include "workflow/uFee.h"

#include "data/uDM.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 kMsPerDay = 86400000;

// Only full 24-hour periods count, on the calendar as the clock on the wall shows it: stored
// yesterday at 18:00 and settled today at 10:00 is 0 days. A stock-in time after the moment
// (a clock set wrong) counts as no days rather than as a negative stay.
int WholeDays(const QDateTime& from, const QDateTime& to) {
    const qint64 ms = (to.date().toJulianDay() - from.date().toJulianDay()) * kMsPerDay +
                      (to.time().msecsSinceStartOfDay() - from.time().msecsSinceStartOfDay());
    return int(std::max<qint64>(0, ms / kMsPerDay));
}

// The rule compares whole fen of the amounts as the boxes show them, so that 99.99 + 0.01 is
// exactly 100 and 99.995 received is the 100.00 shown.
qint64 Fen(double yuan) { return std::llround(RoundMoney(yuan) * 100); }
}  // namespace

TFeeFigures FeeFigures(const TFeeBasis& b, const QDateTime& asOf) {
    TFeeFigures f;
    f.Tons = b.WetNetWt / 1000;
    f.PricePerTon = b.PricePerTon;
    f.StdMoisture = b.StdMoisture;
    f.ExtraPerPoint = b.ExtraPerPoint;
    f.FreeDays = b.FreeDays;
    f.StorageRate = b.StorageRate;
    f.ReDryRate = b.ReDryRate;
    if (b.InStoreTime.isValid()) {
        f.InStoreTime = b.InStoreTime;
        f.HasInStore = true;
        f.StoreDays = WholeDays(b.InStoreTime, asOf);
        f.OverDays = std::max(0, f.StoreDays - f.FreeDays);
    }
    f.Rounds = b.Rounds;
    f.OtherFee = b.OtherFee;

    f.BaseFee = f.Tons * f.PricePerTon;
    // Grain drier than the standard earns no credit.
    if (b.InMoisture > f.StdMoisture) f.MoistureExtra = (b.InMoisture - f.StdMoisture) * f.Tons * f.ExtraPerPoint;
    f.StorageAmt = f.OverDays * f.Tons * f.StorageRate;
    // The first round is paid by the base fee; each further round adds its share of it.
    if (f.Rounds > 1) f.ReDryFee = (f.Rounds - 1) * f.BaseFee * f.ReDryRate / 100;
    f.TotalFee = f.BaseFee + f.MoistureExtra + f.StorageAmt + f.ReDryFee + f.OtherFee;
    return f;
}

TFeeFigures CalcFees(TDM& dm, const QString& batchNo, const QDateTime& asOf) {
    // A grain type may have been given a second fee standard by hand; the first one counts,
    // as it does for the estimate at intake.
    const TQuery q = dm.OpenSQLP(
        "SELECT b.WetNetWt,b.InMoisture,f.PricePerTon,f.StdMoisture,f.ExtraPerPoint,f.FreeDays,f.StorageFee,"
        "f.ReDryRate,(SELECT MIN(s.InTime) FROM T_Stock s WHERE s.BatchNo=b.BatchNo) AS InStoreTime,"
        "(SELECT COUNT(*) FROM T_Drying d WHERE d.BatchNo=b.BatchNo) AS Rounds,"
        "(SELECT se.OtherFee FROM T_Settle se WHERE se.BatchNo=b.BatchNo ORDER BY se.SettleNo LIMIT 1) AS OtherFee "
        "FROM T_Batch b LEFT JOIN T_FeeStd f ON f.FeeID=(SELECT MIN(FeeID) FROM T_FeeStd WHERE GrainID=b.GrainID) "
        "WHERE b.BatchNo=:bn",
        {{"bn", batchNo}});
    if (q.IsEmpty()) return {};
    TFeeBasis b;
    b.WetNetWt = VarToFloat(q.Field("WetNetWt"), 0);
    b.InMoisture = VarToFloat(q.Field("InMoisture"), 0);
    b.PricePerTon = VarToFloat(q.Field("PricePerTon"), 0);
    b.StdMoisture = VarToFloat(q.Field("StdMoisture"), 0);
    b.ExtraPerPoint = VarToFloat(q.Field("ExtraPerPoint"), 0);
    b.FreeDays = VarToInt(q.Field("FreeDays"));
    b.StorageRate = VarToFloat(q.Field("StorageFee"), 0);
    b.ReDryRate = VarToFloat(q.Field("ReDryRate"), 0);
    b.InStoreTime = q.Field("InStoreTime").AsDateTime();
    b.Rounds = VarToInt(q.Field("Rounds"));
    b.OtherFee = VarToFloat(q.Field("OtherFee"), 0);
    return FeeFigures(b, asOf);
}

TSettleTotals SettleTotals(const TSettleAmounts& a) {
    TSettleTotals t;
    qint64 total = 0;
    for (double item : a.Items) total += Fen(item);
    t.Total = double(total) / 100;
    const qint64 paid = Fen(a.Paid);
    const qint64 counted = paid > total + 1 ? total : paid;
    t.Debt = double(std::max<qint64>(0, total - counted)) / 100;
    if (paid + 1 >= total)
        t.Status = kSettledInFull;
    else if (paid <= 1)
        t.Status = kOnAccount;
    else
        t.Status = kSettledInPart;
    return t;
}
