#include "GenBatch.h"

#include "GenFees.h"
#include "GenNames.h"
#include "GenWorld.h"

#include <algorithm>
#include <cmath>

namespace {
double Round1(double x) { return std::round(x * 10) / 10; }

TStamp Hours(TGenRandom& r, double lo, double hi) { return TStamp(r.Uniform(lo, hi) * 60) * kMinute; }

void Void(TGenBatch& b, TGenRandom& r, TStamp at, bool beforeDrying) {
    b.Voided = true;
    b.VoidAt = at;
    b.VoidReason = VoidReason(r, beforeDrying);
    b.Status = b.WetStatus = kStatusVoid;
    if (b.Passed) b.DryStatus = kStatusVoid;
}

void Register(TGenBatch& b, const TGenWorld& world, TGenRandom& r) {
    b.Grain = world.PickGrain(r, DateOf(b.Reg).dayOfYear());
    const TGenGrain& g = world.Grains[b.Grain];
    b.Farmer = world.PickFarmer(r);
    const TGenFarmer& f = world.Farmers[b.Farmer];
    b.WetWh = r.Pick(world.WetWh);
    const TGenStaff& weigher = world.OnShift(world.Weighers, r, SecondOfDay(b.Reg));
    b.WeighOp = weigher.ID;
    b.Team = weigher.Team;
    b.CarNo = !f.CarNo.isEmpty() && r.Chance(0.9) ? f.CarNo : r.Chance(0.6) ? Plate(r) : QString();
    b.Moisture = Round1(r.Uniform(g.MoistureLo, g.MoistureHi));
    b.Impurity = Round1(r.Skewed(0.3, 3.0));
    const bool truck = f.Trader || r.Chance(0.45);
    b.Tare = truck ? r.Stepped(9000, 15000, 10) : r.Stepped(2500, 4500, 10);
    b.Net = truck ? r.Stepped(15000, 36000, 10) : r.Stepped(3000, 9000, 10);
    b.Gross = b.Tare + b.Net;
    b.Target = g.TargetMoisture;
    const double tons = b.Net / 1000;
    double fee = tons * g.Std.PricePerTon;
    if (b.Moisture > g.Std.StdMoisture) fee += (b.Moisture - g.Std.StdMoisture) * tons * g.Std.ExtraPerPoint;
    b.EstFee = RoundFen(fee);
    if (r.Chance(0.15)) b.QualityMemo = QualityMemo(r);
}

// Dries the load round by round; false when the history ends with a round still open.
bool Dry(TGenBatch& b, const TGenWorld& world, TGenRandom& r, TStamp dispatchAt, TStamp end) {
    b.Status = kStatusDrying;
    b.DryOp = world.OnShift(world.Operators, r, SecondOfDay(dispatchAt)).ID;
    const int rounds = 1 + (r.Chance(0.22) ? 1 + int(r.Chance(0.2)) : 0);
    const int equip = world.PickDryer(r, dispatchAt);
    TStamp start = dispatchAt;
    for (int i = 1; i <= rounds; ++i) {
        TGenRound rd;
        rd.Round = i;
        rd.EquipID = equip;
        rd.Start = start;
        if (i == 1) {
            rd.Temp = r.Chance(0.6) ? 60 : r.Int(55, 75);
            rd.FanGear = r.Chance(0.7) ? QStringLiteral("中档") : r.Chance(0.5) ? QStringLiteral("高档") : QStringLiteral("低档");
        }
        const TStamp finish = start + Hours(r, 6, 13);
        const bool last = i == rounds;
        // A round that fails leaves the grain above its target; the last one brings it to it.
        rd.OutMoisture = Round1(last ? b.Target - r.Uniform(0, 0.8) : b.Target + r.Uniform(0.8, 3.0));
        const double handling = r.Uniform(0.002, 0.008) + b.Impurity * 0.003;
        rd.DryNetWt = std::round(b.Net * (100 - b.Moisture) / (100 - rd.OutMoisture) * (1 - handling));
        rd.Memo = last ? (r.Chance(0.05) ? QStringLiteral("有少量焦糊粒，已挑拣") : QString()) : ReDryMemo(r);
        rd.Fault = r.Chance(0.005);
        if (finish >= end) {
            b.Rounds.push_back(rd);
            return false;
        }
        rd.End = finish;
        b.Rounds.push_back(rd);
        start = finish;
    }
    b.Passed = true;
    b.DryWh = r.Pick(world.DryWh);
    b.Status = b.DryStatus = kStatusInStore;
    b.WetStatus = kStockOut;
    return true;
}

// Hands the dry grain out in one to four loads; a few farmers keep part of it in store for
// months. True when the batch's stock is used up.
bool HandOut(TGenBatch& b, TGenRandom& r, bool keeper, TStamp end) {
    static const std::vector<double> kLoads = {0.5, 0.8, 0.95, 1.0};
    const int loads = keeper ? r.Int(0, 2) : 1 + int(std::upper_bound(kLoads.begin(), kLoads.end(), r.Unit()) - kLoads.begin());
    std::vector<double> shares;
    double total = 0;
    for (int i = 0; i < loads; ++i) total += shares.emplace_back(r.Uniform(0.5, 1.5));
    const double kept = keeper ? r.Uniform(0.3, 0.85) : 1.0;
    const double dry = b.DryWt();
    double given = 0;
    TStamp at = b.PassAt() + TStamp(r.Skewed(0.3, 60, 1.8) * kDay);
    for (int i = 0; i < loads; ++i) {
        const bool lastLoad = !keeper && i == loads - 1;
        const double wt = lastLoad ? dry - given : std::max(1.0, std::round(dry * kept * shares[size_t(i)] / total));
        if (at >= end) return false;
        b.Outs.push_back({at, wt});
        given += wt;
        at += TStamp(r.Uniform(0.5, 15) * kDay);
    }
    if (keeper) return false;
    b.DryStatus = kStockOut;
    b.Status = kStatusToSettle;
    return true;
}

void Settle(TGenBatch& b, const TGenWorld& world, TGenRandom& r, TStamp at) {
    b.Settled = true;
    b.SettleAt = at;
    const double p = r.Unit();
    b.Payment = p < 0.7 ? TGenPayment::Full : p < 0.88 ? TGenPayment::Partly : TGenPayment::OnAccount;
    b.PartShare = r.Uniform(0.3, 0.9);
    if (r.Chance(0.03)) b.OtherFee = world.Grains[b.Grain].Std.RushFee;
    b.Status = b.Payment == TGenPayment::Full ? kStatusDone : kStatusToSettle;
}
}  // namespace

