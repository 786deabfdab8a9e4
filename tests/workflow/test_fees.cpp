#include "data/uValue.h"
#include "support/TestCentre.h"
#include "workflow/uFee.h"
#include "workflow/uSettle.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {
const QDateTime kReg(QDate(2025, 9, 20), QTime(7, 0));

// A new grain type; with a fee standard when its figures are given
// ("price,std moisture,per point,free days,storage rate,re-dry rate").
int Grain(TTestCentre& c, const QString& standard = {}) {
    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName) VALUES('试验粮')");
    const int id = int(c.dm().LastInsertId());
    if (!standard.isEmpty())
        c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,"
                        "RushFee,ReDryRate) VALUES(:g," + standard.section(',', 0, 4) + ",50," +
                            standard.section(',', 5) + ")",
                        {{"g", id}});
    return id;
}

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

TEST(Fees, StorageRunsFromRegistrationAndEveryExtraRoundAddsItsShare) {
    TTestCentre c;
    const int grain = Grain(c, "80,15,4,5,0.8,25");
    // The wet row of intake is the earliest stock-in, two days before the dry grain was stored.
    const QString no = Batch(c, grain, 18000, 19.5, {kReg.addDays(2), kReg}, 3);
    const TFeeFigures f = CalcFees(c.dm(), no, kReg.addDays(8).addSecs(3 * 3600));
    EXPECT_DOUBLE_EQ(f.Tons, 18);
    EXPECT_EQ(f.InStoreTime, kReg);
    EXPECT_TRUE(f.HasInStore);
    EXPECT_EQ(QList<int>({f.StoreDays, f.FreeDays, f.OverDays, f.Rounds}), QList<int>({8, 5, 3, 3}));
    EXPECT_EQ(Shown(f), (QStringList{"1440.00", "324.00", "43.20", "720.00", "0.00", "2527.20"}));

    const int other = Grain(c, "60,14,3,7,0.5,30");
    const QString second = Batch(c, other, 25000, 22, {kReg}, 2);
    const TFeeFigures g = CalcFees(c.dm(), second, kReg.addDays(10).addSecs(5 * 3600));
    EXPECT_EQ(QList<int>({g.StoreDays, g.OverDays}), QList<int>({10, 3}));
    EXPECT_EQ(Shown(g), (QStringList{"1500.00", "600.00", "37.50", "450.00", "0.00", "2587.50"}));

    // Other fees already agreed on the batch's settlement count into the total.
    c.dm().ExecSQLP("INSERT INTO T_Settle(SettleNo,BatchNo,OtherFee) VALUES('JS20250930001',:b,35.5)", {{"b", second}});
    EXPECT_EQ(Shown(CalcFees(c.dm(), second, kReg.addDays(10).addSecs(5 * 3600))).mid(4),
              (QStringList{"35.50", "2623.00"}));
}

TEST(Fees, NothingChargedWithoutTheFiguresThatCallForIt) {
    TTestCentre c;
    const int grain = Grain(c, "80,15,4,5,0.8,25");
    const QDateTime asOf = kReg.addDays(3);
    EXPECT_EQ(Shown(CalcFees(c.dm(), Batch(c, grain, 10000, 15, {kReg}, 1), asOf)),
              (QStringList{"800.00", "0.00", "0.00", "0.00", "0.00", "800.00"}))
        << "moisture at the standard, within the free days, one round";
    EXPECT_EQ(CalcFees(c.dm(), Batch(c, grain, 10000, 12, {kReg}, 0), asOf).MoistureExtra, 0)
        << "drier than the standard earns no credit";
    EXPECT_EQ(CalcFees(c.dm(), Batch(c, grain, 10000, 15, {kReg}, 0), asOf).ReDryFee, 0) << "no round at all";

    const TFeeFigures noStock = CalcFees(c.dm(), Batch(c, grain, 10000, 15, {}, 1), asOf.addDays(30));
    EXPECT_FALSE(noStock.HasInStore);
    EXPECT_EQ(noStock.StoreDays + noStock.OverDays, 0);
    EXPECT_EQ(noStock.StorageAmt, 0);

    // Whole 24-hour periods only: yesterday 18:00 to today 10:00 is no day; a clock set wrong is no day either.
    const QString late = Batch(c, grain, 10000, 15, {QDateTime(QDate(2025, 10, 1), QTime(18, 0))}, 1);
    EXPECT_EQ(CalcFees(c.dm(), late, QDateTime(QDate(2025, 10, 2), QTime(10, 0))).StoreDays, 0);
    EXPECT_EQ(CalcFees(c.dm(), late, QDateTime(QDate(2025, 10, 2), QTime(18, 0))).StoreDays, 1);
    EXPECT_EQ(CalcFees(c.dm(), late, QDateTime(QDate(2025, 9, 28), QTime(18, 0))).StoreDays, 0);

    const QString noStandard = Batch(c, Grain(c), 10000, 25, {kReg}, 3);
    c.dm().ExecSQLP("INSERT INTO T_Settle(SettleNo,BatchNo,OtherFee) VALUES('JS20251001001',:b,20)", {{"b", noStandard}});
    EXPECT_EQ(Shown(CalcFees(c.dm(), noStandard, asOf.addDays(60))),
              (QStringList{"0.00", "0.00", "0.00", "0.00", "20.00", "20.00"}));

    const TFeeFigures unknown = CalcFees(c.dm(), "PC20990101001", asOf);
    EXPECT_EQ(unknown.Tons + unknown.TotalFee + unknown.Rounds + unknown.PricePerTon, 0);
    EXPECT_FALSE(unknown.HasInStore);
}

TEST(Fees, TotalDebtAndStatusWithinOneFen) {
    // Paid, then the status and debt owed on a total of 100.
    for (const auto& [paid, status, debt] : std::vector<std::tuple<QString, QString, QString>>{
             {"99.995", "已结清", "0.00"}, {"0.01", "挂账", "99.99"}, {"0", "挂账", "100.00"},
             {"0.02", "部分欠款", "99.98"}, {"99.98", "部分欠款", "0.02"}, {"150", "已结清", "0.00"},
             {"100.01", "已结清", "0.00"}}) {
        const TSettleTotals t = Totals("100", paid);
        EXPECT_EQ(QStringList({t.Status, FmtMoney(t.Debt)}), QStringList({status, debt})) << qPrintable(paid);
    }
    EXPECT_EQ(Totals("0", "0").Status, "已结清") << "nothing to pay";

    // The boxes are read as they show: thousands commas, blanks and anything past the fen.
    TSettleInput in;
    in.Items = {" 1,500 ", "0.1", "0.2", "abc", "12.345"};
    in.Paid = "1,000.004";
    const TSettleAmounts a = ReadSettleAmounts(in);
    EXPECT_EQ(a.Items[0], 1500);
    EXPECT_EQ(a.Items[3], 0) << "text that is no number counts as 0";
    EXPECT_EQ(FmtMoney(a.Items[4]), "12.35");
    const TSettleTotals t = SettleTotals(a);
    EXPECT_EQ(FmtMoney(t.Total), "1512.65");
    EXPECT_EQ(t.Total, 1512.65) << "the total is the sum of the items as shown, to the fen";
    EXPECT_EQ(FmtMoney(t.Debt), "512.65");
    EXPECT_EQ(t.Status, "部分欠款");
}
