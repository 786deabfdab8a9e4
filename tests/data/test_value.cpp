#include "data/uDM.h"
#include "data/uValue.h"

#include <gtest/gtest.h>
#include <limits>

TEST(Values, NullDefaultsMoneyRoundingNumberAndTimeTexts) {
    EXPECT_EQ(VarToFloat(TValue(), 15.0), 15.0);
    EXPECT_EQ(VarToStr(TValue()), "");
    EXPECT_EQ(VarToInt(TValue("12")), 12);
    EXPECT_EQ(VarToFloat(TValue("abc")), 0.0);
    EXPECT_EQ(VarToFloat(TValue::Money(0.1)), 0.1);

    EXPECT_EQ(TValue::Money(1.23456).MoneyUnits(), 12346);
    EXPECT_EQ(FmtMoney(0.125), "0.13");
    EXPECT_EQ(FmtMoney(-0.125), "-0.13");
    EXPECT_EQ(FmtMoney(1e9 + 0.5), "1000000000.50");
    EXPECT_EQ(FmtNum(6.5, 2), "6.5");
    EXPECT_EQ(FmtNum(8650, 2), "8650");
    EXPECT_EQ(FmtFixed(13.5, 2), "13.50");

    EXPECT_EQ(DbTimeText(QDateTime(QDate(2026, 12, 7), QTime(8, 0, 5, 700))), "2026-12-07 08:00:05");
    EXPECT_EQ(DbTimeFromText("2026-12-07 08:00:05"), QDateTime(QDate(2026, 12, 7), QTime(8, 0, 5)));
    EXPECT_EQ(EndOfDay(QDate(2026, 2, 28)), QDateTime(QDate(2026, 2, 28), QTime(23, 59, 59)));
}

TEST(Values, MoneyBeyondWhatCurrencyHoldsIsRefusedNotWrapped) {
    EXPECT_EQ(TValue::Money(900000000000000.0).MoneyUnits(), 9000000000000000000LL);
    EXPECT_EQ(TValue::Money(-922337203685477.5808).MoneyUnits(), std::numeric_limits<qint64>::min())
        << "an amount wrapped by an older version still reads back";
    for (const double yuan : {1e15, -1e15, 1e308, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(TValue::Money(yuan), TDbError) << yuan;
        EXPECT_THROW(TValue(yuan).MoneyUnits(), TDbError) << yuan;
    }
}
