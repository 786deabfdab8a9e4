#include "scale/uTareHistory.h"

#include "data/uDM.h"
#include "forms/uCtl.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kTaresConsulted = 5;
}

TSqlText TareHistorySql(const QString& carNo, const QString& exceptBatchNo) {
    return {QStringLiteral("SELECT TareWt FROM T_Batch WHERE CarNo=:c AND BatchNo<>:b AND Status<>:v AND TareWt>0 "
                           "ORDER BY RegTime DESC, BatchNo DESC LIMIT %1")
                .arg(kTaresConsulted),
            {{"c", carNo.trimmed()}, {"b", exceptBatchNo}, {"v", QStringLiteral("已作废")}},
            {}};
}

double MedianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

TTareHistory TareHistory(TDM& dm, const QString& carNo, const QString& exceptBatchNo) {
    if (carNo.trimmed().isEmpty()) return {};
    const TSqlText q = TareHistorySql(carNo, exceptBatchNo);
    const TQuery rows = dm.OpenSQLP(q.Sql, q.Params);
    std::vector<double> tares;
    for (int r = 0; r < rows.RowCount(); ++r) tares.push_back(VarToFloat(rows.Value(r, 0)));
    return {int(tares.size()), MedianOf(tares)};
}

QString TTareCheck::Question() const {
    return QStringLiteral("该车皮重与历史皮重相差 %1%，是否继续？").arg(FmtNum(SharePct, 1));
}

QString TTareCheck::Note() const {
    return QStringLiteral("皮重与历史皮重%1kg相差%2%已确认").arg(FmtNum(History.Median, 2), FmtNum(SharePct, 1));
}

TTareCheck CheckTare(TDM& dm, const QString& carNo, const QString& exceptBatchNo, const QString& tareText,
                     double allowedPct) {
    TTareCheck check;
    const double tare = ParseNum(tareText);
    if (tare <= 0) return check;
    check.History = TareHistory(dm, carNo, exceptBatchNo);
    if (!check.History.Known() || check.History.Median <= 0) return check;
    // Judged as shown, to one decimal: a question never says "相差 3%" against an allowed 3 %.
    check.SharePct = std::round(std::abs(tare - check.History.Median) / check.History.Median * 1000) / 10;
    check.Ask = check.SharePct > allowedPct;
    return check;
}
