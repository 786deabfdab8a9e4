#include "app/uLogin.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCrudLogic.h"
#include "forms/uCtl.h"
#include "forms/uDefs.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"

#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {
QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

void AddBatch(TDM& dm, const QString& no, const QString& carNo = {}, const TValue& regTime = {},
              const TValue& wet = {}) {
    dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,CarNo,RegTime,WetNetWt,Status) VALUES(:b,:c,:t,:w,'待烘干')",
                {{"b", no}, {"c", carNo}, {"t", regTime}, {"w", wet}});
}

// The staff's words for what the engine says when the given statement fails.
QString Failure(TDM& dm, const QString& sql) {
    try {
        dm.ExecSQLP(sql);
    } catch (const TDbError& e) {
        return DbErrorText(e);
    }
    return QStringLiteral("(done)");
}

// A server names its failures by SQLSTATE: a row another station holds, and the states no test
// can bring about on demand (a full disk, a deadlock between two stations).
void ExpectServerFailuresInChinese(TTestCentre& c) {
    TDM& dm = c.dm();
    TDM other(dm.Config());
    other.Connect();
    other.BeginTrans();
    other.ExecSQLP("UPDATE T_User SET UserName=UserName");
    dm.ExecSQLP("SET lock_timeout='50ms'");
    EXPECT_EQ(Failure(dm, "UPDATE T_User SET UserName=UserName"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    other.RollbackTrans();

    // The server drops this station while it is idle (restarted, or the network was cut): its
    // next statement, nothing of a save yet, connects again and runs.
    other.ExecSQLP("SELECT pg_terminate_backend(:p)", {{"p", dm.ScalarP("SELECT pg_backend_pid()")}});
    EXPECT_EQ(Failure(dm, "UPDATE T_User SET UserName=UserName"), "(done)");
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT current_schema()")), dm.Config().Schema) << "the session is set up again";

    // A save whose connection drops before its commit, or in which a step failed and was
    // passed over, is never reported as kept.
    {
        TTransaction tx(dm);
        dm.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('断线',0)");
        other.ExecSQLP("SELECT pg_terminate_backend(:p)", {{"p", dm.ScalarP("SELECT pg_backend_pid()")}});
        dm.WriteLog(QStringLiteral("新增"), "T_Farmer", "1", {});
        EXPECT_THROW(tx.Commit(), TDbError);
    }
    {
        TTransaction tx(dm);
        dm.ExecSQLP("INSERT INTO T_Farmer(Name,Blacklist) VALUES('半途',0)");
        EXPECT_THROW(dm.ExecSQLP("SELECT nosuch FROM T_Farmer"), TDbError);
        EXPECT_THROW(tx.Commit(), TDbError);
    }
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Farmer WHERE Name IN ('断线','半途')")), 0);

    for (const auto& [state, text] : std::vector<std::pair<const char*, QString>>{
             {"40P01", "数据库正被其他程序或其他电脑占用，请稍后重试"}, {"40001", "数据库正被其他程序或其他电脑占用，请稍后重试"},
             {"53100", "磁盘空间已满，无法保存"}, {"08006", "与数据库服务器的连接已断开"}}) {
        TDbErrorInfo info;
        info.State = state;
        EXPECT_TRUE(DbErrorText(TDbError("x", info)).startsWith(text)) << state;
    }
}
}  // namespace

TEST(Values, NullDefaultsMoneyRoundingTextsAndAmountsTooLargeRefusedNotWrapped) {
    EXPECT_TRUE(VarToFloat(TValue(), 15.0) == 15.0 && VarToFloat(TValue("abc")) == 0.0);
    EXPECT_EQ(TValue::Money(1.23456).MoneyUnits(), 12346);
    EXPECT_EQ(QStringList({FmtMoney(0.125), FmtMoney(-0.125), FmtMoney(1e9 + 0.5), FmtNum(6.5, 2), FmtNum(8650, 2),
                           FmtFixed(13.5, 2), DbTimeText(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 5, 700)))}),
              QStringList({"0.13", "-0.13", "1000000000.50", "6.5", "8650", "13.50", "2026-12-07 08:00:05"}));

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
    EXPECT_EQ(next("PC") + " " + next("CK"), "PC" + Today() + "008 CK" + Today() + "021");
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
    EXPECT_EQ(c.rows("SELECT Remark FROM T_Farmer"), tricky);
    EXPECT_THROW(dm.ExecSQLP("UPDATE T_Farmer SET Phone=:p", {{"q", "1"}}), TDbError);
    EXPECT_TRUE(dm.ScalarP("SELECT Pwd FROM T_User WHERE UserID=:i", {{"i", 9999}}).IsNull() &&
                dm.ScalarP("SELECT MAX(Qty) FROM T_Stock").IsNull());
    EXPECT_TRUE(dm.OpenSQL("SELECT Blacklist FROM T_Farmer").Field("Blacklist").AsBool() &&
                c.count("T_Farmer", "Blacklist=-1") == 1);

    const QDateTime at(QDate(2026, 3, 9), QTime(7, 5, 30));
    dm.ExecSQLP("INSERT INTO T_Settle(SettleNo, TotalFee, SettleTime, StoreDays) VALUES('JS1', :m, :t, :d)",
                {{"m", TValue::Money(1234.56789)}, {"t", at}, {"d", 12}});
    const TQuery s = dm.OpenSQL("SELECT TotalFee, SettleTime, StoreDays, PaidAmt FROM T_Settle");
    EXPECT_TRUE(s.Field("TotalFee").Kind() == TValueKind::Currency && s.Field("StoreDays").Kind() == TValueKind::Integer);
    EXPECT_EQ(s.Field("TotalFee").MoneyUnits(), 12345679);
    EXPECT_EQ(s.Field("SettleTime").AsDateTime(), at);
    EXPECT_EQ(c.rows("SELECT SettleTime, PaidAmt FROM T_Settle"), "2026-03-09 07:05:30/");

    dm.SetCommandTimeout(std::chrono::milliseconds(200));
    const QString runaway = Failure(dm, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n) SELECT COUNT(*) FROM n");
    EXPECT_TRUE(runaway.contains(QStringLiteral("超时"))) << runaway.toStdString();
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
    EXPECT_THROW(
        {
            TTransaction tx(dm);
            AddBatch(dm, no(1));
            dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(1), "");
            dm.ExecSQLP("INSERT INTO T_Stock(BatchNo, Status) VALUES(:b, :s)",
                        {{"b", no(1)}, {"s", QStringLiteral("一个远远超过十个字的库存状态文字")}});
            tx.Commit();
        },
        TDbError);
    EXPECT_FALSE(dm.InTransaction());
    dm.RollbackTrans();
    dm.CommitTrans();
    {
        TTransaction tx(dm);  // left without its commit
        AddBatch(dm, no(2));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(2), "");
    }
    EXPECT_EQ(c.count("T_Batch") + c.count("T_Log") + c.count("T_Stock"), 0);

    c.refuseWrites("T_Log", "INSERT", "log refused");
    {
        TTransaction tx(dm);
        AddBatch(dm, no(3));
        dm.WriteLog(QStringLiteral("收粮登记"), "T_Batch", no(3), "");
        AddBatch(dm, no(4));
        tx.Commit();
    }
    EXPECT_EQ(c.count("T_Batch") * 10 + c.count("T_Log"), 20) << "two batches kept, no log row";
    c.allowWrites("T_Log");
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
    ASSERT_TRUE(next.Connect() && next.ConnectNotes().isEmpty()) << next.ConnectNotes().join('\n').toStdString();
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

    EXPECT_EQ(c.rows("SELECT " + SqlDayText(e, "RegTime") + ", " + SqlMonthText(e, "RegTime") + ", COALESCE(" +
                     SqlDayText(e, "RegTime") + ",'null') FROM T_Batch ORDER BY BatchNo"),
              "2024-01-31/2024-01/2024-01-31; 2024-02-01/2024-02/2024-02-01; //null");
    EXPECT_EQ(c.count("T_Batch", SqlSkipIndex(e, "RegTime") + " BETWEEN :a AND :b",
                      {{"a", QDateTime(QDate(2024, 1, 31), QTime(0, 0))}, {"b", EndOfDay(QDate(2024, 1, 31))}}),
              1);

    const auto matches = [&](const QString& column, const QString& typed) {
        return c.rows("SELECT BatchNo FROM T_Batch WHERE " + SqlLikeNoCase(e, column, ":k") + " ORDER BY BatchNo",
                      {{"k", "%" + typed + "%"}});
    };
    EXPECT_EQ(matches("CarNo", "a123") + "|" + matches("BatchNo", "pc202402") + "|" + matches("CarNo", "d"),
              "PC20240131001|PC20240201001; PC20240201002|");

    const TValue none = dm.ScalarP("SELECT " + SqlTotal(e, "WetNetWt") + " FROM T_Batch WHERE BatchNo='none'");
    EXPECT_TRUE(!none.IsNull() && VarToFloat(none, -1) == 0.0);
    EXPECT_DOUBLE_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlTotal(e, "WetNetWt") + " FROM T_Batch")), 500.25);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(e, "SUM(x)", 4) + " FROM (SELECT 0.1 AS x UNION ALL SELECT 0.2) AS t")),
              0.3);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(e, ":w*100/3.0", 1), {{"w", 2}})), 66.7);

    // The grid pages after the last row held on the side where the engine sorts a null.
    const QString listing = "SELECT * FROM (SELECT b.BatchNo, b.RegTime FROM T_Batch b) AS listing ORDER BY " +
                            SqlResultName(e, "RegTime");
    const QString byNumber = "," + SqlResultName(e, "BatchNo");
    QStringList ascending{"PC20240131001/2024-01-31 23:59:59", "PC20240201001/2024-02-01 00:00:00", "PC20240201002/"};
    if (!SqlNullsSortHigh(e)) ascending.move(2, 0);
    EXPECT_EQ(c.rows(listing + byNumber), ascending.join("; "));
    std::reverse(ascending.begin(), ascending.end());
    EXPECT_EQ(c.rows(listing + " DESC" + byNumber), ascending.join("; "));
}

