#include "support/TestCentre.h"

#include "data/uDbText.h"

#include <QDate>
#include <vector>
#include <gtest/gtest.h>

namespace {
QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

void AddBatch(TDM& dm, const QString& no) {
    dm.ExecSQLP("INSERT INTO T_Batch(BatchNo, Status) VALUES(:b, '待烘干')", {{"b", no}});
}
}  // namespace

TEST(NextNo, CountsUpByNumberWithinTodayAndPrefixOnly) {
    TTestCentre c;
    TDM& dm = c.dm();
    const auto next = [&](const QString& prefix) { return dm.NextNo(prefix, "T_Batch", "BatchNo"); };
    EXPECT_EQ(next("PC"), "PC" + Today() + "001");

    AddBatch(dm, "PC" + Today() + "ABC");
    AddBatch(dm, "PC" + Today() + "007");
    AddBatch(dm, "PC" + QDate::currentDate().addDays(-1).toString("yyyyMMdd") + "050");
    AddBatch(dm, "CK" + Today() + "020");
    EXPECT_EQ(next("PC"), "PC" + Today() + "008");
    EXPECT_EQ(next("CK"), "CK" + Today() + "021");

    AddBatch(dm, "PC" + Today() + "999");
    EXPECT_EQ(next("PC"), "PC" + Today() + "1000");
    AddBatch(dm, "PC" + Today() + "1000");
    EXPECT_EQ(next("PC"), "PC" + Today() + "1001");
}

TEST(Params, BoundByNameWithNullAndRepeatedNamesAndScalarNulls) {
    TTestCentre c;
    TDM& dm = c.dm();
    // Given in another order than they stand in the text: taken by name, not position.
    dm.ExecSQLP("INSERT INTO T_Farmer(Name, Phone, Village, Remark) VALUES(:n, :p, :n, :r)",
                {{"r", TValue()}, {"p", "139"}, {"n", QStringLiteral("张三")}});
    EXPECT_EQ(c.rows("SELECT Name, Phone, Village, COALESCE(Remark,'null') FROM T_Farmer"),
              QStringLiteral("张三/139/张三/null"));

    // Text with quotes is data, never SQL.
    const QString tricky = "O'Brien'); DELETE FROM T_Farmer; --";
    dm.ExecSQLP("UPDATE T_Farmer SET Remark=:r", {{"r", tricky}});
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT Remark FROM T_Farmer")), tricky);
    EXPECT_EQ(c.count("T_Farmer"), 1);
    EXPECT_THROW(dm.ExecSQLP("UPDATE T_Farmer SET Phone=:p", {{"q", "1"}}), TDbError);

    EXPECT_TRUE(dm.ScalarP("SELECT Pwd FROM T_User WHERE UserID=:i", {{"i", 9999}}).IsNull());
    EXPECT_TRUE(dm.ScalarP("SELECT MAX(Qty) FROM T_Stock").IsNull());
}

TEST(TaggedValues, FieldsKeepTheirDeclaredKinds) {
    TTestCentre c;
    TDM& dm = c.dm();
    const QDateTime at(QDate(2026, 3, 9), QTime(7, 5, 30));
    dm.ExecSQLP("INSERT INTO T_Settle(SettleNo, TotalFee, SettleTime, StoreDays) VALUES('JS1', :m, :t, :d)",
                {{"m", TValue::Money(1234.56789)}, {"t", at}, {"d", 12}});
    dm.ExecSQLP("INSERT INTO T_Farmer(Name, Blacklist, Remark) VALUES('a', :b, :r)", {{"b", true}, {"r", "007"}});

    const TQuery s = dm.OpenSQL("SELECT TotalFee, SettleTime, StoreDays, PaidAmt FROM T_Settle");
    EXPECT_EQ(s.Field("TotalFee").Kind(), TValueKind::Currency);
    EXPECT_EQ(s.Field("TotalFee").MoneyUnits(), 12345679);
    EXPECT_EQ(s.Field("SettleTime").AsDateTime(), at);
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT SettleTime FROM T_Settle")), "2026-03-09 07:05:30");
    EXPECT_EQ(s.Field("StoreDays").Kind(), TValueKind::Integer);
    EXPECT_TRUE(s.Field("PaidAmt").IsNull());

    const TQuery f = dm.OpenSQL("SELECT Blacklist, Remark FROM T_Farmer");
    EXPECT_TRUE(f.Field("Blacklist").AsBool());
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Farmer WHERE Blacklist=-1")), 1);
    EXPECT_EQ(VarToStr(f.Field("Remark")), "007");
}

