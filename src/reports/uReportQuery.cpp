#include "reports/uReportQuery.h"

#include "data/uSqlDialect.h"
#include "workflow/uLossRule.h"

namespace {
// A range of whole days: the first at 00:00:00, the last up to and including 23:59:59.
TParams DayRange(const QDate& from, const QDate& to) {
    return {{"a", QDateTime(from, QTime(0, 0))}, {"b", EndOfDay(to)}};
}

// Money is summed to whole ten-thousandths of a yuan, as the currency columns hold it, so that
// a sum of many fees does not show binary noise in the grid or the export.
QString MoneySum(TDbEngine engine, const QString& column) { return SqlRound(engine, "SUM(" + column + ")", 4); }
}  // namespace

const QStringList& ReportNames() {
    static const QStringList names{QStringLiteral("每日烘干台账"), QStringLiteral("批次全流程溯源"),
                                   QStringLiteral("农户对账汇总"), QStringLiteral("设备能耗报表"),
                                   QStringLiteral("烘干损耗分析"), QStringLiteral("月度经营汇总"),
                                   QStringLiteral("烘干损耗核对")};
    return names;
}

TReportQuery ReportQuery(TDbEngine engine, TReportKind kind, const TReportInput& in) {
    switch (kind) {
    case TReportKind::Daily: return {DailyReport(engine, in.From, in.To), {}};
    case TReportKind::Trace: {
        const QString batchNo = in.BatchNo.trimmed();
        if (batchNo.isEmpty()) return {{}, QStringLiteral("请输入要溯源的批次号")};
        return {TraceReport(batchNo), {}};
    }
    case TReportKind::FarmerStatement: return {FarmerReport(engine, in.FarmerID), {}};
    case TReportKind::Energy: return {EnergyReport(in.From, in.To), {}};
    case TReportKind::Loss: return {LossReport(in.From, in.To), {}};
    case TReportKind::Monthly: return {MonthlyReport(engine, in.From, in.To), {}};
    case TReportKind::LossCheck: return {LossCheckReport(engine, in.From, in.To, in.FarmerID, in.LossAllowance), {}};
    }
    return {};
}

// The grain that went into store comes from the passing round of its batch: a round that failed
// is followed by the next round of the same batch, the passing one by none.
namespace {
QString PassingRound(const QString& alias) {
    return QStringLiteral("NOT EXISTS (SELECT 1 FROM T_Drying nx WHERE nx.BatchNo=%1.BatchNo AND nx.Round>%1.Round)")
        .arg(alias);
}
}  // namespace

// Each source is summed once per day over the range and the sums are joined to the list of
// days, instead of one lookup per day and column. A day counts when anything happened on it,
// so the list is taken from every batch, voided ones included.
TSqlText DailyReport(TDbEngine engine, const QDate& from, const QDate& to) {
    const QString sql = QStringLiteral(
        "WITH b AS (SELECT %1 AS RDay, SUM(CASE WHEN Status<>'已作废' THEN 1 ELSE 0 END) AS N, "
        "SUM(CASE WHEN Status<>'已作废' THEN WetNetWt END) AS W FROM T_Batch WHERE RegTime BETWEEN :a AND :b "
        "GROUP BY 1), "
        "d AS (SELECT %2 AS RDay, SUM(DryNetWt) AS W FROM T_Drying r WHERE EndTime BETWEEN :a AND :b AND %4 "
        "GROUP BY 1), "
        "o AS (SELECT %3 AS RDay, SUM(OutWt) AS W FROM T_Outbound WHERE OutTime BETWEEN :a AND :b GROUP BY 1), "
        "dd AS (SELECT RDay FROM b UNION SELECT RDay FROM d UNION SELECT RDay FROM o) "
        "SELECT dd.RDay AS 日期, COALESCE(b.N,0) AS 收粮车次数, COALESCE(b.W,0) AS 收粮湿重公斤, "
        "COALESCE(d.W,0) AS 烘干干粮公斤, COALESCE(o.W,0) AS 出库数量公斤 "
        "FROM dd LEFT JOIN b ON b.RDay=dd.RDay LEFT JOIN d ON d.RDay=dd.RDay LEFT JOIN o ON o.RDay=dd.RDay")
                            .arg(SqlDayText(engine, "RegTime"), SqlDayText(engine, "EndTime"), SqlDayText(engine, "OutTime"),
                                 PassingRound("r"));
    return {sql, DayRange(from, to), {QStringLiteral("日期")}};
}

