#include "forms/uGrid.h"

#include "forms/uCtl.h"
#include "support/TestCentre.h"

#include <QCoreApplication>
#include <QTableView>
#include <gtest/gtest.h>

namespace {
QStringList Names(TQueryModel& model) {
    QStringList names;
    for (int r = 0; r < model.rowCount(); ++r) names << VarToStr(model.Value(r, "Name"));
    return names;
}
}  // namespace

// Rows arrive a chunk of 256 at a time, each after the last key of the one before: no row may be
// lost or repeated at a seam, whatever the order and however many keys repeat or are missing.
TEST(Grid, RowsArriveInChunksAfterTheLastKeyAsOneStatementGivesThem) {
    TTestCentre c;
    c.dm().ExecSQLP("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<1300) "
                    "INSERT INTO T_Farmer(Name,Phone,Village) SELECT '农户' || i, "
                    "CASE WHEN i%3=0 THEN NULL ELSE i%7 END, CASE i%4 WHEN 0 THEN NULL ELSE '村' || (i%5) END FROM n");
    const QString farmers = "SELECT FarmerID, Name FROM T_Farmer WHERE FarmerID>:min ORDER BY FarmerID";
    TQueryModel model(c.dm());
    model.Open(farmers, {{"min", 700}});
    {
        // A shown grid starts with the first chunk and reads the rest as it is scrolled down.
        QWidget window;
        window.resize(600, 400);
        QTableView* grid = MakeGrid(&window, &model);
        window.show();
        EXPECT_EQ(model.rowCount(), 256);
        for (int i = 0; i < 20 && model.canFetchMore({}); ++i) {
            grid->scrollToBottom();
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(model.rowCount(), 600) << "the parameters stay bound for later chunks";
    }
    for (int row : {0, 255, 256, 511, 512, 599})
        EXPECT_EQ(VarToStr(model.Value(row, "Name")), QStringLiteral("农户%1").arg(row + 701)) << row;

    // FindRow reads only as far as needed; an export walks every row without loading them.
    model.Open(farmers, {{"min", 0}});
    EXPECT_EQ(model.FindRow([&](int r) { return VarToInt(model.Value(r, "FarmerID")) == 300; }), 299);
    EXPECT_EQ(model.rowCount(), 512);
    int seen = 0;
    model.ForEachRow([&](const std::vector<TValue>&) { ++seen; });
    EXPECT_EQ(seen, 1300);
    EXPECT_EQ(model.rowCount(), 512);
    EXPECT_EQ(model.FindRow([&](int r) { return VarToStr(model.Value(r, 1)) == "无此人"; }), -1);
    EXPECT_FALSE(model.canFetchMore({}));

    for (const QStringList& order : {QStringList{"Village DESC", "FarmerID"}, QStringList{"Village", "FarmerID DESC"},
                                     QStringList{"Phone", "Village DESC", "FarmerID"},
                                     QStringList{"Village", "FarmerID DESC NOT NULL"}}) {
        const TSqlText listing{"SELECT FarmerID, Name, Phone, Village FROM T_Farmer WHERE FarmerID>:min", {{"min", 7}},
                               order};
        QStringList expected;
        const TQuery all = c.dm().OpenSQLP(listing.OrderedSql(c.dm().Engine()), listing.Params);
        for (int r = 0; r < all.RowCount(); ++r) expected << VarToStr(all.Value(r, "Name"));
        ASSERT_EQ(expected.size(), 1293);
        model.Open(listing);
        while (model.canFetchMore({})) model.fetchMore({});
        EXPECT_EQ(Names(model), expected) << order.join(',').toStdString();
        QStringList walked;
        model.ForEachRow([&](const std::vector<TValue>& row) { walked << VarToStr(row[1]); });
        EXPECT_EQ(walked, expected) << order.join(',').toStdString();
    }
}
