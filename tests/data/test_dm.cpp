#include "support/TestCentre.h"

#include "data/uDbText.h"
#include "data/uSqlDialect.h"

#include <QDate>
#include <algorithm>
#include <limits>
#include <vector>
#include <gtest/gtest.h>

namespace {
QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

void AddBatch(TDM& dm, const QString& no, const QString& carNo = {}, const TValue& regTime = {},
              const TValue& wet = {}) {
    dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,CarNo,RegTime,WetNetWt,Status) VALUES(:b,:c,:t,:w,'待烘干')",
                {{"b", no}, {"c", carNo}, {"t", regTime}, {"w", wet}});
}

QStringList Column(TDM& dm, const QString& sql, const TParams& params = {}) {
    const TQuery q = dm.OpenSQLP(sql, params);
    QStringList values;
    for (int r = 0; r < q.RowCount(); ++r) values << (q.Value(r, 0).IsNull() ? QStringLiteral("null") : q.Value(r, 0).AsText());
    return values;
}

QString Failure(TDM& dm, const QString& sql) {
    try {
        dm.ExecSQLP(sql);
    } catch (const TDbError& e) {
        return DbErrorText(e);
    }
    return QStringLiteral("(done)");
}
}  // namespace

TEST(Values, NullDefaultsMoneyRoundingTextsAndAmountsTooLargeRefusedNotWrapped) {
    EXPECT_EQ(VarToFloat(TValue(), 15.0), 15.0);
    EXPECT_EQ(VarToFloat(TValue("abc")), 0.0);
    EXPECT_EQ(TValue::Money(1.23456).MoneyUnits(), 12346);
    EXPECT_EQ(FmtMoney(0.125), "0.13");
    EXPECT_EQ(FmtMoney(-0.125), "-0.13");
    EXPECT_EQ(FmtMoney(1e9 + 0.5), "1000000000.50");
    EXPECT_EQ(FmtNum(6.5, 2), "6.5");
    EXPECT_EQ(FmtNum(8650, 2), "8650");
    EXPECT_EQ(FmtFixed(13.5, 2), "13.50");
    EXPECT_EQ(DbTimeText(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 5, 700))), "2026-12-07 08:00:05");
    EXPECT_EQ(DbTimeFromText("2026-12-07 08:00:05"), QDateTime(QDate(2026, 12, 7), QTime(8, 0, 5)));
    EXPECT_EQ(EndOfDay(QDate(2026, 2, 28)), QDateTime(QDate(2026, 2, 28), QTime(23, 59, 59)));

    EXPECT_EQ(TValue::Money(900000000000000.0).MoneyUnits(), 9000000000000000000LL);
    EXPECT_EQ(TValue::Money(-922337203685477.5808).MoneyUnits(), std::numeric_limits<qint64>::min())
        << "an amount wrapped by an older version still reads back";
    for (const double yuan : {1e15, -1e15, 1e308, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(TValue::Money(yuan), TDbError) << yuan;
        EXPECT_THROW(TValue(yuan).MoneyUnits(), TDbError) << yuan;
    }
}

