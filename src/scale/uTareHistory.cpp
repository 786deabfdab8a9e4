#include "scale/uTareHistory.h"

#include "data/uDM.h"
#include "forms/uCtl.h"
#include "scale/uPlate.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kTaresConsulted = 5;
}

TSqlText TareHistorySql(const QString& carNo, const QString& exceptBatchNo) {
    return {QStringLiteral("SELECT TareWt FROM T_Batch WHERE CarNo=:c AND BatchNo<>:b AND Status<>:v AND TareWt>0 "
                           "ORDER BY RegTime DESC, BatchNo DESC LIMIT %1")
                .arg(kTaresConsulted),
            {{"c", NormalisePlate(carNo)}, {"b", exceptBatchNo}, {"v", QStringLiteral("已作废")}},
            {}};
}

double MedianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

TTareHistory TareHistory(TDM& dm, const QString& carNo, const QString& exceptBatchNo) {
    if (NormalisePlate(carNo).isEmpty()) return {};
    try {
        NormaliseStoredPlates(dm);
    } catch (const TDbError&) {
        // A database that cannot be written now still answers with the plates stored alike.
    }
    const TSqlText q = TareHistorySql(carNo, exceptBatchNo);
    const TQuery rows = dm.OpenSQLP(q.Sql, q.Params);
    std::vector<double> tares;
    for (int r = 0; r < rows.RowCount(); ++r) tares.push_back(VarToFloat(rows.Value(r, 0)));
    return {int(tares.size()), MedianOf(tares)};
}

QString TTareCheck::Question() const {
    return QStringLiteral("该车皮重与历史皮重相差 %1%，是否继续？").arg(FmtNum(SharePct, 2));
}

QString TTareCheck::Note() const {
    return QStringLiteral("皮重与历史皮重%1kg相差%2%已确认").arg(FmtNum(History.Median, 2), FmtNum(SharePct, 2));
}

bool BeyondShare(double tare, double usual, double allowedPct) {
    // In thousandths of a kilogram and of a percent, whole numbers: |tare - usual| / usual > allowed / 100
    // without a rounding of either side. Weights carry at most two decimals, a median of two three.
    const qint64 diff = std::llabs(std::llround(tare * 1000) - std::llround(usual * 1000));
    const qint64 base = std::llround(usual * 1000);
    const qint64 allowed = std::llround(allowedPct * 1000);
    return diff * 100 * 1000 > allowed * base;
}

TTareCheck CheckTare(TDM& dm, const QString& carNo, const QString& exceptBatchNo, const QString& tareText,
                     double allowedPct) {
    TTareCheck check;
    const double tare = ParseNum(tareText);
    if (tare <= 0) return check;
    check.History = TareHistory(dm, carNo, exceptBatchNo);
    if (!check.History.Known() || check.History.Median <= 0) return check;
    check.SharePct = std::abs(tare - check.History.Median) / check.History.Median * 100;
    check.Ask = BeyondShare(tare, check.History.Median, allowedPct);
    return check;
}
