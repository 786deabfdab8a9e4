// Each report, as the window runs it, gives the same rows as the plain form of its statement
// (one lookup per day, month or farmer and column) on a season of generated business.

#include "data/uSqlDialect.h"
#include "reports/ReportWorld.h"
#include "reports/uReportQuery.h"
#include "data/uDbCopy.h"
#include "data/uDbInit.h"
#include "support/TestCentre.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// About 3000 batches over fourteen months: voided, waiting, re-dried and unfinished ones, days
// with only one kind of event, rounds ending at 23:59:59, farmers without batches; more days and
// farmers than one screen of the grid holds.
const char* const kGenerate[] = {
    "INSERT INTO T_Equip(EquipNo,Model,Status) VALUES('HG-002','x','正常'),('HG-003','x','正常'),('HG-001','x','维修')",
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300) "
    "INSERT INTO T_Farmer(Name,Phone,Village,Blacklist) SELECT '农户'||i, '1390000'||printf('%04d',i), '村'||(i%5), "
    "CASE WHEN i%9=0 THEN -1 ELSE 0 END FROM n",
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<3000) "
    "INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,Impurity,GrossWt,TareWt,WetNetWt,WhID,Status) "
    "SELECT 'PC'||printf('%05d',i), datetime('2024-11-20 06:00:00','+'||(i*12345+(i*7919)%5000)||' seconds'), '苏A'||i, "
    "1+(i*7)%280, 1+(i*i)%3, 18+(i%90)/10.0, 1.5, 20000+(i*37)%20000, 10000, "
    "CASE WHEN i%101=0 THEN NULL ELSE 10000+(i*37)%20000+(i%4)*0.25 END, 1, "
    "CASE WHEN i%17=0 THEN '已作废' WHEN i%13=0 THEN '待烘干' WHEN i%3=0 THEN '在库' WHEN i%3=1 THEN '待结算' "
    "ELSE '已完结' END FROM n",
    "INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) SELECT BatchNo,1,GrainID,FarmerID,"
    "WetNetWt,RegTime,InMoisture,'已出库' FROM T_Batch",
    "INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,EndTime,DryHours,OutMoisture,DryNetWt,LossWt,LossRate) "
    "SELECT BatchNo,1,1+rowid%3,1,datetime(RegTime,'+3 hours'),CASE WHEN rowid%29=0 THEN NULL WHEN rowid%23=0 THEN "
    "substr(RegTime,1,10)||' 23:59:59' ELSE datetime(RegTime,'+9 hours') END,6,14.5,CASE WHEN rowid%29=0 THEN NULL "
    "ELSE WetNetWt*0.87 END,WetNetWt*0.13,8+(rowid%50)/10.0 FROM T_Batch WHERE Status<>'待烘干'",
    "INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,EndTime,DryHours,OutMoisture,DryNetWt,LossWt,LossRate) "
    "SELECT BatchNo,2,1+rowid%4,1,datetime(RegTime,'+1 days'),CASE WHEN rowid%5=0 THEN NULL ELSE "
    "datetime(RegTime,'+1 days','+7 hours') END,5,14,WetNetWt*0.85,WetNetWt*0.15,12+(rowid%30)/10.0 FROM T_Batch "
    "WHERE Status<>'待烘干' AND rowid%7=0 AND rowid%29<>0",
    "INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) SELECT d.BatchNo,2+d.DryID%3,1,0,"
    "d.DryNetWt,d.EndTime,14,'在库' FROM T_Drying d WHERE d.EndTime IS NOT NULL AND d.Round=(SELECT MAX(Round) FROM "
    "T_Drying WHERE BatchNo=d.BatchNo)",
    "INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) SELECT BatchNo,4,1,0,100,"
    "datetime(InTime,'+2 days'),14,'在库' FROM T_Stock WHERE WhID=2",
    "INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime) SELECT 'CK'||StockID,'农户自提',"
    "BatchNo,0,1,Qty/2,datetime(InTime,'+'||(StockID%9)||' days') FROM T_Stock WHERE WhID IN (2,3,4)",
    "INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime) SELECT 'CK'||StockID||'b','对外销售',"
    "BatchNo,0,1,Qty/3,datetime(InTime,'+30 days') FROM T_Stock WHERE WhID=3",
    "INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,TotalFee,PaidAmt,DebtAmt,Status,SettleTime) SELECT "
    "'JS'||BatchNo,BatchNo,FarmerID,1,round(WetNetWt*0.1234,2),round(WetNetWt*0.1,2),round(WetNetWt*0.1234,2)-"
    "round(WetNetWt*0.1,2),'部分欠款',datetime(RegTime,'+20 days','+'||(rowid%5)||' hours') FROM T_Batch "
    "WHERE Status IN ('待结算','已完结')",
    "INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,TotalFee,PaidAmt,DebtAmt,Status,SettleTime) SELECT "
    "'JS'||BatchNo||'b',BatchNo,FarmerID,1,55.55,55.55,0,'已结清',datetime(RegTime,'+40 days') FROM T_Batch "
    "WHERE Status='已完结' AND rowid%6=0",
    "INSERT INTO T_EquipRun(EquipID,BatchNo,StartTime,EndTime,RunHours,PowerKWh,Status) SELECT EquipID,BatchNo,"
    "StartTime,EndTime,DryHours,DryHours*41.5,'作业' FROM T_Drying WHERE DryID%10<>0",
    "INSERT INTO T_EquipRun(EquipID,StartTime,RunHours,PowerKWh,Status) SELECT 4,datetime(RegTime,'+2 hours'),1,"
    "CASE WHEN rowid%3=0 THEN NULL ELSE 20 END,'待机' FROM T_Batch WHERE rowid%40=0",
};

