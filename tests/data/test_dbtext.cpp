#include "data/uDbText.h"

#include "app/uLogin.h"
#include "data/uDM.h"
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

#include <QFile>
#include <QLineEdit>
#include <functional>
#include <gtest/gtest.h>

namespace {
// The staff's words for what the engine says when the given statement fails.
QString TextOfFailure(TDM& dm, const QString& sql) {
    try {
        dm.ExecSQLP(sql);
    } catch (const TDbError& e) {
        return DbErrorText(e);
    }
    return QStringLiteral("(no failure)");
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
    EXPECT_EQ(TextOfFailure(dm, "UPDATE T_User SET UserName=UserName"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    other.RollbackTrans();

    // The server drops this station while it is idle (restarted, or the network was cut): its
    // next statement, nothing of a save yet, connects again and runs.
    other.ExecSQLP("SELECT pg_terminate_backend(:p)", {{"p", dm.ScalarP("SELECT pg_backend_pid()")}});
    EXPECT_EQ(TextOfFailure(dm, "UPDATE T_User SET UserName=UserName"), "(no failure)");
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

    const auto textOf = [](const char* state) {
        TDbErrorInfo info;
        info.State = state;
        return DbErrorText(TDbError("x", info));
    };
    EXPECT_EQ(textOf("40P01"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    EXPECT_EQ(textOf("40001"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    EXPECT_EQ(textOf("53100"), "磁盘空间已满，无法保存");
    EXPECT_TRUE(textOf("08006").startsWith("与数据库服务器的连接已断开"));
}
}  // namespace

TEST(DbText, EngineFailuresReachTheStaffInChinese) {
    TTestCentre c;
    TDM& dm = c.dm();
    EXPECT_EQ(TextOfFailure(dm, "INSERT INTO T_Batch(BatchNo,CarNo) VALUES('PC1','苏A1234567890ABCD')"),
              "车牌号最多 15 个字");
    EXPECT_EQ(TextOfFailure(dm, "INSERT INTO T_Grain(GrainName) VALUES(NULL)"), "请填写：粮种名称");
    EXPECT_EQ(TextOfFailure(dm, "INSERT INTO T_Batch(BatchNo) VALUES('PC1'),('PC1')"), "批次号已存在，不能重复");
    const QString unknown = TextOfFailure(dm, "SELECT nosuch FROM T_Batch");
    EXPECT_TRUE(unknown.startsWith("数据库错误：") && unknown.contains("nosuch")) << unknown.toStdString();
    if (TestOnServer()) {
        ExpectServerFailuresInChinese(c);
        return;
    }

    dm.ExecSQLP("PRAGMA query_only=1");
    EXPECT_EQ(TextOfFailure(dm, "DELETE FROM T_Farmer"), "数据库文件为只读，无法保存（请检查文件或文件夹的权限）");
    dm.ExecSQLP("PRAGMA query_only=0");

    // A file that cannot grow any further fails its writes as a full disk does.
    const int pages = VarToInt(dm.ScalarP("PRAGMA page_count"));
    dm.ExecSQLP(QStringLiteral("PRAGMA max_page_count=%1").arg(pages));
    EXPECT_EQ(TextOfFailure(dm, "INSERT INTO T_Log(Detail) SELECT hex(randomblob(100000))"), "磁盘空间已满，无法保存");

    TDM other(dm.DbPath());
    other.Connect();
    other.BeginTrans();
    dm.ExecSQLP("PRAGMA busy_timeout=50");
    EXPECT_EQ(TextOfFailure(dm, "DELETE FROM T_Farmer"), "数据库正被其他程序或其他电脑占用，请稍后重试");
    other.RollbackTrans();

    const QString damaged = c.paths().AppDir + "damaged.mdb";
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, '\x5a'));
    file.close();
    TDM broken(damaged);
    try {
        broken.Connect();
        ADD_FAILURE() << "random bytes opened as a database";
    } catch (const TDbError& e) {
        EXPECT_EQ(DbErrorText(e), "数据库文件已损坏");
    }

    // Our own failures are already written for the staff and pass unchanged.
    EXPECT_EQ(DbErrorText(QStringLiteral("数据库未连接")), "数据库未连接");
}

// A plate typed as "N1", NUL, "N2" would be kept whole in the file and cut to "N1" on the server:
// no text box lets such a character through, and each refusal names its box. Memo boxes keep
// their line breaks and tabs. Lengths are counted in characters, as the columns count them.
TEST(DbText, EveryTextBoxRefusesControlCharactersAndOverlongTextNamingTheBox) {
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
    EXPECT_EQ(c.count("T_Log"), before) << "nothing refused was saved";
    EXPECT_EQ(c.count("T_Batch"), 2);

    // Line breaks and tabs stay in a memo box, as typed, on both engines.
    TBatchInput memo = reg;
    memo.QualityMemo = QStringLiteral("潮\t湿\r\n有杂质");
    const TBatchSaveResult kept = TBatchLogic(dm).Save(memo);
    ASSERT_TRUE(kept.Saved()) << kept.Refusal.toStdString();
    EXPECT_EQ(VarToStr(dm.ScalarP("SELECT QualityMemo FROM T_Batch WHERE BatchNo=:b", {{"b", kept.BatchNo}})),
              memo.QualityMemo);
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

    EXPECT_EQ(TextLimit("t_user", "LOGINNAME"), 20);
    EXPECT_EQ(TextLimit("T_Farmer", "Remark"), 0) << "a memo has no limit";
    EXPECT_EQ(TextLengthRefusal("T_Batch", "CarNo", "车牌号", QString(15, QChar(0x82cf))), "");
    // Fifteen characters outside the basic plane are thirty UTF-16 units, yet the column holds them.
    QString astral;
    for (int i = 0; i < 15; ++i) astral += QString::fromUcs4(U"\U00020000", 1);
    EXPECT_EQ(TextLengthRefusal("T_Batch", "CarNo", "车牌号", astral), "");
    EXPECT_NO_THROW(dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,CarNo) VALUES('PC1',:c)", {{"c", astral}}));
    EXPECT_EQ(TextLengthRefusal("T_Batch", "CarNo", "车牌号", astral + "A"), "车牌号最多 15 个字");
}
