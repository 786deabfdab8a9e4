#pragma once
// Whether the weight a load lost in the dryer is what its water alone explains. Drying takes
// water out and leaves the dry matter, so the dry weight the two moisture readings account for is
//     wet weight × (100 − intake moisture) / (100 − moisture after drying)
// (30 000 kg at 28 % dried to 14 %: 25 116.3 kg). What the scale finds below that, beyond a
// handling allowance for dust, chaff and spillage, is loss the water does not explain: the
// figure a farmer asks about at the counter.
//
// A moisture reading counts only above 0 and below 100: an unmeasured reading is stored as 0
// or nothing. Without a wet weight and both readings there is no figure, never a wrong one.

#include <QString>
#include <optional>

struct TLossCheck {
    double Wet = 0;
    double Theoretical = 0;              // kg the water alone explains
    std::optional<double> Measured;      // kg weighed after drying; none before it is typed
    // Moisture after drying above the intake reading: the theoretical weight is then above the
    // wet weight. The figures stand as the readings give them; the line asks for a second look.
    bool MoistureRose = false;

    // Measured − theoretical: negative when the scale finds less than the water explains.
    double Difference() const { return Measured.value_or(Theoretical) - Theoretical; }
    // The difference as a share of the wet weight, in percent, as the allowance is given.
    double DifferenceRate() const { return Difference() / Wet * 100; }
    // Short of theoretical by more than the allowance (percent of the wet weight).
    bool BeyondAllowance(double allowancePercent) const;
};

std::optional<double> TheoreticalDryWeight(double wet, std::optional<double> inMoisture,
                                           std::optional<double> outMoisture);
// The check for a load; a measured weight of 0 or less counts as not yet weighed.
std::optional<TLossCheck> CheckLoss(double wet, std::optional<double> inMoisture, std::optional<double> outMoisture,
                                    double measured);

// "理论干重 25116.3 公斤；实测 24800.0 公斤；差 -316.3 公斤（-1.05%）"; the first part alone before
// the dry weight is weighed.
QString LossCheckLine(const TLossCheck& check);

// The theoretical dry weight as an SQL expression over three columns, for statements over many
// batches; NULL where the rule gives no figure.
QString SqlTheoreticalDryWeight(const QString& wet, const QString& inMoisture, const QString& outMoisture);