TEST(CommandTimeout, RunawayQueryIsGivenUp) {
    TTestCentre c;
    TDM& dm = c.dm();
    dm.SetCommandTimeout(std::chrono::milliseconds(200));
    try {
        dm.ScalarP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n) SELECT COUNT(*) FROM n");
        FAIL() << "the query should have been stopped";
    } catch (const TDbError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("超时"))) << e.Message().toStdString();
    }
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Grain")), 3);
}

TEST(Transactions, AFailedSaveLeavesNothingAndTheLogRowGoesWithItsSave) {
    TTestCentre c;
    TDM& dm = c.dm();
    const auto no = [](int n) { return "PC" + Today() + QStringLiteral("%1").arg(n, 3, 10, QChar('0')); };
    try {
        TTransaction tx(dm);
        AddBatch(dm, no(1));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(1), "");
        dm.ExecSQLP("INSERT INTO T_Stock(BatchNo, Status) VALUES(:b, :s)",
                    {{"b", no(1)}, {"s", QStringLiteral("一个远远超过十个字的库存状态文字")}});
        tx.Commit();
        FAIL() << "the over-long status should have failed";
    } catch (const TDbError&) {
    }
    EXPECT_FALSE(dm.InTransaction());
    EXPECT_EQ(c.count("T_Stock"), 0);
    dm.RollbackTrans();
    dm.CommitTrans();

    // A save left without its commit takes its log row with it.
    {
        TTransaction tx(dm);
        AddBatch(dm, no(2));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(2), "");
    }
    EXPECT_EQ(c.count("T_Batch"), 0);
    EXPECT_EQ(c.count("T_Log"), 0);

    // A log row that cannot be written never fails the save, inside a transaction or outside.
    if (dm.Engine() == TDbEngine::PostgreSQL) {
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
    dm.ExecSQLP(dm.Engine() == TDbEngine::PostgreSQL ? "DROP TRIGGER refuse_log ON T_Log" : "DROP TRIGGER refuse_log");
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
}

// The operation log is the centre's audit trail: no statement changes or removes a row of it, and
// a database made before it was guarded gets the guard at its next start.
TEST(OperationLog, NoRowIsChangedOrDeletedAndAnOlderDatabaseGetsItsGuardAtStart) {
    TTestCentre c;
    TDM& dm = c.dm();
    dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", "PC" + Today() + "001", QStringLiteral("张三"));
    const auto refusal = [&](const QString& sql) {
        try {
            dm.ExecSQLP(sql);
        } catch (const TDbError& e) {
            return DbErrorText(e);
        }
        return QStringLiteral("(done)");
    };
    const QString kept = QStringLiteral("操作日志不能修改或删除");
    EXPECT_EQ(refusal("UPDATE T_Log SET Detail='李四'"), kept);
    EXPECT_EQ(refusal("DELETE FROM T_Log"), kept);

    // A database made before the guard.
    const bool server = dm.Engine() == TDbEngine::PostgreSQL;
    for (const char* drop : server ? std::vector<const char*>{"DROP TRIGGER trg_log_kept ON T_Log",
                                                              "DROP TRIGGER trg_log_kept_truncate ON T_Log"}
                                   : std::vector<const char*>{"DROP TRIGGER trg_log_kept_update",
                                                              "DROP TRIGGER trg_log_kept_delete"})
        dm.ExecSQLP(drop);
    TDM next(dm.Config());
    ASSERT_TRUE(next.Connect());
    EXPECT_TRUE(next.ConnectNotes().isEmpty()) << next.ConnectNotes().join('\n').toStdString();
    EXPECT_EQ(refusal("DELETE FROM T_Log"), kept);
    EXPECT_EQ(refusal(server ? "TRUNCATE T_Log" : "UPDATE T_Log SET LoginName='x'"), kept);
    EXPECT_EQ(c.rows("SELECT ActType, Detail FROM T_Log"), QStringLiteral("收粮登记/张三"));
}