TGenBatch PlanBatch(const TGenWorld& world, TGenRandom& r, const QString& batchNo, TStamp reg, TStamp end,
                    TGenFate fate) {
    TGenBatch b;
    b.BatchNo = batchNo;
    b.Reg = reg;
    Register(b, world, r);

    TStamp dispatchAt = reg + TStamp(r.Skewed(0.5, 40) * kHour);
    if (fate == TGenFate::StillWaiting) dispatchAt = end;
    if (fate == TGenFate::OnDryer) dispatchAt = reg + TStamp(r.Uniform(0.3, 1) * kHour);
    if (fate == TGenFate::VoidedAtIntake) {
        const TStamp at = reg + TStamp(double(dispatchAt - reg) * r.Uniform(0.1, 0.9));
        if (at < end) Void(b, r, at, true);
        return b;
    }
    if (dispatchAt >= end || !Dry(b, world, r, dispatchAt, end)) return b;

    if (fate == TGenFate::VoidedInStore) {
        const TStamp at = b.PassAt() + TStamp(r.Uniform(0.5, 10) * kDay);
        if (at < end) Void(b, r, at, false);
        return b;
    }
    const bool keeper = r.Chance(0.1);
    const bool emptied = HandOut(b, r, keeper, end);
    const TStamp lastMove = b.Outs.empty() ? b.PassAt() : b.Outs.back().At;
    TStamp settleAt = 0;
    if (emptied && r.Chance(0.9))
        settleAt = lastMove + TStamp(r.Skewed(0, 12) * kDay) + kMinute;
    else if (keeper && r.Chance(0.35))
        settleAt = lastMove + TStamp(r.Uniform(1, 20) * kDay);
    if (settleAt > 0 && settleAt < end) Settle(b, world, r, settleAt);
    return b;
}
