#include "reports/ReportWorld.h"
#include "reports/uReportQuery.h"
#include "support/TestCentre.h"

#include <gtest/gtest.h>

namespace {
// A batch with its intake moisture and its rounds, each round's moisture after drying and dry weight.
struct TLoad {
    QString No;
    double Wet;
    TValue InMoisture;
    std::vector<std::tuple<QDateTime, double, double>> Rounds;  // end, moisture after, dry weight
    int Farmer = 0;
};

void Write(TTestCentre& c, const TLoad& load) {
    TReportWorld w(c.dm());
    w.Batch(load.No, At(2025, 3, 1), load.Wet, "在库", load.Farmer, 3);
    c.dm().ExecSQLP("UPDATE T_Batch SET InMoisture=:m WHERE BatchNo=:b", {{"m", load.InMoisture}, {"b", load.No}});
    int round = 0;
    for (const auto& [end, moisture, dry] : load.Rounds) {
        w.Round(load.No, ++round, 1, end.addSecs(-6 * 3600), end, dry, load.Wet - dry, 0);
        c.dm().ExecSQLP("UPDATE T_Drying SET OutMoisture=:m WHERE BatchNo=:b AND Round=:r",
                        {{"m", moisture}, {"b", load.No}, {"r", round}});
    }
}

QStringList LossCheck(TTestCentre& c, int farmer = 0, double allowance = kDefaultLossAllowance) {
    TReportInput in{QDate(2025, 3, 1), QDate(2025, 3, 31), farmer, {}, allowance};
    return ReportRows(c.dm(), ReportQuery(c.dm().Engine(), TReportKind::LossCheck, in).Query);
}
}  // namespace

TEST(LossCheckReport, SetsTheWeighedDryGrainAgainstWhatTheWaterExplainsLargestShortfallFirst) {
    TTestCentre c;
    const int zhang = c.addFarmer("张三");
    const int li = c.addFarmer("李四");
    // 30 000 kg at 28 % dried to 14 % explains 25 116.3 kg; the scale finds 316.3 kg less.
    Write(c, {"PC1", 30000, 28, {{At(2025, 3, 5, 14), 14, 24800}}, zhang});
    // Re-dried: only the last round counts, and only once.
    Write(c, {"PC2", 10000, 20, {{At(2025, 3, 6, 14), 16, 9500}, {At(2025, 3, 7, 14), 14, 9280}}, li});
    // The reading after drying is above the intake reading: the figures stand as read.
    Write(c, {"PC3", 10000, 14, {{At(2025, 3, 8, 14), 16, 10100}}, li});
    // No intake moisture: weights, but no figure rather than a wrong one, after the others.
    Write(c, {"PC4", 8000, TValue(), {{At(2025, 3, 9, 14), 14, 7000}}, zhang});
    // More grain than the water explains: a negative loss, never beyond the allowance.
    Write(c, {"PC6", 5000, 20, {{At(2025, 3, 10, 14), 14, 4700}}, zhang});
    // Last round ended after the range, and a batch still on the dryer.
    Write(c, {"PC5", 9000, 20, {{At(2025, 3, 20, 14), 16, 8000}, {At(2025, 4, 1, 0), 14, 7900}}, zhang});
    TReportWorld(c.dm()).Batch("PC7", At(2025, 3, 1), 6000, "烘干中", zhang, 3);
    TReportWorld(c.dm()).Round("PC7", 1, 1, At(2025, 3, 30, 8));

    const QString pc1 = "PC1|张三|玉米|30000|28|14|25116.3|24800|316.3|1.05|";
    const QString pc3 = "PC3|李四|玉米|10000|14|16|10238.1|10100|138.1|1.38|超出";
    const QString pc2 = "PC2|李四|玉米|10000|20|14|9302.3|9280|22.3|0.22|";
    const QStringList rest{"PC6|张三|玉米|5000|20|14|4651.2|4700|-48.8|-0.98|", "PC4|张三|玉米|8000||14||7000|||"};
    EXPECT_EQ(LossCheck(c), (QStringList{pc1 + "超出", pc3, pc2} + rest));
    EXPECT_EQ(LossCheck(c, 0, 1.2), (QStringList{pc1, pc3, pc2} + rest))
        << "the allowance set for the centre decides the mark";
    EXPECT_EQ(LossCheck(c, li), (QStringList{pc3, pc2})) << "a farmer chosen narrows it to his batches";
}
