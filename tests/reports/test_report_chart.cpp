#include "reports/ReportWorld.h"
#include "reports/uChartData.h"
#include "reports/uReportQuery.h"
#include "support/TestCentre.h"

#include <gtest/gtest.h>

namespace {
// Two loads of March, one voided, and two settlements a month apart.
void March(TTestCentre& c) {
    TReportWorld w(c.dm());
    w.Batch("PC1", At(2025, 3, 1), 10000, "已完结", 0, 1);
    w.Round("PC1", 1, 1, At(2025, 3, 2, 8), At(2025, 3, 2, 14), 8600, 1400, 14);
    w.Batch("PC2", At(2025, 3, 1, 9), 6000, "在库", 0, 2);
    w.Round("PC2", 1, 1, At(2025, 3, 3, 8), At(2025, 3, 3, 14), 5400, 600, 10);
    w.Batch("PC3", At(2025, 3, 3), 5000, "已作废");
    w.Settle("JS1", "PC1", 0, At(2025, 3, 5), 1200, 1000);
    w.Settle("JS2", "PC2", 0, At(2025, 4, 2), 500, 500);
}

TChartData ChartOf(TTestCentre& c, TReportKind kind, const QDate& from, const QDate& to) {
    TQueryModel rows(c.dm());
    rows.Open(ReportQuery(c.dm().Engine(), kind, {from, to, 0, {}}).Query);
    return ReportChart(kind, rows);
}

// Each series' heights, to a tenth.
QList<QList<double>> Ys(const TChartData& chart) {
    QList<QList<double>> all;
    for (const TChartSeries& s : chart.Series) {
        all << QList<double>{};
        for (const QPointF& p : s.Points) all.last() << std::round(p.y() * 10) / 10;
    }
    return all;
}

double Day(int d) { return double(QDateTime(QDate(2025, 3, d), QTime(0, 0)).toMSecsSinceEpoch()); }
}  // namespace

TEST(ReportChart, DrawsTheRowsOfEachReportWithFiguresAndNothingForTheOthers) {
    TTestCentre c;
    March(c);

    const TChartData daily = ChartOf(c, TReportKind::Daily, QDate(2025, 3, 1), QDate(2025, 3, 3));
    ASSERT_EQ(daily.Shape, TChartShape::Days);
    ASSERT_EQ(Ys(daily), (QList<QList<double>>{{16000, 0, 0}, {2, 0, 0}})) << "the voided load is not intake";
    EXPECT_EQ(daily.Series[0].Points[2], QPointF(Day(3), 0));
    EXPECT_TRUE(daily.Series[1].RightAxis) << "loads are read on their own scale";

    const TChartData monthly = ChartOf(c, TReportKind::Monthly, QDate(2025, 3, 1), QDate(2025, 4, 30));
    ASSERT_EQ(monthly.Shape, TChartShape::Bars);
    EXPECT_EQ(monthly.Categories, QStringList({"2025-03", "2025-04"}));
    EXPECT_EQ(Ys(monthly), (QList<QList<double>>{{1200, 500}, {1000, 500}, {200, 0}}));

    const TChartData loss = ChartOf(c, TReportKind::Loss, QDate(2025, 3, 1), QDate(2025, 3, 31));
    EXPECT_EQ(loss.Categories, QStringList({"稻谷", "小麦"}));
    EXPECT_EQ(Ys(loss), (QList<QList<double>>{{14, 10}}));

    // 10 000 kg at 22.5 % dried to 14 % explains 9 011.6 kg; 8 600 kg is beyond the allowance.
    const TChartData check = ChartOf(c, TReportKind::LossCheck, QDate(2025, 3, 1), QDate(2025, 3, 31));
    ASSERT_EQ(check.Shape, TChartShape::Scatter);
    ASSERT_EQ(check.Series.size(), 2);
    EXPECT_EQ(check.Series[0].Points + check.Series[1].Points, (QList<QPointF>{{5407.0, 5400}, {9011.6, 8600}}));
    TReportWorld w(c.dm());
    for (int i = 0; i < 3; ++i) {
        w.Batch(QString("PCX%1").arg(i), At(2025, 3, 1), 6000, "在库", 0, 2);
        w.Round(QString("PCX%1").arg(i), 1, 1, At(2025, 3, 4, 8), At(2025, 3, 4, 14), 5400, 600, 10);
    }
    EXPECT_EQ(ChartOf(c, TReportKind::LossCheck, QDate(2025, 3, 1), QDate(2025, 3, 31)).Series[0].Points.size(), 1)
        << "batches that would be drawn on the same spot get one marker";

    const TChartData energy = ChartOf(c, TReportKind::Energy, QDate(2025, 3, 1), QDate(2025, 3, 31));
    EXPECT_TRUE(energy.Shape == TChartShape::None && energy.Series.isEmpty());
}
