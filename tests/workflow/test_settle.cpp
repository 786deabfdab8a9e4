#include "WorkflowCase.h"
#include "workflow/uFee.h"
#include "workflow/uSettleList.h"

#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <tuple>

namespace {
// A 10 t load of 稻谷 at 18 % registered two days ago and dispatched yesterday: 1200 base fee and
// 240 moisture surcharge by the seeded standard.
QString Drying(TTestCentre& c, const QString& farmer = QStringLiteral("张三")) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString no = TBatchLogic(c.dm())
                           .Save({.RegTime = now.addDays(-2), .FarmerID = c.addFarmer(farmer), .GrainID = 1, .WhID = 1,
                                  .InMoisture = "18", .GrossWt = "10000", .WetNetWt = "10000"})
                           .BatchNo;
    EXPECT_TRUE(TDispatchLogic(c.dm()).Save({.BatchNo = no, .EquipID = 1, .WhInID = 1, .StartTime = now.addDays(-1)}).Saved());
    return no;
}

// Dried in one round and put into the first dry-grain position.
QString Dried(TTestCentre& c, const QString& farmer = QStringLiteral("张三")) {
    const QString no = Drying(c, farmer);
    const TRoundEndInput out{.EndTime = QDateTime::currentDateTime().addSecs(-3600), .OutMoisture = "14",
                             .DryNetWt = "8650", .DryWhID = 2};
    EXPECT_TRUE(TDryEndLogic(c.dm()).Pass(OpenRound(c, no), out).Saved());
    return no;
}

TSettleInput Settlement(const QString& batchNo, const QString& paid, const QString& settleNo = {}) {
    return {.BatchNo = batchNo, .SettleNo = settleNo, .Items = {"1200", "240", "0", "0", "0"}, .Paid = paid,
            .SettleTime = QDateTime(QDate(2025, 10, 8), QTime(15, 20)), .Remark = " 现金 "};
}

QString Settled(TTestCentre& c, const QString& batchNo, const QString& paid) {
    const TSettleResult r = TSettleLogic(c.dm()).Save(Settlement(batchNo, paid));
    EXPECT_TRUE(r.Saved()) << qPrintable(r.Refusal);
    return r.SettleNo;
}

QString LastLog(TTestCentre& c) {
    return VarToStr(c.scalar("SELECT ActType||' '||RefNo||' '||Detail FROM T_Log ORDER BY LogID DESC LIMIT 1"));
}

void SelectBatch(TfrmSettleList& list, const QString& batchNo) {
    list.grid->selectRow(int(Column(list.Model(), "批次号").indexOf(batchNo)));
}

// Runs the action while the next modal settlement dialog is handled by the given steps.
void WithDialog(const std::function<void(TfrmSettleEdit&)>& steps) {
    QTimer::singleShot(0, [steps] {
        auto* dlg = qobject_cast<TfrmSettleEdit*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr) << "no settlement dialog open";
        steps(*dlg);
        if (dlg->isVisible()) dlg->reject();
    });
}
}  // namespace

