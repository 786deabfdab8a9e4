#include "reports/ReportWorld.h"
#include "reports/uReportQuery.h"
#include "support/TestCentre.h"

#include <gtest/gtest.h>

class Reports : public ::testing::Test {
protected:
    QStringList Report(TReportKind kind, const TReportInput& in) {
        const TReportQuery q = ReportQuery(c.dm().Engine(), kind, in);
        EXPECT_EQ(q.Refusal, "");
        return ReportRows(c.dm(), q.Query);
    }

    TTestCentre c;
    TReportWorld w{c.dm()};
};

TEST_F(Reports, DailyListsEveryDayWithAnEventAndCountsOnlyLiveBatches) {
    w.Batch("PC20250228001", At(2025, 2, 28, 23, 59, 59), 9000);
    w.Batch("PC20250301001", At(2025, 3, 1, 0, 0, 0), 10000);
    w.Batch("PC20250301002", At(2025, 3, 1, 9), 5000, "已作废");
    w.Batch("PC20250301003", At(2025, 3, 1, 10, 30), 6000.5, "已完结");
    w.Batch("PC20250302001", At(2025, 3, 2, 11), 7000, "已作废");  // a day of voided batches only
    w.Round("PC20250301001", 1, 1, At(2025, 3, 3, 8), At(2025, 3, 3, 14, 30), 9100, 900, 9);
    w.Round("PC20250301001", 2, 1, At(2025, 3, 3, 15), At(2025, 3, 3, 23, 59, 59), 8650, 450, 5);
    w.Round("PC20250301003", 1, 1, At(2025, 3, 3, 9));  // still on the dryer
    w.Out("CK20250304001", "PC20250301001", At(2025, 3, 4, 0, 0, 0), 3000);
    w.Out("CK20250304002", "PC20250301001", At(2025, 3, 4, 23, 59, 59), 2000);
    w.Batch("PC20250305001", At(2025, 3, 5, 0, 0, 0), 8000);

    EXPECT_EQ(Report(TReportKind::Daily, {QDate(2025, 3, 1), QDate(2025, 3, 4)}),
              (QStringList{"2025-03-01|2|16000.5|0|0",
                           "2025-03-02|0|0|0|0",
                           "2025-03-03|0|0|8650|0",
                           "2025-03-04|0|0|0|5000"}));
    EXPECT_EQ(Report(TReportKind::Daily, {QDate(2025, 3, 4), QDate(2025, 3, 1)}), QStringList{})
        << "a range that ends before it starts lists nothing";
}

// 53,800 kg taken in on a day must not come out as more dried grain than that: a re-dried batch
// adds its passing round only, while the dryer's energy figures keep every round it ran.
TEST_F(Reports, DriedGrainLedgerAndMonthlyCountThePassingRoundOnlyTheEnergyReportEveryRound) {
    w.Batch("PC20250310001", At(2025, 3, 10, 7), 30000);
    w.Batch("PC20250310002", At(2025, 3, 10, 8), 23800);
    w.Round("PC20250310001", 1, 1, At(2025, 3, 10, 9), At(2025, 3, 10, 15), 26000, 4000, 13.3);
    w.Round("PC20250310002", 1, 1, At(2025, 3, 10, 10), At(2025, 3, 10, 16), 21500, 2300, 9.7);
    w.Round("PC20250310002", 2, 1, At(2025, 3, 10, 17), At(2025, 3, 10, 22), 20700, 800, 3.7);
    w.Batch("PC20250310003", At(2025, 3, 10, 9), 5000);
    w.Round("PC20250310003", 1, 1, At(2025, 3, 10, 12), At(2025, 3, 10, 18), 4500, 500, 10);
    w.Round("PC20250310003", 2, 1, At(2025, 3, 10, 18));  // re-drying still: none of it is in store yet
    w.Run(1, At(2025, 3, 10, 9), 20, 1000);

    EXPECT_EQ(Report(TReportKind::Daily, {QDate(2025, 3, 10), QDate(2025, 3, 10)}),
              QStringList{"2025-03-10|3|58800|46700|0"});
    EXPECT_EQ(Report(TReportKind::Monthly, {QDate(2025, 3, 10), QDate(2025, 3, 10)}),
              QStringList{"2025-03|3|58800|46700|0|0|0|0"});
    EXPECT_EQ(Report(TReportKind::Energy, {QDate(2025, 3, 10), QDate(2025, 3, 10)}),
              QStringList{"HG-001|20|1000|72700|13.7552"});
}

