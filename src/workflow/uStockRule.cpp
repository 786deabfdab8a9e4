#include "workflow/uStockRule.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

namespace {
// Float noise of sums such as 200 + 300 must not turn "at most 0.01 kg" into "more than".
constexpr double kRounding = 1e-7;
}  // namespace

QString LiveStockCondition(const QString& s) {
    return s + QStringLiteral(".Status IN ('待烘干','在库')");
}

QString BatchOutboundSql(TDbEngine engine, const QString& s) {
    return QStringLiteral("(SELECT %1 FROM T_Outbound o WHERE o.BatchNo=%2.BatchNo)").arg(SqlTotal(engine, "o.OutWt"), s);
}

QString RemainingSql(TDbEngine engine, const QString& s) {
    return QStringLiteral("(CASE WHEN %1 THEN %2.Qty - %3 ELSE 0.0 END)")
        .arg(LiveStockCondition(s), s, BatchOutboundSql(engine, s));
}

bool ExceedsRemaining(double weight, double remaining) {
    // The slack forgives weighing noise on grain that is there; it never hands out of an empty row.
    return remaining <= 0 || weight - remaining > kWeightSlack + kRounding;
}

bool IsEmptied(double remaining) { return remaining <= kWeightSlack + kRounding; }

double PositionUsed(TDM& dm, int whId, const QString& exceptBatch) {
    const TDbEngine engine = dm.Engine();
    return VarToFloat(dm.ScalarP("SELECT " + SqlTotal(engine, "r") + " FROM (SELECT " + RemainingSql(engine) +
                                     " AS r FROM T_Stock s WHERE " + LiveStockCondition() +
                                     " AND s.WhID=:w AND s.BatchNo<>:b) x WHERE r>0",
                                 {{"w", whId}, {"b", exceptBatch}}),
                      0);
}

double BatchRemaining(TDM& dm, const QString& batchNo) {
    return VarToFloat(dm.ScalarP("SELECT " + SqlTotal(dm.Engine(), RemainingSql(dm.Engine())) + " FROM T_Stock s WHERE s.BatchNo=:b AND " +
                                     LiveStockCondition(),
                                 {{"b", batchNo}}),
                      0);
}

QHash<int, QString> Names(TDM& dm, const QString& sql) {
    QHash<int, QString> names;
    TStatement st = dm.NewQuery(sql);
    while (st.Next()) names.insert(VarToInt(st.Value(0)), VarToStr(st.Value(1)));
    return names;
}