TEST(Settle, DialogKeepsEveryAmountToTheFenAndTakingMoneyBackAsksFirst) {
    TTestCentre c(Roles::Finance);
    TTestPrompter prompter;
    const QString no = Dried(c);

    TfrmSettleEdit dlg(c.dm(), no, {});
    EXPECT_EQ(QStringList({dlg.edItems[0]->text(), dlg.edItems[1]->text(), dlg.edTotal->text(), dlg.edDebt->text()}),
              QStringList({"1200.00", "240.00", "1440.00", "1440.00"}));
    dlg.edItems[4]->setText("20.005");
    dlg.edPaid->setText("1,000");
    EXPECT_EQ(QStringList({dlg.edTotal->text(), dlg.edDebt->text()}), QStringList({"1460.01", "460.01"}));
    dlg.edRemark->setText(" 余款年底结清 ");
    dlg.DoOK();
    ASSERT_EQ(dlg.result(), QDialog::Accepted) << qPrintable(prompter.LastText());
    const QString js = "JS" + Today() + "001";
    const QString columns = "SettleNo,BaseFee,MoistureExtra,StorageFee,ReDryFee,OtherFee,TotalFee,PaidAmt,DebtAmt,"
                            "Status,StoreDays,Remark,FarmerID";
    EXPECT_EQ(c.batchRows("T_Settle", no, columns),
              js + "/1200/240/0/0/20.01/1460.01/1000/460.01/部分欠款/0/余款年底结清/1")
        << "every amount as the boxes showed it";
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "待结算");

    // The cashier types what the farmer hands over today; the settlement keeps the sum received,
    // and a payment typed too high earlier is taken back only once the cashier says so.
    const struct {
        QString typed;
        bool answer;
        QString shown, stored;
    } payments[] = {{"300.005", false, "1300.01/160.00", "1300.01/160/部分欠款"},
                    {"-0.01", false, "1300.00/160.01", "1300.01/160/部分欠款"},
                    {"-1300.01", true, "0.00/1460.01", "0/1460.01/挂账"},
                    {"1460.01", false, "1460.01/0.00", "1460.01/0/已结清"}};
    for (const auto& k : payments) {
        prompter.Clear();
        if (k.answer) prompter.AnswerYes();
        TfrmSettleEdit edit(c.dm(), no, js);
        edit.edPaid->setText(k.typed);
        EXPECT_EQ(edit.edReceived->text() + "/" + edit.edDebt->text(), k.shown) << qPrintable(k.typed);
        edit.DoOK();
        const bool lowers = k.typed.startsWith('-');
        EXPECT_EQ(prompter.Questions.size(), lowers ? 1 : 0) << qPrintable(k.typed);
        if (lowers) {
            EXPECT_TRUE(prompter.Questions.value(0).startsWith("累计收款 ")) << qPrintable(prompter.Questions.value(0));
            EXPECT_EQ(prompter.QuestionDefaults.at(0), TDefaultAnswer::No);
        }
        EXPECT_EQ(edit.result() == QDialog::Accepted, !lowers || k.answer) << qPrintable(k.typed);
        EXPECT_EQ(c.batchRows("T_Settle", no, "PaidAmt,DebtAmt,Status"), k.stored) << qPrintable(k.typed);
    }
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "已完结");
    EXPECT_EQ(LastLog(c), "修改结算 " + js + " 批次" + no + " 合计1460.01 已收1460.01 欠款0.00 已结清");

    // Taking back more than was ever received is refused, whatever the answer.
    prompter.Clear();
    prompter.AnswerYes();
    TfrmSettleEdit edit(c.dm(), no, js);
    edit.edPaid->setText("-1460.02");
    EXPECT_EQ(edit.edReceived->text(), "—");
    edit.DoOK();
    EXPECT_EQ(prompter.LastText(), "收款金额不能为负");
    EXPECT_EQ(c.batchRows("T_Settle", no, "PaidAmt,Remark"), "1460.01/余款年底结清");
    EXPECT_EQ(IntegrityFaults(c.dm()), QStringList{});
}

TEST(Settle, RefusedOrFailedSavesWriteNothing) {
    TTestCentre c(Roles::Finance);
    TSettleLogic logic(c.dm());
    const QString dried = Dried(c);
    TSettleInput in = Settlement(dried, "100");
    in.Items[2] = "-0.01";
    const TSettleResult negative = logic.Save(in);
    EXPECT_EQ(negative.Refusal, "费用金额不能为负：仓储堆放费");
    EXPECT_EQ(negative.Focus, TSettleBox::Storage);
    in.Items[2] = "0";
    in.Paid = "－5";
    EXPECT_EQ(logic.Save(in).Refusal, "收款金额不能为负");

    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(dried, "登记错误"), "");
    const struct {
        QString batchNo, refusal;
    } batches[] = {{Registered(c), "该批次尚未烘干入仓，暂不能结算"},
                   {Drying(c), "该批次尚未烘干入仓，暂不能结算"},
                   {dried, "该批次已作废，不能结算"},
                   {"PC20990101001", "批次 PC20990101001 不存在"}};
    for (const auto& b : batches) EXPECT_EQ(logic.Save(Settlement(b.batchNo, "0")).Refusal, b.refusal);
    EXPECT_EQ(c.count("T_Settle"), 0);
    EXPECT_FALSE(c.logActions().contains("结算"));

    // The settlement row is written, then the batch cannot be moved: the dialog stays a new one.
    TTestPrompter prompter;
    const QString no = Dried(c);
    const int logRows = c.count("T_Log");
    TfrmSettleEdit dlg(c.dm(), no, {});
    dlg.edPaid->setText("1440");
    c.refuseWrites("T_Batch", "UPDATE", "批次被锁定");
    dlg.DoOK();
    EXPECT_EQ(prompter.LastText(), "保存失败：批次被锁定");
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(c.count("T_Settle"), 0);
    EXPECT_EQ(c.count("T_Log"), logRows);
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "在库");

    c.allowWrites("T_Batch");
    dlg.DoOK();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.SettleNo(), "JS" + Today() + "001") << "a clean new save under the same number";
    EXPECT_EQ(c.batchRows("T_Batch", no, "Status"), "已完结");
    EXPECT_EQ(c.logActions().last(), "结算");
}

