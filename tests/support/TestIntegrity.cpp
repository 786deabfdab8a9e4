#include "support/TestIntegrity.h"

#include "data/uDM.h"

namespace {
// What each batch has, gathered once so that every rule reads it without touching the big
// tables again. The live-stock rule: a wet row is live while "待烘干", a dry row while "在库";
// what a dry row still holds is its quantity less the batch's whole outbound.
const char* const kGatherFacts = R"(
CREATE TEMP TABLE integrity_batch AS
WITH stock AS (
  SELECT s.BatchNo,
    SUM(CASE WHEN w.WhType='湿粮区' THEN 1 ELSE 0 END) AS WetRows, SUM(CASE WHEN w.WhType='湿粮区' AND s.Status='待烘干' THEN 1 ELSE 0 END) AS WetLive,
    SUM(CASE WHEN w.WhType='湿粮区' AND s.Status='已出库' THEN 1 ELSE 0 END) AS WetRetired,
    SUM(CASE WHEN w.WhType='干粮区' THEN 1 ELSE 0 END) AS DryRows, COALESCE(SUM(CASE WHEN w.WhType='干粮区' THEN s.Qty END),0) AS DryQty,
    SUM(CASE WHEN w.WhType='干粮区' AND s.Status='在库' THEN 1 ELSE 0 END) AS DryLive, SUM(CASE WHEN w.WhType='干粮区' AND s.Status='已出库' THEN 1 ELSE 0 END) AS DryRetired,
    COUNT(*) AS StockRows, SUM(CASE WHEN s.Status='已作废' THEN 1 ELSE 0 END) AS StockVoided
  FROM T_Stock s LEFT JOIN T_Wh w ON w.WhID=s.WhID GROUP BY s.BatchNo),
outs AS (SELECT BatchNo, COALESCE(SUM(OutWt),0) AS OutWt FROM T_Outbound GROUP BY BatchNo),
moves AS (SELECT BatchNo, SUM(CASE WHEN MoveType='入仓' THEN 1 ELSE 0 END) AS InMoves FROM T_StockMove GROUP BY BatchNo),
rounds AS (SELECT BatchNo, COUNT(*) AS Rounds, MIN(Round) AS RoundLo, MAX(Round) AS RoundHi,
             SUM(CASE WHEN EndTime IS NULL THEN 1 ELSE 0 END) AS OpenRounds FROM T_Drying GROUP BY BatchNo),
settles AS (SELECT BatchNo, COUNT(*) AS Settles, MAX(CASE WHEN Status='已结清' THEN 1 ELSE 0 END) AS SettledFull FROM T_Settle GROUP BY BatchNo),
logs AS (SELECT RefNo AS BatchNo, SUM(CASE WHEN ActType='收粮登记' THEN 1 ELSE 0 END) AS LogIntake, SUM(CASE WHEN ActType='派工上机' THEN 1 ELSE 0 END) AS LogDispatch,
           SUM(CASE WHEN ActType='返烘' THEN 1 ELSE 0 END) AS LogReDry, SUM(CASE WHEN ActType='烘干入仓' THEN 1 ELSE 0 END) AS LogPass, SUM(CASE WHEN ActType='作废' THEN 1 ELSE 0 END) AS LogVoid
         FROM T_Log WHERE ActType IN ('收粮登记','派工上机','返烘','烘干入仓','作废') GROUP BY RefNo),
settleVoids AS (SELECT substr(Detail, 3, %1 - 3) AS BatchNo, COUNT(*) AS LogVoidSettle
                FROM T_Log WHERE ActType='作废结算' GROUP BY 1)
SELECT b.BatchNo, b.Status,
  COALESCE(WetRows,0) AS WetRows, COALESCE(WetLive,0) AS WetLive, COALESCE(WetRetired,0) AS WetRetired,
  COALESCE(DryRows,0) AS DryRows, COALESCE(DryQty,0) AS DryQty, COALESCE(DryLive,0) AS DryLive,
  COALESCE(DryRetired,0) AS DryRetired, COALESCE(StockRows,0) AS StockRows, COALESCE(StockVoided,0) AS StockVoided,
  COALESCE(OutWt,0) AS OutWt, COALESCE(DryQty,0)-COALESCE(OutWt,0) AS DryLeft, COALESCE(InMoves,0) AS InMoves,
  COALESCE(Rounds,0) AS Rounds, RoundLo, RoundHi, COALESCE(OpenRounds,0) AS OpenRounds,
  COALESCE(Settles,0) AS Settles, COALESCE(SettledFull,0) AS SettledFull,
  COALESCE(LogIntake,0) AS LogIntake, COALESCE(LogDispatch,0) AS LogDispatch, COALESCE(LogReDry,0) AS LogReDry,
  COALESCE(LogPass,0) AS LogPass, COALESCE(LogVoid,0) AS LogVoid, COALESCE(LogVoidSettle,0) AS LogVoidSettle
FROM T_Batch b LEFT JOIN stock USING(BatchNo) LEFT JOIN outs USING(BatchNo) LEFT JOIN moves USING(BatchNo)
  LEFT JOIN rounds USING(BatchNo) LEFT JOIN settles USING(BatchNo) LEFT JOIN logs USING(BatchNo)
  LEFT JOIN settleVoids USING(BatchNo))";