QString Day(TDbEngine engine, const QString& column) { return SqlDayText(engine, column); }
QString Month(TDbEngine engine, const QString& column) { return SqlMonthText(engine, column); }

// Only the round whose grain went into store, the last of its batch, adds to the dried grain.
const char* const kLastRound = "d.Round=(SELECT MAX(d2.Round) FROM T_Drying d2 WHERE d2.BatchNo=d.BatchNo)";

QString DailyPlain(TDbEngine e) {
    return QStringLiteral(
               "SELECT dd.RDay AS 日期, (SELECT COUNT(*) FROM T_Batch b WHERE %1=dd.RDay AND b.Status<>'已作废') AS "
               "收粮车次数, (SELECT COALESCE(SUM(b.WetNetWt),0) FROM T_Batch b WHERE %1=dd.RDay AND "
               "b.Status<>'已作废') AS 收粮湿重公斤, (SELECT COALESCE(SUM(d.DryNetWt),0) FROM T_Drying d WHERE "
               "%2=dd.RDay AND d.EndTime IS NOT NULL AND %7) AS 烘干干粮公斤, (SELECT COALESCE(SUM(o.OutWt),0) FROM "
               "T_Outbound o WHERE %3=dd.RDay) AS 出库数量公斤 FROM (SELECT %4 AS RDay FROM T_Batch UNION SELECT %5 "
               "FROM T_Drying d WHERE EndTime IS NOT NULL AND %7 UNION SELECT %6 FROM T_Outbound) AS dd WHERE dd.RDay BETWEEN "
               ":d1 AND :d2 ORDER BY dd.RDay")
        .arg(Day(e, "b.RegTime"), Day(e, "d.EndTime"), Day(e, "o.OutTime"), Day(e, "RegTime"), Day(e, "EndTime"), Day(e, "OutTime"),
             kLastRound);
}

QString MonthlyPlain(TDbEngine e) {
    return QStringLiteral(
               "SELECT mm.RMonth AS 月份, (SELECT COUNT(*) FROM T_Batch b WHERE %1=mm.RMonth AND b.Status<>'已作废') "
               "AS 收粮批次数, (SELECT COALESCE(SUM(b.WetNetWt),0) FROM T_Batch b WHERE %1=mm.RMonth AND "
               "b.Status<>'已作废') AS 湿粮公斤, (SELECT COALESCE(SUM(d.DryNetWt),0) FROM T_Drying d WHERE "
               "%2=mm.RMonth AND d.EndTime IS NOT NULL AND %9) AS 干粮公斤, (SELECT COALESCE(SUM(o.OutWt),0) FROM "
               "T_Outbound o WHERE %3=mm.RMonth) AS 出库公斤, (SELECT COALESCE(SUM(se.TotalFee),0) FROM T_Settle se "
               "WHERE %4=mm.RMonth) AS 营收合计, (SELECT COALESCE(SUM(se.PaidAmt),0) FROM T_Settle se WHERE "
               "%4=mm.RMonth) AS 已收合计, (SELECT COALESCE(SUM(se.DebtAmt),0) FROM T_Settle se WHERE %4=mm.RMonth) "
               "AS 新增欠款 FROM (SELECT %5 AS RMonth FROM T_Batch UNION SELECT %6 FROM T_Drying d WHERE EndTime IS "
               "NOT NULL AND %9 UNION SELECT %7 FROM T_Outbound UNION SELECT %8 FROM T_Settle) AS mm WHERE mm.RMonth "
               "BETWEEN :d1 AND :d2 ORDER BY mm.RMonth")
        .arg(Month(e, "b.RegTime"), Month(e, "d.EndTime"), Month(e, "o.OutTime"), Month(e, "se.SettleTime"), Month(e, "RegTime"),
             Month(e, "EndTime"), Month(e, "OutTime"), Month(e, "SettleTime"), kLastRound);
}