// Debts within a fen count as settled, a payment of a fen as none: the filters agree with the status.
TEST(SettleLedger, FiltersVoidsAndWhoMayDoWhat) {
    TTestCentre c(Roles::Finance);
    TTestPrompter prompter;
    const QString open = Dried(c, "张三");
    const QString onAccount = Dried(c, "李四");
    const QString part = Dried(c, "王五");
    const QString full = Dried(c, "赵六");
    const QString drying = Drying(c, "孙七");
    const QString voided = Dried(c, "周八");
    Settled(c, onAccount, "0.01");
    const QString partNo = Settled(c, part, "0.02");
    const QString fullNo = Settled(c, full, "1439.99");
    const QString voidedNo = Settled(c, voided, "1440");
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(voided, "登记错误"), "");

    const auto numbers = [&](const QString& filter, const QString& keyword) {
        return Column(c.dm(), SettleListQuery(c.dm().Engine(), filter, keyword), "批次号");
    };
    EXPECT_EQ(numbers("全部", ""), (QStringList{drying, full, part, onAccount, open})) << "newest first, none voided";
    const struct {
        QString filter, keyword, batchNo;
    } filters[] = {{"挂账", "", onAccount}, {"部分欠款", "", part}, {"已结清", "", full},
                   {"全部", " 王 ", part}, {"全部", open.right(3), open}};
    for (const auto& f : filters)
        EXPECT_EQ(numbers(f.filter, f.keyword), QStringList{f.batchNo}) << qPrintable(f.filter + f.keyword);
    EXPECT_EQ(numbers("未结算", ""), (QStringList{drying, open}));

    TfrmSettleList list(c.dm());
    list.Reload();
    SelectBatch(list, drying);
    list.DoPrint();
    EXPECT_EQ(prompter.LastText(), "该批次尚未结算");
    SelectBatch(list, full);
    list.DoVoid();
    EXPECT_EQ(prompter.LastText(), "只有管理员可以作废结算单");
    c.loginAs(Roles::Weigher);
    list.DoSettle();
    EXPECT_EQ(prompter.LastText(), "当前角色无权结算");

    // Voiding restores a finished batch to waiting for settlement and keeps the money in the log.
    c.loginAs(Roles::Admin);
    list.DoVoid();
    EXPECT_EQ(prompter.QuestionDefaults.back(), TDefaultAnswer::No);
    EXPECT_EQ(c.count("T_Settle"), 4) << "answered No";
    prompter.AnswerYes();
    list.DoVoid();
    EXPECT_EQ(c.batchRows("T_Settle", full, "SettleNo"), "");
    EXPECT_EQ(c.batchRows("T_Batch", full, "Status"), "待结算");
    EXPECT_EQ(LastLog(c), "作废结算 " + fullNo + " 批次" + full + " 合计1440.00 已收1439.99 欠款0.01 已结清");
    prompter.Clear();
    list.DoVoid();
    EXPECT_EQ(prompter.LastText(), "该批次没有结算单") << "the ledger was refreshed";
    EXPECT_EQ(TSettleVoidLogic(c.dm()).Void(fullNo), "结算单 " + fullNo + " 已不存在，可能已被作废，请刷新");

    // A partly paid batch waits for settlement anyway; a voided batch stays voided.
    ASSERT_EQ(TSettleVoidLogic(c.dm()).Void(partNo), "");
    EXPECT_EQ(c.batchRows("T_Batch", part, "Status"), "待结算");
    ASSERT_EQ(TSettleVoidLogic(c.dm()).Void(voidedNo), "");
    EXPECT_EQ(c.batchRows("T_Batch", voided, "Status"), "已作废");
    EXPECT_EQ(Settled(c, full, "0"), "JS" + Today() + "005") << "a voided batch's next settlement is a new one";
    EXPECT_EQ(IntegrityFaults(c.dm()), QStringList{});
}