struct TRule {
    const char *Text, *Unit, *Sql;  // the query gives the key of every record that breaks the rule
};

#define BATCHES_WHERE(cond) "SELECT BatchNo FROM integrity_batch WHERE " cond " ORDER BY BatchNo"
// The records of `table` (and `cond`) whose `ref` names no `key` of `other`.
#define WITHOUT(id, table, cond, ref, other, key)                                                         \
    "SELECT o." id " FROM " table " o WHERE " cond " NOT EXISTS (SELECT 1 FROM " other " t WHERE t." key \
    "=o." ref ") ORDER BY o." id
#define ONE_LOG(key, table, act)                                                                                  \
    "SELECT x." key " FROM " table " x LEFT JOIN (SELECT RefNo, COUNT(*) AS n FROM T_Log WHERE ActType='" act "' " \
    "GROUP BY RefNo) l ON l.RefNo=x." key " WHERE COALESCE(l.n,0)<>1 ORDER BY x." key

const TRule kRules[] = {
    {"每个批次应恰有一条湿粮库存行", "个批次", BATCHES_WHERE("WetRows<>1")},
    {"未入仓的批次应只有在库（待烘干）的湿粮行，没有干粮行", "个批次",
     BATCHES_WHERE("Status IN ('待烘干','烘干中') AND (WetLive<>1 OR DryRows>0 OR InMoves>0)")},
    {"烘干入仓后的批次应有一条干粮行和一条入仓异动，湿粮行已出库", "个批次",
     BATCHES_WHERE("Status IN ('在库','待结算','已完结') AND (DryRows<>1 OR InMoves<>1 OR WetRetired<>1)")},
    {"待烘干的批次不应有烘干轮次", "个批次", BATCHES_WHERE("Status='待烘干' AND Rounds>0")},
    {"烘干中的批次应恰有一个未结束的轮次", "个批次", BATCHES_WHERE("Status='烘干中' AND OpenRounds<>1")},
    {"不在烘干中的批次不应有未结束的轮次", "个批次", BATCHES_WHERE("Status NOT IN ('烘干中','已作废') AND OpenRounds>0")},
    {"烘干轮次应从第 1 轮起连续编号", "个批次", BATCHES_WHERE("Rounds>0 AND (RoundLo<>1 OR RoundHi<>Rounds)")},
    {"作废批次的库存行应全部为已作废", "个批次", BATCHES_WHERE("Status='已作废' AND StockVoided<>StockRows")},
    {"未作废批次不应有已作废的库存行", "个批次", BATCHES_WHERE("Status<>'已作废' AND StockVoided>0")},
    {"出库不得超过干粮数量 0.01 公斤以上", "个批次", BATCHES_WHERE("OutWt-DryQty>0.01")},
    {"干粮行状态应与结余一致：在库有结余，已出库无结余", "个批次",
     BATCHES_WHERE("Status<>'已作废' AND ((DryLive>0 AND DryLeft<=0.01) OR (DryRetired>0 AND DryLeft>0.01))")},
    {"在库的批次应有结余的干粮且尚未结算", "个批次", BATCHES_WHERE("Status='在库' AND (DryLive<>1 OR DryLeft<=0.01 OR Settles>0)")},
    {"干粮出完的批次应为待结算或已完结", "个批次", BATCHES_WHERE("Status NOT IN ('待结算','已完结','已作废') AND DryRows>0 AND DryLeft<=0.01")},
    {"有结算单的批次应为待结算或已完结", "个批次", BATCHES_WHERE("Status NOT IN ('待结算','已完结','已作废') AND Settles>0")},
    {"已完结的批次应有已结清的结算单", "个批次", BATCHES_WHERE("Status='已完结' AND SettledFull=0")},
    {"结算未结清的批次应为待结算", "个批次", BATCHES_WHERE("Status NOT IN ('待结算','已作废') AND Settles>0 AND SettledFull=0")},
    {"待结算的批次应已入仓，且已出完、已结算或结算曾被作废", "个批次",
     BATCHES_WHERE("Status='待结算' AND NOT (DryRows>0 AND (DryLeft<=0.01 OR Settles>0 OR LogVoidSettle>0))")},
    {"每个批次最多一张结算单", "个批次", BATCHES_WHERE("Settles>1")},
    {"结算合计应等于五项费用之和", "张结算单",
     "SELECT SettleNo FROM T_Settle WHERE abs(COALESCE(TotalFee,0)-(COALESCE(BaseFee,0)+COALESCE(MoistureExtra,0)+"
     "COALESCE(StorageFee,0)+COALESCE(ReDryFee,0)+COALESCE(OtherFee,0)))>0.01 ORDER BY SettleNo"},
    {"欠款应为合计减已收，且不为负", "张结算单",
     "SELECT SettleNo FROM T_Settle WHERE abs(COALESCE(DebtAmt,0)-CASE WHEN COALESCE(TotalFee,0)>COALESCE(PaidAmt,0) THEN COALESCE(TotalFee,0)-COALESCE(PaidAmt,0) ELSE 0 END)>0.01 "
     "ORDER BY SettleNo"},
    {"结算状态应与已收金额相符", "张结算单",
     "SELECT SettleNo FROM T_Settle WHERE COALESCE(Status,'')<>CASE WHEN COALESCE(PaidAmt,0)+0.01>=COALESCE(TotalFee,0) "
     "THEN '已结清' WHEN COALESCE(PaidAmt,0)<=0.01 THEN '挂账' ELSE '部分欠款' END ORDER BY SettleNo"},
    {"结算单应属于存在的批次", "张结算单", WITHOUT("SettleNo", "T_Settle", "", "BatchNo", "T_Batch", "BatchNo")},
    {"出库单应属于存在的批次", "张出库单", WITHOUT("OutNo", "T_Outbound", "", "BatchNo", "T_Batch", "BatchNo")},
    {"每个批次应恰有一条收粮登记日志", "个批次", BATCHES_WHERE("LogIntake<>1")},
    {"收粮登记日志应对应存在的批次", "条日志", WITHOUT("LogID", "T_Log", "o.ActType='收粮登记' AND", "RefNo", "T_Batch", "BatchNo")},
    {"派工上机的批次应恰有一条派工上机日志", "个批次", BATCHES_WHERE("LogDispatch<>CASE WHEN Rounds>0 THEN 1 ELSE 0 END")},
    {"返烘日志应比烘干轮次少一条", "个批次", BATCHES_WHERE("LogReDry<>CASE WHEN Rounds>0 THEN Rounds-1 ELSE 0 END")},
    {"每次烘干入仓应恰有一条烘干入仓日志", "个批次", BATCHES_WHERE("LogPass<>InMoves")},
    {"作废的批次应恰有一条作废日志", "个批次", BATCHES_WHERE("LogVoid<>CASE WHEN Status='已作废' THEN 1 ELSE 0 END")},
    {"每张出库单应恰有一条出库日志", "张出库单", ONE_LOG("OutNo", "T_Outbound", "出库")},
    {"出库日志应对应存在的出库单", "条日志", WITHOUT("LogID", "T_Log", "o.ActType='出库' AND", "RefNo", "T_Outbound", "OutNo")},
    {"每张结算单应恰有一条结算日志", "张结算单", ONE_LOG("SettleNo", "T_Settle", "结算")},
};