// The dry-grain position is the batch's first stock row in a dry-grain zone: its first stock
// row of all is the wet grain of intake, which says nothing about where the dried grain went.
TSqlText TraceReport(const QString& batchNo) {
    const QString sql = QStringLiteral(
        "SELECT b.BatchNo AS 批次号, b.RegTime AS 登记时间, b.CarNo AS 车牌号, f.Name AS 农户, f.Phone AS 电话, "
        "g.GrainName AS 粮种, b.InMoisture AS 入库水分, b.Impurity AS 杂质, b.GrossWt AS 毛重, b.TareWt AS 皮重, "
        "b.WetNetWt AS 湿粮净重, b.Status AS 批次状态, dr.Round AS 最终轮次, e.EquipNo AS 设备, "
        "dr.StartTime AS 上机时间, dr.EndTime AS 下机时间, dr.DryHours AS 烘干时长, dr.OutMoisture AS 烘后水分, "
        "dr.DryNetWt AS 烘后净重, dr.LossWt AS 损耗重量, dr.LossRate AS 损耗率, dr.AbnormalMemo AS 异常记录, "
        "w.WhName AS 干粮仓位, si.InTime AS 入仓时间, "
        "(SELECT COALESCE(SUM(o.OutWt),0) FROM T_Outbound o WHERE o.BatchNo=b.BatchNo) AS 累计出库公斤, "
        "se.SettleNo AS 结算单号, se.TotalFee AS 总费用, se.PaidAmt AS 已收, se.DebtAmt AS 欠款, "
        "se.Status AS 结算状态, "
        "(SELECT COUNT(*) FROM T_Photo p WHERE p.BatchNo=b.BatchNo AND p.FilePath IS NOT NULL) AS 过磅照片张数 "
        "FROM T_Batch b LEFT JOIN T_Farmer f ON b.FarmerID=f.FarmerID "
        "LEFT JOIN T_Grain g ON b.GrainID=g.GrainID "
        "LEFT JOIN T_Drying dr ON dr.BatchNo=b.BatchNo "
        "AND dr.Round=(SELECT MAX(d2.Round) FROM T_Drying d2 WHERE d2.BatchNo=b.BatchNo) "
        "LEFT JOIN T_Equip e ON dr.EquipID=e.EquipID "
        "LEFT JOIN T_Stock si ON si.StockID=(SELECT MIN(s.StockID) FROM T_Stock s INNER JOIN T_Wh sw "
        "ON s.WhID=sw.WhID WHERE s.BatchNo=b.BatchNo AND sw.WhType='干粮区') "
        "LEFT JOIN T_Wh w ON si.WhID=w.WhID "
        "LEFT JOIN T_Settle se ON se.BatchNo=b.BatchNo "
        "WHERE b.BatchNo=:bn");
    return {sql, {{"bn", batchNo}}, {QStringLiteral("结算单号")}};
}

// The batches and the settlements are each summed once per farmer; a chosen farmer narrows
// the sums as well, so that one farmer's statement reads only that farmer's rows.
TSqlText FarmerReport(TDbEngine engine, int farmerId) {
    const bool one = farmerId > 0;
    const QString sql =
        QStringLiteral(
            "SELECT f.FarmerID AS 编号, f.Name AS 农户, f.Phone AS 电话, f.Village AS 村组, "
            "CASE WHEN f.Blacklist=-1 THEN '是' ELSE '否' END AS 黑名单, COALESCE(b.N,0) AS 批次数, "
            "COALESCE(b.W,0) AS 湿粮总量公斤, COALESCE(s.Fee,0) AS 费用合计, COALESCE(s.Paid,0) AS 已收合计, "
            "COALESCE(s.Debt,0) AS 欠款合计 FROM T_Farmer f "
            "LEFT JOIN (SELECT FarmerID, COUNT(*) AS N, SUM(WetNetWt) AS W FROM T_Batch WHERE Status<>'已作废'%1 "
            "GROUP BY FarmerID) b ON b.FarmerID=f.FarmerID "
            "LEFT JOIN (SELECT FarmerID, %2 AS Fee, %3 AS Paid, %4 AS Debt FROM T_Settle%5 GROUP BY FarmerID) s "
            "ON s.FarmerID=f.FarmerID%6")
            .arg(one ? QStringLiteral(" AND FarmerID=:fid") : QString(), MoneySum(engine, "TotalFee"), MoneySum(engine, "PaidAmt"),
                 MoneySum(engine, "DebtAmt"), one ? QStringLiteral(" WHERE FarmerID=:fid") : QString(),
                 one ? QStringLiteral(" WHERE f.FarmerID=:fid") : QString());
    TParams params;
    if (one) params.push_back({"fid", farmerId});
    return {sql, params, {QStringLiteral("欠款合计 DESC"), QStringLiteral("编号")}};
}