TEST(SettleLedger, SettlingABatchSettledElsewhereOffersTheExistingSettlement) {
    TTestCentre c(Roles::Finance);
    TTestPrompter prompter;
    const QString no = Dried(c);
    TfrmSettleList list(c.dm());
    list.Reload();
    SelectBatch(list, no);

    // Settled at a second station while this ledger still shows it unsettled.
    TDM station(c.paths().Database());
    station.Connect();
    const QString elsewhere = TSettleLogic(station).Save(Settlement(no, "100")).SettleNo;
    prompter.AnswerYes();
    WithDialog([&](TfrmSettleEdit& dlg) {
        dlg.DoOK();
        // The ledger then offers the settlement that exists, in a dialog of its own.
        WithDialog([&](TfrmSettleEdit& existing) {
            EXPECT_EQ(existing.edEarlier->text(), "100.00");
            existing.edPaid->setText("1340");
            existing.DoOK();
        });
    });
    list.DoSettle();
    EXPECT_EQ(prompter.Texts(), QStringList{"该批次已有结算单 " + elsewhere + "，请刷新后修改"});
    EXPECT_EQ(prompter.Questions.size(), 2) << "open the existing one, then print it";
    EXPECT_EQ(c.batchRows("T_Settle", no, "SettleNo,PaidAmt,Status"), elsewhere + "/1440/已结清");
    EXPECT_EQ(VarToStr(list.CurrentValue("结算状态")), "已结清") << "refreshed on the settled batch";

    // A settlement voided at one station while edited at the other is not brought back.
    c.loginAs(Roles::Admin);
    ASSERT_EQ(TSettleVoidLogic(station).Void(elsewhere), "");
    EXPECT_EQ(TSettleLogic(c.dm()).Save(Settlement(no, "1440", elsewhere)).Refusal, MissingSettleText(elsewhere));
    EXPECT_EQ(c.count("T_Settle"), 0);
    EXPECT_EQ(c.count("T_Log", "ActType='修改结算'"), 1);
}

namespace {
const QDateTime kReg(QDate(2025, 9, 20), QTime(7, 0));

// A batch written straight into the tables: its load, the stock-in times of its rows and its rounds.
QString Batch(TTestCentre& c, int grain, double wetKg, double moisture, const QList<QDateTime>& stockIns, int rounds) {
    const QString no = QStringLiteral("PC20250920%1").arg(c.count("T_Batch") + 1, 3, 10, QChar('0'));
    c.dm().ExecSQLP("INSERT INTO T_Batch(BatchNo,RegTime,FarmerID,GrainID,InMoisture,WetNetWt,Status) "
                    "VALUES(:b,:t,1,:g,:m,:w,'在库')",
                    {{"b", no}, {"t", kReg}, {"g", grain}, {"m", moisture}, {"w", wetKg}});
    for (const QDateTime& at : stockIns)
        c.dm().ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,Qty,InTime,Status) VALUES(:b,1,:w,:t,'在库')",
                        {{"b", no}, {"w", wetKg}, {"t", at}});
    for (int r = 1; r <= rounds; ++r)
        c.dm().ExecSQLP("INSERT INTO T_Drying(BatchNo,Round,EquipID) VALUES(:b,:r,1)", {{"b", no}, {"r", r}});
    return no;
}

// The five items and the total as the settlement dialog shows them.
QStringList Shown(const TFeeFigures& f) {
    return {FmtMoney(f.BaseFee), FmtMoney(f.MoistureExtra), FmtMoney(f.StorageAmt), FmtMoney(f.ReDryFee),
            FmtMoney(f.OtherFee), FmtMoney(f.TotalFee)};
}

TSettleTotals Totals(const QString& total, const QString& paid) {
    TSettleInput in;
    in.Items = {total, "0", "0", "0", "0"};
    in.Paid = paid;
    return SettleTotals(ReadSettleAmounts(in));
}
}  // namespace

