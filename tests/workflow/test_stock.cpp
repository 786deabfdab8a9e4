#include "WorkflowCase.h"
#include "workflow/uStock.h"
#include "workflow/uStockRule.h"

namespace {
const QDate kToday(2025, 3, 10);

int AddStock(TTestCentre& c, const QString& batchNo, int whId, double qty, const QString& status = "在库",
             const QDateTime& inTime = QDateTime(kToday.addDays(-1), QTime(9, 0)), int grainId = 1) {
    c.dm().ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Status) VALUES(:b,:w,:g,0,:q,:t,:s)",
                    {{"b", batchNo}, {"w", whId}, {"g", grainId}, {"q", qty}, {"t", inTime}, {"s", status}});
    return int(c.dm().LastInsertId());
}

void AddOutbound(TTestCentre& c, const QString& outNo, const QString& batchNo, double weight) {
    c.dm().ExecSQLP("INSERT INTO T_Outbound(OutNo,OutType,BatchNo,OutWt,OutTime) VALUES(:n,'农户自提',:b,:w,:t)",
                    {{"n", outNo}, {"b", batchNo}, {"w", weight}, {"t", QDateTime(kToday, QTime(8, 0))}});
}
}  // namespace

TEST(StockRule, OnlyWaitingAndStoredRowsHoldGrain) {
    TTestCentre c;
    const QString waiting = c.registeredBatch(3000);
    const TDriedBatch dried = c.driedBatch(10000, 8650, 2);
    const TDriedBatch voided = c.driedBatch(2000, 1800, 3);
    ASSERT_EQ(TBatchVoidLogic(c.dm()).Void(voided.BatchNo, "登记错误"), "");
    AddOutbound(c, "CK20250310001", dried.BatchNo, 650);

    // Ticked: the dried batch shows one row, its dry grain less what was handed out.
    const TSqlText live = LiveStockQuery(c.dm().Engine(), 0, {}, true);
    EXPECT_EQ(Column(c.dm(), live, "批次号"), (QStringList{dried.BatchNo, waiting}));
    EXPECT_EQ(Column(c.dm(), live, "剩余数量"), (QStringList{"8000", "3000"}));
    EXPECT_EQ(Column(c.dm(), LiveStockQuery(c.dm().Engine(), 1, {}, true), "批次号"), QStringList{waiting})
        << "the wet position holds only the batch not yet dried";
    EXPECT_EQ(Column(c.dm(), LiveStockQuery(c.dm().Engine(), 0, dried.BatchNo.right(3), true), "入仓数量"), QStringList{"8650"});

    // Unticked: every row with its status; retired and voided rows hold nothing.
    const TSqlText all = LiveStockQuery(c.dm().Engine(), 0, {}, false);
    EXPECT_EQ(Column(c.dm(), all, "库存状态"), (QStringList{"已作废", "已作废", "在库", "已出库", "待烘干"}));
    EXPECT_EQ(Column(c.dm(), all, "剩余数量"), (QStringList{"0", "0", "8000", "0", "3000"}));

    EXPECT_DOUBLE_EQ(BatchRemaining(c.dm(), dried.BatchNo), 8000);
    EXPECT_DOUBLE_EQ(BatchRemaining(c.dm(), voided.BatchNo), 0);
    EXPECT_DOUBLE_EQ(BatchRemaining(c.dm(), waiting), 3000);

    // The wet position's used figure dropped back when the batch was dried.
    EXPECT_EQ(TStockWarnLogic(c.dm()).CapacityLines(),
              (QStringList{"  [湿粮暂存区] 结余 3000.0 / 容量 50000 公斤，使用率 6%",
                           "  [1号干粮仓] 结余 8000.0 / 容量 100000 公斤，使用率 8%",
                           "  [2号干粮仓] 结余 0.0 / 容量 100000 公斤，使用率 0%",
                           "  [干粮待发区] 结余 0.0 / 容量 20000 公斤，使用率 0%"}));

    EXPECT_EQ(Column(c.dm(), StockMoveQuery(c.dm().Engine(), dried.BatchNo), "异动类型"), QStringList{"入仓"});
    EXPECT_EQ(Column(c.dm(), StockMoveQuery(c.dm().Engine(), {}), "农户"), (QStringList{"张三", "张三"}));

    // Outbound offers and hands out the same grain: neither wet rows nor voided grain.
    TOutboundLogic out(c.dm());
    const QList<TStockChoice> choices = out.Choices();
    ASSERT_EQ(choices.size(), 1);
    EXPECT_EQ(choices[0].StockID, dried.DryRow);
    EXPECT_EQ(choices[0].Text, dried.BatchNo + " | 张三 | 稻谷 | 结余8000.0kg | 1号干粮仓");
    const auto handOut = [&](int stockId, const QString& weight) {
        return out.Save({.StockID = stockId, .OutType = "农户自提", .OutTime = QDateTime(kToday, QTime(9, 0)), .Weight = weight}).Refusal;
    };
    const int waitingRow = VarToInt(c.scalar("SELECT StockID FROM T_Stock WHERE BatchNo=:b", {{"b", waiting}}));
    EXPECT_EQ(handOut(waitingRow, "100"), "出库重量 100.0 大于可出库存 0.0");
    EXPECT_EQ(handOut(voided.DryRow, "100"), "出库重量 100.0 大于可出库存 0.0");

    // A batch voided while its dry row stayed in store (as an older file may hold it) keeps its status.
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='已作废' WHERE BatchNo=:b", {{"b", dried.BatchNo}});
    EXPECT_EQ(handOut(dried.DryRow, "8000"), "");
    EXPECT_EQ(c.batchRows("T_Stock", dried.BatchNo, "Status", "StockID=" + QString::number(dried.DryRow)), "已出库");
    EXPECT_EQ(c.batchRows("T_Batch", dried.BatchNo, "Status"), "已作废");
}

