#include "workflow/uLossRule.h"

#include "data/uValue.h"

namespace {
bool IsReading(std::optional<double> moisture) { return moisture && *moisture > 0 && *moisture < 100; }

QString Signed(double x, int decimals) {
    const QString text = FmtFixed(x, decimals);
    return x > 0 && text.toDouble() != 0 ? "+" + text : text;
}
}  // namespace

bool TLossCheck::BeyondAllowance(double allowancePercent) const {
    return Measured && *Measured < Theoretical - Wet * allowancePercent / 100;
}

std::optional<double> TheoreticalDryWeight(double wet, std::optional<double> inMoisture,
                                           std::optional<double> outMoisture) {
    if (!(wet > 0) || !IsReading(inMoisture) || !IsReading(outMoisture)) return std::nullopt;
    return wet * (100 - *inMoisture) / (100 - *outMoisture);
}

std::optional<TLossCheck> CheckLoss(double wet, std::optional<double> inMoisture, std::optional<double> outMoisture,
                                    double measured) {
    const std::optional<double> theoretical = TheoreticalDryWeight(wet, inMoisture, outMoisture);
    if (!theoretical) return std::nullopt;
    TLossCheck check;
    check.Wet = wet;
    check.Theoretical = *theoretical;
    if (measured > 0) check.Measured = measured;
    check.MoistureRose = *outMoisture > *inMoisture;
    return check;
}

QString LossCheckLine(const TLossCheck& check) {
    QString line = QStringLiteral("理论干重 %1 公斤").arg(FmtFixed(check.Theoretical, 1));
    if (check.Measured)
        line += QStringLiteral("；实测 %1 公斤；差 %2 公斤（%3%）")
                    .arg(FmtFixed(*check.Measured, 1), Signed(check.Difference(), 1), Signed(check.DifferenceRate(), 2));
    if (check.MoistureRose) line += QStringLiteral("；烘后水分高于入库水分，请复核");
    return line;
}

QString SqlTheoreticalDryWeight(const QString& wet, const QString& inMoisture, const QString& outMoisture) {
    return QStringLiteral("CASE WHEN %1>0 AND %2>0 AND %2<100 AND %3>0 AND %3<100 THEN %1*(100-%2)/(100.0-%3) END")
        .arg(wet, inMoisture, outMoisture);
}