// A plate typed as "N1", NUL, "N2" would be kept whole in the file and cut to "N1" on the server:
// no text box lets such a character through, and each refusal names its box. Memo boxes keep
// their line breaks and tabs. Lengths are counted in characters, as the columns count them.
TEST(DbText, EveryTextBoxRefusesControlCharactersAndOverlongTextNamingTheBoxAndEngineFailuresReachTheStaffInChinese) {
    TTestCentre c;
    TDM& dm = c.dm();
    const QString nul = QStringLiteral("N1") + QChar(0) + QStringLiteral("N2");
    const auto refusal = [](const QString& box) {
        return box + QStringLiteral("中不能有控制字符（如制表符、换行或不可见字符），请删除后再保存");
    };
    const TDriedBatch dried = c.driedBatch(1000, 900);
    const QString waiting = c.registeredBatch(500);
    TBatchInput reg = TBatchLogic(dm).Load(waiting)->Input;
    reg.BatchNo.clear();
    ASSERT_TRUE(TDispatchLogic(dm).Save({.BatchNo = waiting, .EquipID = 1, .WhInID = 1,
                                         .StartTime = QDateTime::currentDateTime().addSecs(-3600)}).Saved());
    const TOpenRound round = *TDryEndLogic(dm).LoadOpenRound(waiting);
    const TRoundEndInput end{.EndTime = QDateTime::currentDateTime(), .OutMoisture = "14", .DryNetWt = "450",
                             .DryHours = "1", .LossWt = "50", .LossRate = "10", .DryWhID = 2};
    const TOutboundInput out{.StockID = dried.DryRow, .OutType = QStringLiteral("农户自提"),
                             .OutTime = QDateTime::currentDateTime(), .Weight = "10"};
    const TSettleInput settle{.BatchNo = dried.BatchNo, .Items = {"100", "0", "0", "0", "0"}, .Paid = "100",
                              .SettleTime = QDateTime::currentDateTime()};
    const int before = c.count("T_Log");

    const struct {
        const char* box;
        std::function<QString()> save;
    } cases[] = {
        {"车牌号", [&] { TBatchInput in = reg; in.CarNo = nul; return TBatchLogic(dm).Save(in).Refusal; }},
        {"粮质备注", [&] { TBatchInput in = reg; in.QualityMemo = "a" + QString(QChar(7)); return TBatchLogic(dm).Save(in).Refusal; }},
        {"司机", [&] { TOutboundInput in = out; in.Driver = QStringLiteral("张\t三"); return TOutboundLogic(dm).Save(in).Refusal; }},
        {"去向", [&] { TOutboundInput in = out; in.Destination = QStringLiteral("县城\n粮库"); return TOutboundLogic(dm).Save(in).Refusal; }},
        {"备注", [&] { TSettleInput in = settle; in.Remark = "x" + QString(QChar(1)); return TSettleLogic(dm).Save(in).Refusal; }},
        {"异常记录", [&] { TRoundEndInput in = end; in.AbnormalMemo = "x" + QString(QChar(0x1f)); return TDryEndLogic(dm).Pass(round, in).Refusal; }},
        {"作废原因", [&] { return TBatchVoidLogic::ReasonRefusal(nul); }},
        {"姓名/客户", [&] { return SaveCrudRow(dm, DefFarmer(), {}, {{"Name", nul}, {"CustType", QStringLiteral("农户代烘")}}).Message; }},
        {"粮种名称", [&] { return SaveCrudRow(dm, DefGrain(), 1, {{"GrainName", QStringLiteral("稻\t谷")}}).Message; }},
    };
    for (const auto& k : cases) EXPECT_EQ(k.save(), refusal(QString::fromUtf8(k.box))) << k.box;

    EXPECT_EQ(TLoginLogic(dm).Check("admin" + QString(QChar(0)) + "x", "846").outcome, TLoginCheck::TOutcome::Refused);
    EXPECT_EQ(TLoginLogic(dm).Check("admin", "846" + QString(QChar(0)) + "x").outcome, TLoginCheck::TOutcome::Refused);
    EXPECT_EQ(c.count("T_Log") + c.count("T_Batch"), before + 2) << "nothing refused was saved";

    TBatchInput memo = reg;
    memo.QualityMemo = QStringLiteral("潮\t湿\r\n有杂质");
    const TBatchSaveResult kept = TBatchLogic(dm).Save(memo);
    ASSERT_TRUE(kept.Saved()) << kept.Refusal.toStdString();
    EXPECT_EQ(c.batchRows("T_Batch", kept.BatchNo, "QualityMemo"), memo.QualityMemo);
    const TSaveOutcome farmer = SaveCrudRow(dm, DefFarmer(), {}, {{"Name", QStringLiteral("李四")}, {"CustType", QStringLiteral("农户代烘")},
                                                                  {"Remark", QStringLiteral("第一行\n第二行")}});
    EXPECT_TRUE(farmer.Saved) << farmer.Message.toStdString();

    // A keyword pasted a hundred thousand characters long: the box holds what a one-line box
    // holds, and the ledger answers it alike on both engines (no row, no error box).
    TTestPrompter prompter;
    TfrmBatchList list(dm);
    list.edKeyword->setText(QString(100000, QChar(u'稻')));
    EXPECT_EQ(list.edKeyword->text().size(), kLineEditMaxChars);
    list.Reload();
    EXPECT_TRUE(prompter.Shown.empty()) << prompter.LastText().toStdString();

    // Fifteen characters outside the basic plane are thirty UTF-16 units, yet the column holds them.
    QString astral;
    for (int i = 0; i < 15; ++i) astral += QString::fromUcs4(U"\U00020000", 1);
    EXPECT_EQ(TextLengthRefusal("T_Batch", "CarNo", "车牌号", astral), "");
    EXPECT_NO_THROW(dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,CarNo) VALUES('PC9',:c)", {{"c", astral}}));
    EXPECT_EQ(TextLengthRefusal("T_Batch", "CarNo", "车牌号", astral + "A"), "车牌号最多 15 个字");

    // What the engine says when a statement fails reaches the staff in their words.
    EXPECT_EQ(Failure(dm, "INSERT INTO T_Batch(BatchNo,CarNo) VALUES('PC1','苏A1234567890ABCD')"),
              "车牌号最多 15 个字");
    EXPECT_EQ(Failure(dm, "INSERT INTO T_Grain(GrainName) VALUES(NULL)"), "请填写：粮种名称");
    EXPECT_EQ(Failure(dm, "INSERT INTO T_Batch(BatchNo) VALUES('PC1'),('PC1')"), "批次号已存在，不能重复");
    const QString unknown = Failure(dm, "SELECT nosuch FROM T_Batch");
    EXPECT_TRUE(unknown.startsWith("数据库错误：") && unknown.contains("nosuch")) << unknown.toStdString();
    if (TestOnServer()) {
        ExpectServerFailuresInChinese(c);
        return;
    }

    dm.ExecSQLP("PRAGMA query_only=1");
    EXPECT_EQ(Failure(dm, "DELETE FROM T_Farmer"), "数据库文件为只读，无法保存（请检查文件或文件夹的权限）");
    dm.ExecSQLP("PRAGMA query_only=0");

    // A file that cannot grow any further fails its writes as a full disk does.
    const int pages = VarToInt(dm.ScalarP("PRAGMA page_count"));
    dm.ExecSQLP(QStringLiteral("PRAGMA max_page_count=%1").arg(pages));
    EXPECT_EQ(Failure(dm, "INSERT INTO T_Log(Detail) SELECT hex(randomblob(100000))"), "磁盘空间已满，无法保存");

    TDM other(dm.DbPath());
    other.Connect();
    other.BeginTrans();
    dm.ExecSQLP("PRAGMA busy_timeout=50");
    EXPECT_EQ(Failure(dm, "DELETE FROM T_Farmer"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    other.RollbackTrans();

    QFile damaged(c.paths().AppDir + "damaged.mdb");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(8192, '\x5a')) == 8192);
    damaged.close();
    try {
        TDM(damaged.fileName()).Connect();
        ADD_FAILURE() << "random bytes opened as a database";
    } catch (const TDbError& e) {
        EXPECT_EQ(DbErrorText(e), "数据库文件已损坏");
    }
}