TEST(StockWarnings, CapacityThresholdsCountOnlyGrainStillHeld) {
    TTestCentre c;
    c.dm().ExecSQLP("DELETE FROM T_Wh");
    const int nearly = c.addWh("甲仓", "干粮区", 10000);
    const int over = c.addWh("乙仓", "干粮区", 10000);
    const int full = c.addWh("丙仓", "干粮区", 10000);
    const int below = c.addWh("丁仓", "干粮区", 10000);
    c.addWh("零仓", "干粮区", 0);
    c.addWh("小仓", "干粮区", 0.4);
    c.dm().ExecSQLP("INSERT INTO T_Wh(WhName,WhType) VALUES('无容量','干粮区')");

    AddStock(c, "PC1", nearly, 9000);
    AddStock(c, "PC2", nearly, 5000, "已出库");
    AddStock(c, "PC3", nearly, 5000, "已作废");
    AddStock(c, "PC4", over, 7000);
    AddStock(c, "PC5", over, 5000, "待烘干");
    AddStock(c, "PC6", full, 10000);
    AddStock(c, "PC7", below, 8999.5);
    AddStock(c, "PC8", below, 1000);
    AddOutbound(c, "CK20250310001", "PC8", 1500);  // more handed out than the row held

    EXPECT_EQ(TStockWarnLogic(c.dm()).CapacityLines(),
              (QStringList{"  [甲仓] 结余 9000.0 / 容量 10000 公斤，使用率 90%  ★接近满仓",
                           "  [乙仓] 结余 12000.0 / 容量 10000 公斤，使用率 120%  ★已满仓",
                           "  [丙仓] 结余 10000.0 / 容量 10000 公斤，使用率 100%  ★已满仓",
                           "  [丁仓] 结余 8999.5 / 容量 10000 公斤，使用率 90%"}));
}

TEST(StockWarnings, StorageAgeCountsFromTheStartOfToday) {
    TTestCentre c;
    const int threeDays = Grain(c, "100,14,0,3,0,0"), twoDays = Grain(c, "100,14,0,2,0,0"),
              noFreeDays = Grain(c, "100,14,0,0,0,0"), noStandard = Grain(c);
    c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,FreeDays) VALUES(:g,99)", {{"g", threeDays}});

    const TStockWarnLogic warn(c.dm());
    EXPECT_TRUE(warn.OverStoredLines(kToday).isEmpty());
    const auto at = [](int daysAgo, int hour) { return QDateTime(kToday.addDays(-daysAgo), QTime(hour, 0)); };
    AddStock(c, "PC-A", 2, 800, "在库", at(4, 15), threeDays);    // 3.375 days
    AddStock(c, "PC-B", 2, 500, "在库", at(1, 15), noFreeDays);   // 0.375 days
    AddStock(c, "PC-C", 2, 500, "在库", at(0, 8), noFreeDays);    // put in today
    AddStock(c, "PC-D", 2, 500, "在库", at(3, 12), twoDays);      // 2.5 days
    AddStock(c, "PC-E", 2, 500, "在库", at(3, 0), threeDays);     // exactly the free days
    AddStock(c, "PC-F", 2, 500, "在库", at(90, 8), noStandard);
    AddStock(c, "PC-G", 2, 500, "已出库", at(90, 8), threeDays);
    AddStock(c, "PC-H", 2, 500, "在库", at(90, 8), threeDays);
    AddOutbound(c, "CK20250310001", "PC-H", 500);
    AddStock(c, "PC-I", 1, 9000, "待烘干", at(40, 10), threeDays);

    EXPECT_EQ(warn.OverStoredLines(kToday),
              (QStringList{"  批次 PC-I  农户:  仓位:湿粮暂存区  结余9000.0kg  已堆放40天(免费3天)",
                           "  批次 PC-A  农户:  仓位:1号干粮仓  结余800.0kg  已堆放3天(免费3天)",
                           "  批次 PC-D  农户:  仓位:1号干粮仓  结余500.0kg  已堆放2天(免费2天)",
                           "  批次 PC-B  农户:  仓位:1号干粮仓  结余500.0kg  已堆放0天(免费0天)"}))
        << "the first fee standard of a grain decides; a half day rounds to the even count";
}