// Dryer numbers need not be unique, so this report keeps its own order (number, then dryer)
// and is read by position; it has one row per dryer at most. A re-dry round is the dryer's work
// and its power was spent, so every ended round counts here, as the caption says.
TSqlText EnergyReport(const QDate& from, const QDate& to) {
    const QString sql = QStringLiteral(
        "SELECT e.EquipNo AS 设备编号, rr.Hours AS 运行时长小时, rr.KWh AS 耗电度数, COALESCE(dd.W,0) AS 烘干干粮公斤含返烘, "
        "CASE WHEN dd.W IS NULL OR dd.W=0 THEN 0 ELSE rr.KWh/(dd.W/1000.0) END AS 单吨电耗度每吨 "
        "FROM T_Equip e "
        "LEFT JOIN (SELECT EquipID, SUM(RunHours) AS Hours, SUM(PowerKWh) AS KWh FROM T_EquipRun "
        "WHERE StartTime BETWEEN :a AND :b GROUP BY EquipID) rr ON rr.EquipID=e.EquipID "
        "LEFT JOIN (SELECT EquipID, SUM(DryNetWt) AS W FROM T_Drying WHERE StartTime BETWEEN :a AND :b "
        "AND EndTime IS NOT NULL GROUP BY EquipID) dd ON dd.EquipID=e.EquipID "
        "WHERE rr.KWh IS NOT NULL OR dd.W IS NOT NULL ORDER BY e.EquipNo, e.EquipID");
    return {sql, DayRange(from, to), {}};
}

// A re-dried batch counts once, by its last round, and only when that round ended in the range.
TSqlText LossReport(const QDate& from, const QDate& to) {
    const QString sql = QStringLiteral(
        "SELECT g.GrainName AS 粮种, COUNT(*) AS 完成批次数, COALESCE(SUM(b.WetNetWt),0) AS 湿粮合计公斤, "
        "SUM(d.DryNetWt) AS 干粮合计公斤, SUM(d.LossWt) AS 损耗合计公斤, AVG(d.LossRate) AS 平均损耗率百分比 "
        "FROM T_Drying d INNER JOIN T_Batch b ON d.BatchNo=b.BatchNo INNER JOIN T_Grain g ON b.GrainID=g.GrainID "
        "WHERE d.EndTime BETWEEN :a AND :b "
        "AND d.Round=(SELECT MAX(d2.Round) FROM T_Drying d2 WHERE d2.BatchNo=d.BatchNo) "
        "GROUP BY g.GrainName");
    return {sql, DayRange(from, to), {QStringLiteral("平均损耗率百分比 DESC"), QStringLiteral("粮种")}};
}

