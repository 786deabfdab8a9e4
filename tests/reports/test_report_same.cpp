// The daily and farmer reports, as the window runs them chunk by chunk, give the same rows
// as the plain form of their statement (one lookup per day, month or farmer and column) on a season
// of generated business.

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
};

QString Day(TDbEngine engine, const QString& column) { return SqlDayText(engine, column); }

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

const char* const kFarmerPlain =
    "SELECT f.FarmerID AS 编号,f.Name AS 农户,f.Phone AS 电话,f.Village AS 村组, CASE WHEN f.Blacklist=-1 THEN '是' "
    "ELSE '否' END AS 黑名单, (SELECT COUNT(*) FROM T_Batch b WHERE b.FarmerID=f.FarmerID AND b.Status<>'已作废') AS "
    "批次数, (SELECT COALESCE(SUM(b.WetNetWt),0) FROM T_Batch b WHERE b.FarmerID=f.FarmerID AND b.Status<>'已作废') "
    "AS 湿粮总量公斤, (SELECT COALESCE(SUM(se.TotalFee),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 费用合计, "
    "(SELECT COALESCE(SUM(se.PaidAmt),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 已收合计, (SELECT "
    "COALESCE(SUM(se.DebtAmt),0) FROM T_Settle se WHERE se.FarmerID=f.FarmerID) AS 欠款合计 FROM T_Farmer f WHERE 1=1";

// The season is written with the file engine's own date functions; a run that tests the server
// copies it there, so the reports are compared on the server's answers.
struct TSeason {
    QTemporaryDir dir;
    std::unique_ptr<TDM> file;
    std::unique_ptr<TServerSchema> schema;
    std::unique_ptr<TDM> server;

    TSeason() {
        const QString path = dir.path() + "/season.mdb";
        EnsureDatabase(path, dir.path());
        file = std::make_unique<TDM>(path);
        file->Connect();
        TTransaction tx(*file);
        for (const char* statement : kGenerate) file->ExecSQLP(QString::fromUtf8(statement));
        tx.Commit();
        if (!TestOnServer()) return;
        schema = std::make_unique<TServerSchema>(*TestServer());
        server = std::make_unique<TDM>(schema->Config(), TOpenMode::CreateNew);
        server->Connect();
        TTransaction created(*server);
        CreateSchema(*server, MovelkarSchema(), false);
        created.Commit();
        CopyTables(*file, *server);
    }
    TDM& dm() { return server ? *server : *file; }
};

// The first row that differs, or empty. A number written to four decimals may differ by one in
// its last place: the same sum added up in another order lands on either side of a half.
QString FirstDifference(const QStringList& shown, const QStringList& plain) {
    if (shown.size() != plain.size()) return QStringLiteral("%1 rows shown, %2 expected").arg(shown.size()).arg(plain.size());
    for (int r = 0; r < shown.size(); ++r) {
        const QStringList a = shown[r].split('|'), b = plain[r].split('|');
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

// The report read chunk after chunk through the grid, as the window shows it, against the plain
// statement in one go.
void ExpectSame(TDM& dm, const TSqlText& shown, const QString& plainSql, const TParams& plainParams, int minRows) {
    QStringList shownCaptions, plainCaptions, plainRows;
    const QStringList shownRows = ReportRows(dm, shown, &shownCaptions);
    const TQuery q = dm.OpenSQLP(plainSql, plainParams);
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
}  // namespace

TEST(ReportsAgreeWithThePlainForm, DailyAndFarmerReports) {
    TSeason season;
    TDM& dm = season.dm();
    const TDbEngine e = dm.Engine();
    const std::vector<std::pair<QDate, QDate>> ranges{
        {QDate(2024, 11, 1), QDate(2026, 2, 28)},  // everything
        {QDate(2025, 3, 1), QDate(2025, 3, 31)},
        {QDate(2025, 2, 15), QDate(2025, 5, 3)},
        {QDate(2025, 7, 9), QDate(2025, 7, 9)},
        {QDate(2025, 6, 20), QDate(2025, 6, 1)},  // backwards
    };
    for (const auto& [from, to] : ranges) {
        SCOPED_TRACE((from.toString() + " – " + to.toString()).toStdString());
        ExpectSame(dm, DailyReport(e, from, to), DailyPlain(e),
                   {{"d1", from.toString("yyyy-MM-dd")}, {"d2", to.toString("yyyy-MM-dd")}}, from <= to ? 1 : 0);
    }
    ExpectSame(dm, FarmerReport(e, 0), QString(kFarmerPlain) + " ORDER BY 10 DESC, f.FarmerID", {}, 300);
    for (int farmer : {1, 8, 290})
        ExpectSame(dm, FarmerReport(e, farmer), QString(kFarmerPlain) + " AND f.FarmerID=:fid ORDER BY 10 DESC, f.FarmerID",
                   {{"fid", farmer}}, 1);
}