const char* const kFarmerPlain =
    "SELECT f.FarmerID AS 编号,f.Name AS 农户,f.Phone AS 电话,f.Village AS 村组, CASE WHEN f.Blacklist=-1 THEN '是' "
    "ELSE '否' END AS 黑名单, (SELECT COUNT(*) FROM T_Batch b WHERE b.FarmerID=f.FarmerID AND b.Status<>'已作废') AS "
    "批次数, (SELECT COALESCE(SUM(b.WetNetWt),0) FROM T_Batch b WHERE b.FarmerID=f.FarmerID AND b.Status<>'已作废') "
    "AS 湿粮总量公斤, (SELECT COALESCE(SUM(se.TotalFee),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 费用合计, "
    "(SELECT COALESCE(SUM(se.PaidAmt),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 已收合计, (SELECT "
    "COALESCE(SUM(se.DebtAmt),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 欠款合计 FROM T_Farmer f WHERE 1=1";

const char* const kEnergyPlain =
    "SELECT e.EquipNo AS 设备编号, rr.Hours AS 运行时长小时, rr.KWh AS 耗电度数, CASE WHEN dd.W IS NULL THEN 0 ELSE "
    "dd.W END AS 烘干干粮公斤含返烘, CASE WHEN dd.W IS NULL OR dd.W=0 THEN 0 ELSE rr.KWh/(dd.W/1000) END AS 单吨电耗度每吨 "
    "FROM (T_Equip e LEFT JOIN (SELECT EquipID,SUM(RunHours) AS Hours,SUM(PowerKWh) AS KWh FROM T_EquipRun WHERE "
    "StartTime BETWEEN :a1 AND :b1 GROUP BY EquipID) rr ON rr.EquipID=e.EquipID) LEFT JOIN (SELECT EquipID,"
    "SUM(DryNetWt) AS W FROM T_Drying WHERE StartTime BETWEEN :a2 AND :b2 AND EndTime IS NOT NULL GROUP BY EquipID) dd "
    "ON dd.EquipID=e.EquipID WHERE rr.KWh IS NOT NULL OR dd.W IS NOT NULL ORDER BY e.EquipNo, e.EquipID";

const char* const kLossPlain =
    "SELECT g.GrainName AS 粮种, COUNT(*) AS 完成批次数, CASE WHEN SUM(b.WetNetWt) IS NULL THEN 0 ELSE "
    "SUM(b.WetNetWt) END AS 湿粮合计公斤, SUM(d.DryNetWt) AS 干粮合计公斤, SUM(d.LossWt) AS 损耗合计公斤, "
    "AVG(d.LossRate) AS 平均损耗率百分比 FROM ((T_Drying d INNER JOIN T_Batch b ON d.BatchNo=b.BatchNo) INNER JOIN "
    "T_Grain g ON b.GrainID=g.GrainID) WHERE d.EndTime IS NOT NULL AND d.EndTime BETWEEN :a AND :b AND "
    "d.Round=(SELECT MAX(d2.Round) FROM T_Drying d2 WHERE d2.BatchNo=d.BatchNo) GROUP BY g.GrainName ORDER BY "
    "AVG(d.LossRate) DESC";

