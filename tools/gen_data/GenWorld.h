#pragma once
// The centre's master data: grain types with their fee standards and seasons, positions,
// dryers, shift staff, farmers and system users. Created once at the start of the history and
// read back, so that the starting rows of a new database take part like any other.

#include "GenFees.h"
#include "GenRandom.h"

#include <QString>
#include <QStringList>
#include <vector>

class TDM;
class TGenWriter;

struct TGenSeason {
    int FirstDay;  // day of the year
    int LastDay;
    double Weight;  // intake at the height of the season, relative
};

struct TGenGrain {
    TGenFeeStd Std;
    QString Name;
    double TargetMoisture = 14.5;
    double MoistureLo = 18, MoistureHi = 28;  // at intake
    std::vector<TGenSeason> Seasons;
    double Weight(int dayOfYear) const;
};

struct TGenStaff {
    int ID = 0;
    QString Team;
};

struct TGenDryer {
    int ID = 0;
    TStamp Until = 0;  // no longer used from then on
};

struct TGenFarmer {
    int ID = 0;
    QString CarNo;  // empty when the farmer comes without his own vehicle
    QString Village;
    bool Trader = false;  // cooperatives and grain dealers sell on most of what they dry
};

struct TGenUser {
    QString Login;
    QString Role;
};

struct TGenWorld {
    std::vector<TGenGrain> Grains;
    std::vector<int> WetWh, DryWh;
    std::vector<TGenDryer> Dryers;
    std::vector<TGenStaff> Weighers, Operators;
    std::vector<TGenFarmer> Farmers;
    std::vector<double> FarmerShares;  // running totals of how often each farmer comes
    std::vector<TGenUser> Users;

    // Intake on a day of the year, relative; the grain of a load is chosen by the same weights.
    double IntakeWeight(int dayOfYear) const;
    size_t PickGrain(TGenRandom& r, int dayOfYear) const;
    size_t PickFarmer(TGenRandom& r) const { return r.PickCumulative(FarmerShares); }
    // A member of the shift on duty at that second of the day, or of any shift when it has none.
    const TGenStaff& OnShift(const std::vector<TGenStaff>& staff, TGenRandom& r, int secondOfDay) const;
    int PickDryer(TGenRandom& r, TStamp at) const;
    QString PickUser(TGenRandom& r, const QString& role) const;
};

// Adds the centre's master data with its "新增" log rows at the given moment and reads it back.
TGenWorld CreateWorld(TDM& dm, TGenWriter& w, TGenRandom& r, TStamp setUpAt, TStamp end, int farmers);

// The shift word of a second of the day.
QString ShiftAt(int secondOfDay);
