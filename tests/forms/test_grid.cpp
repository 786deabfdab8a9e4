#include "forms/uGrid.h"

#include "forms/uCtl.h"
#include "support/TestCentre.h"

#include <QCoreApplication>
#include <QTableView>
#include <gtest/gtest.h>

namespace {
void AddFarmers(TTestCentre& c, int count) {
    c.dm().ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<:c) "
                    "INSERT INTO T_Farmer(Name,Phone,Blacklist) SELECT '农户' || i, '', 0 FROM n",
                    {{"c", count}});
}

const char* const kFarmers = "SELECT FarmerID, Name FROM T_Farmer WHERE FarmerID>:min ORDER BY FarmerID";
}  // namespace

TEST(Grid, RowsArriveInChunksAsTheyAreScrolledTo) {
    TTestCentre c;
    AddFarmers(c, 600);
    TQueryModel model(c.dm());
    model.Open(kFarmers, {{"min", 0}});
    EXPECT_EQ(model.rowCount(), 256);
    EXPECT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 512);
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 600);
    EXPECT_FALSE(model.canFetchMore({}));
    // No row lost or repeated at the chunk seams.
    for (int row : {0, 255, 256, 511, 512, 599})
        EXPECT_EQ(VarToStr(model.Value(row, "Name")), QStringLiteral("农户%1").arg(row + 1)) << row;

    // Parameters stay bound for later chunks.
    model.Open(kFarmers, {{"min", 300}});
    EXPECT_EQ(model.rowCount(), 256);
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 300);
    EXPECT_EQ(VarToInt(model.Value(299, "FarmerID")), 600);
}

TEST(Grid, FindRowReadsOnlyAsFarAsNeededAndExportSeesAllRows) {
    TTestCentre c;
    AddFarmers(c, 700);
    TQueryModel model(c.dm());
    model.Open(kFarmers, {{"min", 0}});
    const int row = model.FindRow([&](int r) { return VarToInt(model.Value(r, "FarmerID")) == 300; });
    EXPECT_EQ(row, 299);
    EXPECT_EQ(model.rowCount(), 512);
    EXPECT_EQ(model.FindRow([&](int r) { return VarToStr(model.Value(r, 1)) == "无此人"; }), -1);
    EXPECT_EQ(model.rowCount(), 700);

    model.Open(kFarmers, {{"min", 0}});
    int seen = 0;
    model.ForEachRow([&](const std::vector<TValue>&) { ++seen; });
    EXPECT_EQ(seen, 700);
    EXPECT_EQ(model.rowCount(), 256);
}

TEST(Grid, ShownGridStartsWithTheFirstChunk) {
    TTestCentre c;
    AddFarmers(c, 1000);
    QWidget window;
    window.resize(600, 400);
    TQueryModel model(c.dm());
    model.Open(kFarmers, {{"min", 0}});
    QTableView* grid = MakeGrid(&window, &model);
    window.show();
    EXPECT_LT(model.rowCount(), 1000);
    grid->scrollToBottom();
    for (int i = 0; i < 20 && model.canFetchMore({}); ++i) {
        grid->scrollToBottom();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
}