// The trace as first written, but with the dry-grain position taken from the dry-grain zone.
const char* const kTracePlain =
    "SELECT b.BatchNo AS 批次号,b.RegTime AS 登记时间,b.CarNo AS 车牌号, f.Name AS 农户,f.Phone AS 电话,g.GrainName "
    "AS 粮种, b.InMoisture AS 入库水分,b.Impurity AS 杂质,b.GrossWt AS 毛重, b.TareWt AS 皮重,b.WetNetWt AS 湿粮净重,"
    "b.Status AS 批次状态, dr.Round AS 最终轮次,e.EquipNo AS 设备,dr.StartTime AS 上机时间, dr.EndTime AS 下机时间,"
    "dr.DryHours AS 烘干时长,dr.OutMoisture AS 烘后水分, dr.DryNetWt AS 烘后净重,dr.LossWt AS 损耗重量,dr.LossRate AS "
    "损耗率, dr.AbnormalMemo AS 异常记录,w.WhName AS 干粮仓位,si.InTime AS 入仓时间, (SELECT COALESCE(SUM(o.OutWt),0) "
    "FROM T_Outbound o WHERE o.BatchNo=b.BatchNo) AS 累计出库公斤, se.SettleNo AS 结算单号,se.TotalFee AS 总费用,"
    "se.PaidAmt AS 已收, se.DebtAmt AS 欠款,se.Status AS 结算状态, (SELECT COUNT(*) FROM T_Photo p WHERE "
    "p.BatchNo=b.BatchNo AND p.FilePath IS NOT NULL) AS 过磅照片张数 FROM ((((((((T_Batch b LEFT JOIN T_Farmer f ON "
    "b.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON b.GrainID=g.GrainID) LEFT JOIN (SELECT BatchNo, MAX(Round) AS MR "
    "FROM T_Drying GROUP BY BatchNo) lr ON lr.BatchNo=b.BatchNo) LEFT JOIN T_Drying dr ON dr.BatchNo=lr.BatchNo AND "
    "dr.Round=lr.MR) LEFT JOIN T_Equip e ON dr.EquipID=e.EquipID) LEFT JOIN (SELECT s.BatchNo, MIN(s.StockID) AS MS "
    "FROM T_Stock s INNER JOIN T_Wh z ON s.WhID=z.WhID WHERE z.WhType='干粮区' GROUP BY s.BatchNo) lsi ON "
    "lsi.BatchNo=b.BatchNo) LEFT JOIN T_Stock si ON si.StockID=lsi.MS) LEFT JOIN T_Wh w ON si.WhID=w.WhID) LEFT JOIN "
    "T_Settle se ON se.BatchNo=b.BatchNo WHERE b.BatchNo=:bn ORDER BY se.SettleNo";

// The season is written with the file engine's own date functions; a run that tests the server
// copies it there, so the reports are compared on the server's answers.
struct TSeason {
    QTemporaryDir dir;
    std::unique_ptr<TDM> file;
    std::unique_ptr<TServerSchema> schema;
    std::unique_ptr<TDM> server;
    TDM& dm() { return server ? *server : *file; }
};

// The first row that differs, or empty. A number written to four decimals may differ by one in
// its last place: the same sum added up in another order lands on either side of a half.
QString FirstDifference(const QStringList& shown, const QStringList& plain) {
    if (shown.size() != plain.size()) return QStringLiteral("%1 rows shown, %2 expected").arg(shown.size()).arg(plain.size());
    for (int r = 0; r < shown.size(); ++r) {
        const QStringList a = shown[r].split('|');
        const QStringList b = plain[r].split('|');
        bool same = a.size() == b.size();
        for (int c = 0; same && c < a.size(); ++c) {
            bool numbers = false, other = false;
            const double x = a[c].toDouble(&numbers), y = b[c].toDouble(&other);
            same = a[c] == b[c] || (numbers && other && qAbs(x - y) <= 0.00011);
        }
        if (!same) return shown[r] + "  ≠  " + plain[r];
    }
    return {};
}

class ReportsAgreeWithThePlainForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        season_ = new TSeason;
        const QString path = season_->dir.path() + "/season.mdb";
        EnsureDatabase(path, season_->dir.path());
        season_->file = std::make_unique<TDM>(path);
        season_->file->Connect();
        TTransaction tx(*season_->file);
        for (const char* statement : kGenerate) season_->file->ExecSQLP(QString::fromUtf8(statement));
        tx.Commit();
        if (!TestOnServer()) return;
        season_->schema = std::make_unique<TServerSchema>(*TestServer());
        season_->server = std::make_unique<TDM>(season_->schema->Config(), TOpenMode::CreateNew);
        season_->server->Connect();
        TTransaction created(*season_->server);
        CreateSchema(*season_->server, MovelkarSchema(), false);
        created.Commit();
        CopyTables(*season_->file, *season_->server);
    }
    static void TearDownTestSuite() {
        delete season_;
        season_ = nullptr;
    }
    static TDM& Dm() { return season_->dm(); }

    // The rewritten report read chunk after chunk through the grid, as the window shows it, against
    // the plain statement in one go. Numbers are compared to four decimals: sums added up in another
    // order may differ in their last binary digits.
    static void ExpectSame(const TSqlText& shown, const QString& plainSql, const TParams& plainParams,
                           int minRows = 1) {
        QStringList shownCaptions, plainCaptions, plainRows;
        const QStringList shownRows = ReportRows(Dm(), shown, &shownCaptions);
        const TQuery q = Dm().OpenSQLP(plainSql, plainParams);
        for (int c = 0; c < q.ColumnCount(); ++c) plainCaptions << q.ColumnName(c);
        for (int r = 0; r < q.RowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < q.ColumnCount(); ++c) cells << CellOf(q.Value(r, c));
            plainRows << cells.join('|');
        }
        EXPECT_EQ(shownCaptions, plainCaptions);
        EXPECT_EQ(FirstDifference(shownRows, plainRows), "");
        EXPECT_GE(int(shownRows.size()), minRows) << "the data should exercise the report";
    }

    static TParams Times(const QDate& from, const QDate& to, const QStringList& names) {
        TParams p;
        for (int i = 0; i < names.size(); i += 2) {
            p.push_back({names[i], QDateTime(from, QTime(0, 0))});
            p.push_back({names[i + 1], EndOfDay(to)});
        }
        return p;
    }

    static TSeason* season_;
};

TSeason* ReportsAgreeWithThePlainForm::season_ = nullptr;

const std::vector<std::pair<QDate, QDate>> kRanges{
    {QDate(2024, 11, 1), QDate(2026, 2, 28)},  // everything
    {QDate(2025, 3, 1), QDate(2025, 3, 31)},
    {QDate(2025, 2, 15), QDate(2025, 5, 3)},
    {QDate(2025, 7, 9), QDate(2025, 7, 9)},
    {QDate(2025, 6, 20), QDate(2025, 6, 1)},  // backwards
};
}  // namespace

TEST_F(ReportsAgreeWithThePlainForm, DailyReport) {
    for (const auto& [from, to] : kRanges)
        ExpectSame(DailyReport(Dm().Engine(), from, to), DailyPlain(Dm().Engine()),
                   {{"d1", from.toString("yyyy-MM-dd")}, {"d2", to.toString("yyyy-MM-dd")}}, from <= to ? 1 : 0);
}

TEST_F(ReportsAgreeWithThePlainForm, MonthlyReport) {
    for (const auto& [from, to] : kRanges)
        ExpectSame(MonthlyReport(Dm().Engine(), from, to), MonthlyPlain(Dm().Engine()),
                   {{"d1", from.toString("yyyy-MM")}, {"d2", to.toString("yyyy-MM")}});
}

TEST_F(ReportsAgreeWithThePlainForm, FarmerReport) {
    ExpectSame(FarmerReport(Dm().Engine(), 0), QString(kFarmerPlain) + " ORDER BY 10 DESC, f.FarmerID", {}, 300);
    for (int farmer : {1, 8, 290})
        ExpectSame(FarmerReport(Dm().Engine(), farmer), QString(kFarmerPlain) + " AND f.FarmerID=:fid ORDER BY 10 DESC, f.FarmerID",
                   {{"fid", farmer}});
}

TEST_F(ReportsAgreeWithThePlainForm, EnergyReport) {
    for (const auto& [from, to] : kRanges)
        ExpectSame(EnergyReport(from, to), kEnergyPlain, Times(from, to, {"a1", "b1", "a2", "b2"}), from <= to ? 1 : 0);
}

TEST_F(ReportsAgreeWithThePlainForm, LossReport) {
    for (const auto& [from, to] : kRanges)
        ExpectSame(LossReport(from, to), kLossPlain, Times(from, to, {"a", "b"}), from <= to ? 1 : 0);
}

TEST_F(ReportsAgreeWithThePlainForm, TraceReport) {
    for (int i = 1; i <= 3000; i += 19) {
        const QString batchNo = QString("PC%1").arg(i, 5, 10, QChar('0'));
        ExpectSame(TraceReport(batchNo), kTracePlain, {{"bn", batchNo}});
    }
    ExpectSame(TraceReport("PC99999"), kTracePlain, {{"bn", "PC99999"}}, 0);
}