TEST_F(Reports, MonthlyTakesWholeMonthsAndListsAMonthForAnySource) {
    w.Batch("PC20250131001", At(2025, 1, 31, 23, 59, 59), 9000);
    w.Batch("PC20250201001", At(2025, 2, 1, 0, 0, 0), 10000);
    w.Batch("PC20250210001", At(2025, 2, 10), 5000, "已作废");
    w.Round("PC20250131001", 1, 1, At(2025, 3, 5, 8), At(2025, 3, 5, 14), 8600, 400, 4.4);
    w.Out("CK20250430001", "PC20250131001", At(2025, 4, 30, 23, 59, 59), 3000);
    w.Settle("JS20250501001", "PC20250131001", 0, At(2025, 5, 1, 0, 0, 0), 1200, 1000);
    w.Settle("JS20250531001", "PC20250201001", 0, At(2025, 5, 31, 23, 59, 59), 800.25, 800.25);
    w.Settle("JS20250601001", "PC20250201001", 0, At(2025, 6, 1, 0, 0, 0), 99, 0);

    EXPECT_EQ(Report(TReportKind::Monthly, {QDate(2025, 2, 15), QDate(2025, 5, 3)}),
              (QStringList{"2025-02|1|10000|0|0|0|0|0",
                           "2025-03|0|0|8600|0|0|0|0",
                           "2025-04|0|0|0|3000|0|0|0",
                           "2025-05|0|0|0|0|2000.25|1800.25|200"}));
    EXPECT_EQ(Report(TReportKind::Monthly, {QDate(2025, 3, 31), QDate(2025, 3, 1)}), QStringList{"2025-03|0|0|8600|0|0|0|0"})
        << "days within one month do not matter";
}

TEST_F(Reports, FarmerStatementEveryFarmerByDebtThenNumberOrOnlyTheChosenOne) {
    const int jia = c.addFarmer("甲", "13900000001", true);
    const int yi = c.addFarmer("乙", "13900000002");
    const int bing = c.addFarmer("丙");
    const int ding = c.addFarmer("丁");
    w.Batch("PC1", At(2025, 3, 1), 10000, "已完结", jia);
    w.Batch("PC2", At(2025, 3, 1), 5000, "已作废", jia);
    w.Batch("PC3", At(2025, 3, 2), 8000, "待结算", jia);
    w.Batch("PC4", At(2025, 3, 2), 12000, "待结算", yi);
    w.Batch("PC5", At(2025, 3, 3), 20000, "待结算", ding);
    w.Settle("JS1", "PC1", jia, At(2025, 3, 10), 1200, 900);
    w.Settle("JS3", "PC3", jia, At(2024, 3, 10), 960, 960);  // outside any date: the statement is not dated
    w.Settle("JS4", "PC4", yi, At(2025, 3, 10), 1440, 1140);
    w.Settle("JS5", "PC5", ding, At(2025, 3, 10), 2400, 1900);
    w.Settle("JS6", "PC5", ding, At(2025, 3, 11), 100, 100);

    EXPECT_EQ(Report(TReportKind::FarmerStatement, {QDate(2030, 1, 1), QDate(2030, 1, 2), 0}),
              (QStringList{QString("%1|丁|||否|1|20000|2500|2000|500").arg(ding),
                           QString("%1|甲|13900000001||是|2|18000|2160|1860|300").arg(jia),
                           QString("%1|乙|13900000002||否|1|12000|1440|1140|300").arg(yi),
                           QString("%1|丙|||否|0|0|0|0|0").arg(bing)}));
    EXPECT_EQ(Report(TReportKind::FarmerStatement, {{}, {}, yi}),
              QStringList{QString("%1|乙|13900000002||否|1|12000|1440|1140|300").arg(yi)});
    EXPECT_EQ(Report(TReportKind::FarmerStatement, {{}, {}, bing}), QStringList{QString("%1|丙|||否|0|0|0|0|0").arg(bing)});
}

TEST_F(Reports, EnergyKilowattHoursPerTonOfDryGrainAndTheZeroCase) {
    const int hg2 = c.addEquip("HG-002");
    const int hg3 = c.addEquip("HG-003");
    const int hg4 = c.addEquip("HG-004");
    c.addEquip("HG-000");
    w.Run(1, At(2025, 3, 2), 6, 300);
    w.Run(1, At(2025, 3, 10), 4, 200);
    w.Run(1, At(2025, 4, 1, 0, 0, 0), 9, 999);
    w.Round("PC1", 1, 1, At(2025, 3, 2), At(2025, 3, 2, 14), 12000);
    w.Round("PC2", 1, 1, At(2025, 3, 10), At(2025, 3, 11, 2), 8000);
    w.Round("PC3", 1, 1, At(2025, 2, 28, 20), At(2025, 3, 1, 4), 9999);  // started before the range
    w.Run(hg2, At(2025, 3, 5), 4, 100);
    w.Round("PC4", 1, hg2, At(2025, 3, 5));  // not finished: no dry weight yet
    w.Round("PC5", 1, hg3, At(2025, 3, 6), At(2025, 3, 6, 12), 5000);
    w.Run(hg4, At(2025, 3, 31, 23, 59, 59), 1, 50);
    w.Run(hg4, At(2025, 4, 1, 0, 0, 0), 1, 50);

    EXPECT_EQ(Report(TReportKind::Energy, {QDate(2025, 3, 1), QDate(2025, 3, 31)}),
              (QStringList{"HG-001|10|500|20000|25",
                           "HG-002|4|100|0|0",
                           "HG-003|||5000|",
                           "HG-004|1|50|0|0"}));
}