#undef BATCHES_WHERE
#undef WITHOUT
#undef ONE_LOG

constexpr int kExamples = 5;
}  // namespace

QStringList IntegrityFaults(TDM& dm) {
    // The gathered facts live in the connection's temporary schema only while the check runs;
    // where the batch number of a voided settlement ends in its log text is the first space.
    const QString firstSpace = dm.Engine() == TDbEngine::PostgreSQL ? "strpos" : "instr";
    dm.ExecSQLP("DROP TABLE IF EXISTS integrity_batch");
    dm.ExecSQLP(QString::fromUtf8(kGatherFacts).arg(firstSpace + "(Detail || ' ', ' ')"));
    QStringList faults;
    for (const TRule& rule : kRules) {
        TStatement st = dm.NewQuery(QString::fromUtf8(rule.Sql));
        int broken = 0;
        QStringList examples;
        while (st.Next())
            if (++broken <= kExamples) examples << VarToStr(st.Value(0));
        if (broken > 0)
            faults << QStringLiteral("%1：%2 %3，如 %4")
                          .arg(QString::fromUtf8(rule.Text))
                          .arg(broken)
                          .arg(QString::fromUtf8(rule.Unit), examples.join(QStringLiteral("、")));
    }
    dm.ExecSQLP("DROP TABLE IF EXISTS integrity_batch");
    return faults;
}