TEST(Fees, StorageRunsFromTheFirstStockInExtraRoundsAddTheirShareAndDebtsWithinAFenAreSettled) {
    TTestCentre c;
    const int rice = Grain(c, "80,15,4,5,0.8,25"), maize = Grain(c, "60,14,3,7,0.5,30"), bare = Grain(c);
    const QDateTime late(QDate(2025, 10, 1), QTime(18, 0));
    const QStringList base{"800.00", "0.00", "0.00", "0.00", "0.00", "800.00"};
    const struct {
        const char* name;
        int grain;
        double wetKg, moisture;
        QList<QDateTime> stockIns;
        int rounds;
        QDateTime asOf;
        int storeDays, overDays;
        QStringList shown;
    } batches[] = {
        // The wet row of intake is the earliest stock-in, two days before the dry grain was stored.
        {"three rounds", rice, 18000, 19.5, {kReg.addDays(2), kReg}, 3, kReg.addDays(8).addSecs(3 * 3600), 8, 3,
         {"1440.00", "324.00", "43.20", "720.00", "0.00", "2527.20"}},
        {"two rounds", maize, 25000, 22, {kReg}, 2, kReg.addDays(10).addSecs(5 * 3600), 10, 3,
         {"1500.00", "600.00", "37.50", "450.00", "0.00", "2587.50"}},
        {"moisture at the standard, within the free days", rice, 10000, 15, {kReg}, 1, kReg.addDays(3), 3, 0, base},
        {"drier than the standard earns no credit, no round", rice, 10000, 12, {kReg}, 0, kReg.addDays(3), 3, 0, base},
        {"never stored", rice, 10000, 15, {}, 1, kReg.addDays(33), 0, 0, base},
        // Whole 24-hour periods only: 18:00 to 10:00 is no day; a clock set wrong is no day either.
        {"sixteen hours", rice, 10000, 15, {late}, 1, late.addSecs(16 * 3600), 0, 0, base},
        {"one day", rice, 10000, 15, {late}, 1, late.addDays(1), 1, 0, base},
        {"clock set wrong", rice, 10000, 15, {late}, 1, late.addDays(-3), 0, 0, base},
        {"no fee standard", bare, 10000, 25, {kReg}, 3, kReg.addDays(63), 63, 63, {"0.00", "0.00", "0.00", "0.00", "0.00", "0.00"}},
    };
    for (const auto& b : batches) {
        const TFeeFigures f = CalcFees(c.dm(), Batch(c, b.grain, b.wetKg, b.moisture, b.stockIns, b.rounds), b.asOf);
        EXPECT_EQ(Shown(f), b.shown) << b.name;
        EXPECT_EQ(QList<int>({f.StoreDays, f.OverDays, f.Rounds}), QList<int>({b.storeDays, b.overDays, b.rounds})) << b.name;
        EXPECT_EQ(f.HasInStore, !b.stockIns.isEmpty()) << b.name;
        EXPECT_DOUBLE_EQ(f.Tons, b.wetKg / 1000) << b.name;
    }
    EXPECT_EQ(CalcFees(c.dm(), "PC20250920001", kReg).InStoreTime, kReg);

    // Other fees already agreed on the batch's settlement count into the total.
    c.dm().ExecSQLP("INSERT INTO T_Settle(SettleNo,BatchNo,OtherFee) VALUES('JS20250930001','PC20250920002',35.5)");
    EXPECT_EQ(Shown(CalcFees(c.dm(), "PC20250920002", kReg.addDays(10).addSecs(5 * 3600))).mid(4),
              (QStringList{"35.50", "2623.00"}));

    const TFeeFigures unknown = CalcFees(c.dm(), "PC20990101001", kReg);
    EXPECT_EQ(unknown.Tons + unknown.TotalFee + unknown.Rounds + unknown.PricePerTon, 0);
    EXPECT_FALSE(unknown.HasInStore);

    // Paid, then the status and debt owed on a total of 100.
    for (const auto& [paid, status, debt] : std::vector<std::tuple<QString, QString, QString>>{
             {"99.995", "已结清", "0.00"}, {"0.01", "挂账", "99.99"}, {"0", "挂账", "100.00"},
             {"0.02", "部分欠款", "99.98"}, {"99.98", "部分欠款", "0.02"}, {"150", "已结清", "0.00"},
             {"100.01", "已结清", "0.00"}}) {
        const TSettleTotals t = Totals("100", paid);
        EXPECT_EQ(QStringList({t.Status, FmtMoney(t.Debt)}), QStringList({status, debt})) << qPrintable(paid);
    }
    EXPECT_EQ(Totals("0", "0").Status, "已结清") << "nothing to pay";
}