// Numbers count up within today and the prefix only, by number not by text; parameters are bound
// by name and are data, never SQL; fields come back as the kinds they were declared; a runaway
// query is given up.
TEST(DataModule, NumbersParametersFieldKindsAndTimeout) {
    TTestCentre c;
    TDM& dm = c.dm();
    const auto next = [&](const QString& prefix) { return dm.NextNo(prefix, "T_Batch", "BatchNo"); };
    EXPECT_EQ(next("PC"), "PC" + Today() + "001");
    for (const QString& no : {"PC" + Today() + "ABC", "PC" + Today() + "007",
                              "PC" + QDate::currentDate().addDays(-1).toString("yyyyMMdd") + "050", "CK" + Today() + "020"})
        AddBatch(dm, no);
    EXPECT_EQ(next("PC"), "PC" + Today() + "008");
    EXPECT_EQ(next("CK"), "CK" + Today() + "021");
    AddBatch(dm, "PC" + Today() + "999");
    EXPECT_EQ(next("PC"), "PC" + Today() + "1000");
    AddBatch(dm, "PC" + Today() + "1000");
    EXPECT_EQ(next("PC"), "PC" + Today() + "1001");

    dm.ExecSQLP("INSERT INTO T_Farmer(Name, Phone, Village, Remark, Blacklist) VALUES(:n, :p, :n, :r, :b)",
                {{"r", TValue()}, {"b", true}, {"p", "139"}, {"n", QStringLiteral("张三")}});
    EXPECT_EQ(c.rows("SELECT Name, Phone, Village, COALESCE(Remark,'null') FROM T_Farmer"),
              QStringLiteral("张三/139/张三/null"));
    const QString tricky = "O'Brien'); DELETE FROM T_Farmer; --";
    dm.ExecSQLP("UPDATE T_Farmer SET Remark=:r", {{"r", tricky}});
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT Remark FROM T_Farmer")), tricky);
    EXPECT_EQ(c.count("T_Farmer"), 1);
    EXPECT_THROW(dm.ExecSQLP("UPDATE T_Farmer SET Phone=:p", {{"q", "1"}}), TDbError);
    EXPECT_TRUE(dm.ScalarP("SELECT Pwd FROM T_User WHERE UserID=:i", {{"i", 9999}}).IsNull());
    EXPECT_TRUE(dm.ScalarP("SELECT MAX(Qty) FROM T_Stock").IsNull());
    EXPECT_TRUE(dm.OpenSQL("SELECT Blacklist FROM T_Farmer").Field("Blacklist").AsBool());
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Farmer WHERE Blacklist=-1")), 1);

    const QDateTime at(QDate(2026, 3, 9), QTime(7, 5, 30));
    dm.ExecSQLP("INSERT INTO T_Settle(SettleNo, TotalFee, SettleTime, StoreDays) VALUES('JS1', :m, :t, :d)",
                {{"m", TValue::Money(1234.56789)}, {"t", at}, {"d", 12}});
    const TQuery s = dm.OpenSQL("SELECT TotalFee, SettleTime, StoreDays, PaidAmt FROM T_Settle");
    EXPECT_EQ(s.Field("TotalFee").Kind(), TValueKind::Currency);
    EXPECT_EQ(s.Field("TotalFee").MoneyUnits(), 12345679);
    EXPECT_EQ(s.Field("SettleTime").AsDateTime(), at);
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT SettleTime FROM T_Settle")), "2026-03-09 07:05:30");
    EXPECT_EQ(s.Field("StoreDays").Kind(), TValueKind::Integer);
    EXPECT_TRUE(s.Field("PaidAmt").IsNull());

    dm.SetCommandTimeout(std::chrono::milliseconds(200));
    try {
        dm.ScalarP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n) SELECT COUNT(*) FROM n");
        ADD_FAILURE() << "the query should have been stopped";
    } catch (const TDbError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("超时"))) << e.Message().toStdString();
    }
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Grain")), 3);
}

// A failed save leaves nothing and takes its log row with it; a log row that cannot be written
// never fails its save; no statement changes or removes a log row, and a database made before
// that guard gets it at its next connect.
TEST(Transactions, AFailedSaveLeavesNothingAndTheLogIsKeptAsWritten) {
    TTestCentre c;
    TDM& dm = c.dm();
    const bool server = dm.Engine() == TDbEngine::PostgreSQL;
    const auto no = [](int n) { return "PC" + Today() + QStringLiteral("%1").arg(n, 3, 10, QChar('0')); };
    try {
        TTransaction tx(dm);
        AddBatch(dm, no(1));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(1), "");
        dm.ExecSQLP("INSERT INTO T_Stock(BatchNo, Status) VALUES(:b, :s)",
                    {{"b", no(1)}, {"s", QStringLiteral("一个远远超过十个字的库存状态文字")}});
        tx.Commit();
        ADD_FAILURE() << "the over-long status should have failed";
    } catch (const TDbError&) {
    }
    EXPECT_FALSE(dm.InTransaction());
    EXPECT_EQ(c.count("T_Stock"), 0);
    dm.RollbackTrans();
    dm.CommitTrans();
    {
        TTransaction tx(dm);  // left without its commit
        AddBatch(dm, no(2));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(2), "");
    }
    EXPECT_EQ(c.count("T_Batch"), 0);
    EXPECT_EQ(c.count("T_Log"), 0);

    if (server) {
        dm.ExecSQLP("CREATE FUNCTION refuse_log() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'log refused'; END $$ "
                    "LANGUAGE plpgsql");
        dm.ExecSQLP("CREATE TRIGGER refuse_log BEFORE INSERT ON T_Log FOR EACH ROW EXECUTE FUNCTION refuse_log()");
    } else {
        dm.ExecSQLP("CREATE TRIGGER refuse_log BEFORE INSERT ON T_Log BEGIN SELECT RAISE(ABORT, 'log refused'); END");
    }
    {
        TTransaction tx(dm);
        AddBatch(dm, no(3));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(3), "");
        AddBatch(dm, no(4));
        tx.Commit();
    }
    EXPECT_EQ(c.count("T_Batch"), 2);
    EXPECT_EQ(c.count("T_Log"), 0);
    dm.ExecSQLP(server ? "DROP TRIGGER refuse_log ON T_Log" : "DROP TRIGGER refuse_log");
    dm.WriteLog(QStringLiteral("新增"), "T_Farmer", QString(30, 'x'), "");
    {
        TTransaction tx(dm);
        AddBatch(dm, no(5));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(5), QStringLiteral("张三"));
        tx.Commit();
    }
    EXPECT_EQ(c.count("T_Batch"), 3);
    EXPECT_EQ(c.rows("SELECT ActType, LoginName, Detail FROM T_Log"), QStringLiteral("收粮登记/admin/张三"));
    EXPECT_LE(qAbs(c.scalar("SELECT OpTime FROM T_Log").AsDateTime().secsTo(QDateTime::currentDateTime())), 5);

    const QString kept = QStringLiteral("操作日志不能修改或删除");
    EXPECT_EQ(Failure(dm, "UPDATE T_Log SET Detail='李四'"), kept);
    EXPECT_EQ(Failure(dm, "DELETE FROM T_Log"), kept);
    for (const char* drop : server ? std::vector<const char*>{"DROP TRIGGER trg_log_kept ON T_Log",
                                                              "DROP TRIGGER trg_log_kept_truncate ON T_Log"}
                                   : std::vector<const char*>{"DROP TRIGGER trg_log_kept_update",
                                                              "DROP TRIGGER trg_log_kept_delete"})
        dm.ExecSQLP(drop);
    TDM next(dm.Config());
    ASSERT_TRUE(next.Connect());
    EXPECT_TRUE(next.ConnectNotes().isEmpty()) << next.ConnectNotes().join('\n').toStdString();
    EXPECT_EQ(Failure(dm, "DELETE FROM T_Log"), kept);
    EXPECT_EQ(Failure(dm, server ? "TRUNCATE T_Log" : "UPDATE T_Log SET LoginName='x'"), kept);
    EXPECT_EQ(c.rows("SELECT ActType, Detail FROM T_Log"), QStringLiteral("收粮登记/张三"));
}