// As the daily report, by month: the range runs from the first day of the first month to the
// last day of the last, whatever days were picked.
TSqlText MonthlyReport(TDbEngine engine, const QDate& from, const QDate& to) {
    const QDate first(from.year(), from.month(), 1);
    const QDate last(to.year(), to.month(), to.daysInMonth());
    const QString sql =
        QStringLiteral(
            "WITH b AS (SELECT %1 AS RMonth, SUM(CASE WHEN Status<>'已作废' THEN 1 ELSE 0 END) AS N, "
            "SUM(CASE WHEN Status<>'已作废' THEN WetNetWt END) AS W FROM T_Batch WHERE RegTime BETWEEN :a AND :b "
            "GROUP BY 1), "
            "d AS (SELECT %2 AS RMonth, SUM(DryNetWt) AS W FROM T_Drying r WHERE EndTime BETWEEN :a AND :b AND %8 "
            "GROUP BY 1), "
            "o AS (SELECT %3 AS RMonth, SUM(OutWt) AS W FROM T_Outbound WHERE OutTime BETWEEN :a AND :b "
            "GROUP BY 1), "
            "s AS (SELECT %4 AS RMonth, %5 AS Fee, %6 AS Paid, %7 AS Debt FROM T_Settle "
            "WHERE SettleTime BETWEEN :a AND :b GROUP BY 1), "
            "mm AS (SELECT RMonth FROM b UNION SELECT RMonth FROM d UNION SELECT RMonth FROM o "
            "UNION SELECT RMonth FROM s) "
            "SELECT mm.RMonth AS 月份, COALESCE(b.N,0) AS 收粮批次数, COALESCE(b.W,0) AS 湿粮公斤, "
            "COALESCE(d.W,0) AS 干粮公斤, COALESCE(o.W,0) AS 出库公斤, COALESCE(s.Fee,0) AS 营收合计, "
            "COALESCE(s.Paid,0) AS 已收合计, COALESCE(s.Debt,0) AS 新增欠款 "
            "FROM mm LEFT JOIN b ON b.RMonth=mm.RMonth LEFT JOIN d ON d.RMonth=mm.RMonth "
            "LEFT JOIN o ON o.RMonth=mm.RMonth LEFT JOIN s ON s.RMonth=mm.RMonth")
            .arg(SqlMonthText(engine, "RegTime"), SqlMonthText(engine, "EndTime"), SqlMonthText(engine, "OutTime"),
                 SqlMonthText(engine, "SettleTime"), MoneySum(engine, "TotalFee"), MoneySum(engine, "PaidAmt"), MoneySum(engine, "DebtAmt"),
                 PassingRound("r"));
    return {sql, DayRange(first, last), {QStringLiteral("月份")}};
}

// Batches are taken by their last round, as in the loss analysis. A batch without both moisture
// readings is listed with its weights and no theoretical figure, after all the others.
TSqlText LossCheckReport(TDbEngine engine, const QDate& from, const QDate& to, int farmerId, double allowance) {
    const QString sql =
        QStringLiteral(
            "WITH r AS (SELECT b.BatchNo, f.Name, g.GrainName, b.WetNetWt, b.InMoisture, d.OutMoisture, d.DryNetWt, "
            "%1 AS T FROM T_Drying d INNER JOIN T_Batch b ON d.BatchNo=b.BatchNo "
            "LEFT JOIN T_Farmer f ON b.FarmerID=f.FarmerID LEFT JOIN T_Grain g ON b.GrainID=g.GrainID "
            "WHERE d.EndTime BETWEEN :a AND :b%2 "
            "AND d.Round=(SELECT MAX(d2.Round) FROM T_Drying d2 WHERE d2.BatchNo=d.BatchNo)) "
            "SELECT BatchNo AS 批次号, Name AS 农户, GrainName AS 粮种, WetNetWt AS 湿粮净重公斤, "
            "InMoisture AS 入库水分, OutMoisture AS 烘后水分, %3 AS 理论干重公斤, DryNetWt AS 实测干重公斤, "
            "%4 AS 未解释损耗公斤, %5 AS 未解释损耗率百分比, "
            "CASE WHEN DryNetWt<T-WetNetWt*:allow/100.0 THEN '超出' ELSE '' END AS 超出允许 FROM r")
            .arg(SqlTheoreticalDryWeight("b.WetNetWt", "b.InMoisture", "d.OutMoisture"),
                 farmerId > 0 ? QStringLiteral(" AND b.FarmerID=:fid") : QString(), SqlRound(engine, "T", 1),
                 SqlRound(engine, "T-DryNetWt", 1), SqlRound(engine, "(T-DryNetWt)/WetNetWt*100", 2));
    TParams params = DayRange(from, to);
    params.push_back({"allow", allowance});
    if (farmerId > 0) params.push_back({"fid", farmerId});
    return {sql, params, {QStringLiteral("未解释损耗公斤 DESC NULLS LAST"), QStringLiteral("批次号")}};
}