TEST_F(Reports, LossCountsEachBatchOnceByItsLastRoundAndPutsTheHighestAverageFirst) {
    w.Batch("PCA", At(2025, 3, 1), 10000, "在库", 0, 1);
    w.Round("PCA", 1, 1, At(2025, 3, 5, 8), At(2025, 3, 5, 14), 8650, 1350, 13.5);
    w.Batch("PCB", At(2025, 3, 1), 12000, "在库", 0, 1);
    w.Round("PCB", 1, 1, At(2025, 3, 6, 8), At(2025, 3, 6, 14), 11000, 1000, 5);
    w.Round("PCB", 2, 1, At(2025, 3, 7, 8), At(2025, 3, 7, 14), 10800, 1200, 10);
    w.Batch("PCC", At(2025, 3, 1), 8000, "在库", 0, 2);
    w.Round("PCC", 1, 1, At(2025, 3, 10, 8), At(2025, 3, 10, 14), 6800, 1200, 15);
    w.Batch("PCD", At(2025, 3, 1), 9000, "在库", 0, 3);
    w.Round("PCD", 1, 1, At(2025, 3, 20, 8), At(2025, 3, 20, 14), 8000, 1000, 20);
    w.Round("PCD", 2, 1, At(2025, 3, 31, 20), At(2025, 4, 1, 0, 0, 0), 7500, 500, 6);  // last round ends after
    w.Batch("PCE", At(2025, 3, 1), 5000, "在库", 0, 3);
    w.Round("PCE", 1, 1, At(2025, 3, 31, 18), At(2025, 3, 31, 23, 59, 59), 4400, 600, 12);
    w.Batch("PCF", At(2025, 2, 1), 7000, "在库", 0, 3);
    w.Round("PCF", 1, 1, At(2025, 2, 28, 18), At(2025, 2, 28, 23, 59, 59), 6000, 1000, 30);
    w.Batch("PCG", At(2025, 3, 1), 7000, "烘干中", 0, 2);
    w.Round("PCG", 1, 1, At(2025, 3, 30, 18));

    EXPECT_EQ(Report(TReportKind::Loss, {QDate(2025, 3, 1), QDate(2025, 3, 31)}),
              (QStringList{"小麦|1|8000|6800|1200|15",
                           "玉米|1|5000|4400|600|12",
                           "稻谷|2|22000|19450|2550|11.75"}));
}

TEST_F(Reports, TraceLastRoundDryPositionOutboundTotalAndOneRowPerSettlement) {
    const int farmer = c.addFarmer("张三", "13800000000");
    const int hg2 = c.addEquip("HG-002");
    w.Batch("PC20250301001", At(2025, 3, 1), 10000, "已完结", farmer);
    w.Stock("PC20250301001", 1, At(2025, 3, 1), 10000);  // the wet grain of intake
    w.Round("PC20250301001", 1, 1, At(2025, 3, 1, 10), At(2025, 3, 1, 20), 9000, 1000, 10);
    w.Round("PC20250301001", 2, hg2, At(2025, 3, 2, 8), At(2025, 3, 2, 14, 30), 8650, 350, 3.89);
    w.Stock("PC20250301001", 3, At(2025, 3, 2, 14, 30), 8650);
    w.Stock("PC20250301001", 4, At(2025, 3, 5), 100);
    w.Out("CK1", "PC20250301001", At(2025, 3, 6), 3000);
    w.Out("CK2", "PC20250301001", At(2025, 3, 7), 2000);
    w.Settle("JS20250310002", "PC20250301001", farmer, At(2025, 3, 10, 9), 50, 50);
    w.Settle("JS20250310001", "PC20250301001", farmer, At(2025, 3, 10, 8), 1200, 1000);
    w.Batch("PC20250301002", At(2025, 3, 1, 9), 6000, "待烘干", farmer);
    w.Stock("PC20250301002", 1, At(2025, 3, 1, 9), 6000);

    const QString head = "PC20250301001|2025-03-01 08:00:00|苏A12345|张三|13800000000|稻谷|22.5|1.5|20000|10000|10000|"
                         "已完结|2|HG-002|2025-03-02 08:00:00|2025-03-02 14:30:00|6|14|8650|350|3.89||"
                         "2号干粮仓|2025-03-02 14:30:00|5000|";
    EXPECT_EQ(Report(TReportKind::Trace, {{}, {}, 0, " PC20250301001 "}),
              (QStringList{head + "JS20250310001|1200|1000|200|部分欠款|0", head + "JS20250310002|50|50|0|已结清|0"}));

    EXPECT_EQ(Report(TReportKind::Trace, {{}, {}, 0, "PC20250301002"}),
              QStringList{"PC20250301002|2025-03-01 09:00:00|苏A12345|张三|13800000000|稻谷|22.5|1.5|16000|10000|6000|"
                          "待烘干|||||||||||||0||||||0"})
        << "not dried yet: no round, no dry-grain position";
    EXPECT_EQ(Report(TReportKind::Trace, {{}, {}, 0, "PC2025030100"}), QStringList{}) << "the number must match whole";
    EXPECT_EQ(ReportQuery(c.dm().Engine(), TReportKind::Trace, {{}, {}, 0, "   "}).Refusal, "请输入要溯源的批次号");
}
