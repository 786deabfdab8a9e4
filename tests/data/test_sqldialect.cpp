#include "data/uSqlDialect.h"
#include "support/TestCentre.h"

#include <QDate>
#include <algorithm>
#include <gtest/gtest.h>

namespace {
QStringList Column(TDM& dm, const QString& sql, const TParams& params = {}) {
    const TQuery q = dm.OpenSQLP(sql, params);
    QStringList values;
    for (int r = 0; r < q.RowCount(); ++r) values << (q.Value(r, 0).IsNull() ? QStringLiteral("null") : q.Value(r, 0).AsText());
    return values;
}

void AddBatch(TDM& dm, const QString& no, const QString& carNo, const TValue& regTime, const TValue& wet) {
    dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,CarNo,RegTime,WetNetWt,Status) VALUES(:b,:c,:t,:w,'待烘干')",
                {{"b", no}, {"c", carNo}, {"t", regTime}, {"w", wet}});
}
}  // namespace

// Each engine-specific piece, run on the engine, with values that a careless spelling gets wrong:
// the last second of a month, a plate typed in small letters, sums over no rows, a null key.
TEST(SqlDialect, EachPieceMeansWhatTheStatementsCountOn) {
    TTestCentre c;
    TDM& dm = c.dm();
    const QDateTime monthEnd(QDate(2024, 1, 31), QTime(23, 59, 59));
    AddBatch(dm, "PC20240131001", QStringLiteral("苏A12345"), monthEnd, 200);
    AddBatch(dm, "PC20240201001", QStringLiteral("苏B67890"), QDateTime(QDate(2024, 2, 1), QTime(0, 0)), 300.25);
    AddBatch(dm, "PC20240201002", QStringLiteral("苏C00001"), TValue(), TValue());

    EXPECT_EQ(Column(dm, "SELECT " + SqlDayText(dm.Engine(), "RegTime") + " FROM T_Batch ORDER BY BatchNo"),
              (QStringList{"2024-01-31", "2024-02-01", "null"}));
    EXPECT_EQ(Column(dm, "SELECT " + SqlMonthText(dm.Engine(), "RegTime") + " FROM T_Batch ORDER BY BatchNo"),
              (QStringList{"2024-01", "2024-02", "null"}));
    EXPECT_EQ(VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch WHERE " + SqlSkipIndex(dm.Engine(), "RegTime") +
                                      " BETWEEN :a AND :b",
                                  {{"a", QDateTime(QDate(2024, 1, 31), QTime(0, 0))}, {"b", EndOfDay(QDate(2024, 1, 31))}})),
              1);

    const auto matches = [&](const QString& column, const QString& typed) {
        return Column(dm, "SELECT BatchNo FROM T_Batch WHERE " + SqlLikeNoCase(dm.Engine(), column, ":k") + " ORDER BY BatchNo",
                      {{"k", "%" + typed + "%"}});
    };
    EXPECT_EQ(matches("CarNo", "a123"), QStringList{"PC20240131001"});
    EXPECT_EQ(matches("BatchNo", "pc202402"), (QStringList{"PC20240201001", "PC20240201002"}));
    EXPECT_TRUE(matches("CarNo", "d").isEmpty());

    const TValue none = dm.ScalarP("SELECT " + SqlTotal(dm.Engine(), "WetNetWt") + " FROM T_Batch WHERE BatchNo='none'");
    ASSERT_FALSE(none.IsNull());
    EXPECT_EQ(VarToFloat(none, -1), 0.0);
    EXPECT_DOUBLE_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlTotal(dm.Engine(), "WetNetWt") + " FROM T_Batch")), 500.25);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(dm.Engine(), "SUM(x)", 4) + " FROM (SELECT 0.1 AS x UNION ALL SELECT 0.2) AS t")),
              0.3);
    EXPECT_EQ(VarToFloat(dm.ScalarP("SELECT " + SqlRound(dm.Engine(), ":w*100/3.0", 1), {{"w", 2}})), 66.7);

    // The grid pages after the last row held on the side where the engine sorts a null.
    const QString listing = "SELECT * FROM (SELECT b.BatchNo, b.RegTime FROM T_Batch b) AS listing ORDER BY " +
                            SqlResultName(dm.Engine(), "RegTime");
    const QString byNumber = "," + SqlResultName(dm.Engine(), "BatchNo");
    const QStringList ascending = SqlNullsSortHigh(dm.Engine())
                                      ? QStringList{"PC20240131001", "PC20240201001", "PC20240201002"}
                                      : QStringList{"PC20240201002", "PC20240131001", "PC20240201001"};
    EXPECT_EQ(Column(dm, listing + byNumber), ascending);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(Column(dm, listing + " DESC" + byNumber), descending);
}