// Each engine-specific piece, run on the engine, with values that a careless spelling gets wrong:
// the last second of a month, a plate typed in small letters, sums over no rows, a null key.
TEST(SqlDialect, EachPieceMeansWhatTheStatementsCountOn) {
    TTestCentre c;
    TDM& dm = c.dm();
    const TDbEngine e = dm.Engine();
    const QDateTime monthEnd(QDate(2024, 1, 31), QTime(23, 59, 59));
    AddBatch(dm, "PC20240131001", QStringLiteral("苏A12345"), monthEnd, 200);
    AddBatch(dm, "PC20240201001", QStringLiteral("苏B67890"), QDateTime(QDate(2024, 2, 1), QTime(0, 0)), 300.25);
    AddBatch(dm, "PC20240201002", QStringLiteral("苏C00001"));

    EXPECT_EQ(Column(dm, "SELECT " + SqlDayText(e, "RegTime") + " FROM T_Batch ORDER BY BatchNo"),
              (QStringList{"2024-01-31", "2024-02-01", "null"}));
    EXPECT_EQ(Column(dm, "SELECT " + SqlMonthText(e, "RegTime") + " FROM T_Batch ORDER BY BatchNo"),
              (QStringList{"2024-01", "2024-02", "null"}));
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch WHERE " + SqlSkipIndex(e, "RegTime") + " BETWEEN :a AND :b",
                                  {{"a", QDateTime(QDate(2024, 1, 31), QTime(0, 0))}, {"b", EndOfDay(QDate(2024, 1, 31))}})),
              1);

    const auto matches = [&](const QString& column, const QString& typed) {
        return Column(dm, "SELECT BatchNo FROM T_Batch WHERE " + SqlLikeNoCase(e, column, ":k") + " ORDER BY BatchNo",
                      {{"k", "%" + typed + "%"}});
    };
    EXPECT_EQ(matches("CarNo", "a123"), QStringList{"PC20240131001"});
    EXPECT_EQ(matches("BatchNo", "pc202402"), (QStringList{"PC20240201001", "PC20240201002"}));
    EXPECT_TRUE(matches("CarNo", "d").isEmpty());

    const TValue none = dm.ScalarP("SELECT " + SqlTotal(e, "WetNetWt") + " FROM T_Batch WHERE BatchNo='none'");
    ASSERT_FALSE(none.IsNull());
    EXPECT_EQ(VarToFloat(none, -1), 0.0);
    EXPECT_DOUBLE_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlTotal(e, "WetNetWt") + " FROM T_Batch")), 500.25);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(e, "SUM(x)", 4) + " FROM (SELECT 0.1 AS x UNION ALL SELECT 0.2) AS t")),
              0.3);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(e, ":w*100/3.0", 1), {{"w", 2}})), 66.7);

    // The grid pages after the last row held on the side where the engine sorts a null.
    const QString listing = "SELECT * FROM (SELECT b.BatchNo, b.RegTime FROM T_Batch b) AS listing ORDER BY " +
                            SqlResultName(e, "RegTime");
    const QString byNumber = "," + SqlResultName(e, "BatchNo");
    QStringList ascending{"PC20240131001", "PC20240201001", "PC20240201002"};
    if (!SqlNullsSortHigh(e)) ascending.move(2, 0);
    EXPECT_EQ(Column(dm, listing + byNumber), ascending);
    std::reverse(ascending.begin(), ascending.end());
    EXPECT_EQ(Column(dm, listing + " DESC" + byNumber), ascending);
}
