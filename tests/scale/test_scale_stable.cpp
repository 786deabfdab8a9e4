#include "scale/uScaleStable.h"

#include <gtest/gtest.h>

namespace {
TScaleReading Kg(double kg, std::optional<bool> indicatorStable = std::nullopt) {
    TScaleReading r;
    r.Kg = kg;
    r.IndicatorStable = indicatorStable;
    return r;
}

TScaleReading Overload() {
    TScaleReading r;
    r.Overload = true;
    return r;
}

// Division 10 kg, minimum 500 kg, two seconds.
TScaleStable Scale() { return TScaleStable(TScaleRule{10, 500, 2000}); }
}  // namespace

TEST(ScaleStable, AWeightIsTakenOnlyAfterHoldingWithinOneDivisionForTheStabilityTime) {
    TScaleStable s = Scale();
    EXPECT_EQ(s.State(), TScaleState::Offline);

    s.Feed(Kg(24000), 0);
    s.Feed(Kg(24560), 500);  // the truck still rolling on
    s.Feed(Kg(24570), 1500);
    s.Feed(Kg(24560), 2400);
    EXPECT_EQ(s.State(), TScaleState::Unstable) << "only 1.9 s since the last jump";
    EXPECT_FALSE(s.Capture().has_value());
    s.Feed(Kg(24570), 2500);
    EXPECT_EQ(s.State(), TScaleState::Stable);

    s.Feed(Kg(24590), 2600);  // two divisions above the lowest: a new start
    EXPECT_EQ(s.State(), TScaleState::Unstable);
    s.Feed(Kg(24590), 4600);
    const std::optional<TScaleReading> taken = s.Capture();
    ASSERT_TRUE(taken.has_value());
    EXPECT_DOUBLE_EQ(taken->Kg, 24590);

    // The same load is not taken twice: it must leave the scale first.
    s.Feed(Kg(24590), 9000);
    EXPECT_TRUE(s.WaitingForLoadToLeave());
    EXPECT_FALSE(s.Capture().has_value());
    s.Feed(Kg(120), 10000);
    EXPECT_FALSE(s.WaitingForLoadToLeave());
    s.Feed(Kg(9870), 11000);
    s.Feed(Kg(9870), 13000);
    EXPECT_DOUBLE_EQ(s.Capture().value().Kg, 9870) << "the empty truck back on the scale: its tare";
}

TEST(ScaleStable, LightLoadsOverloadMotionAndALostPortAreNeverTaken) {
    TScaleStable s = Scale();
    s.Feed(Kg(480), 0);
    s.Feed(Kg(480), 5000);
    EXPECT_EQ(s.State(), TScaleState::Stable);
    EXPECT_FALSE(s.CanCapture()) << "below the minimum weight";

    s.Feed(Overload(), 5100);
    s.Feed(Overload(), 9000);
    EXPECT_EQ(s.State(), TScaleState::Overload);
    EXPECT_FALSE(s.CanCapture());

    // The indicator's own motion flag wins over a steady figure.
    s.Feed(Kg(30000, false), 10000);
    s.Feed(Kg(30000, false), 13000);
    EXPECT_EQ(s.State(), TScaleState::Unstable);
    s.Feed(Kg(30000, true), 13100);
    EXPECT_EQ(s.State(), TScaleState::Unstable) << "the program's own time starts with the indicator's";
    s.Feed(Kg(30000, true), 15100);
    EXPECT_TRUE(s.CanCapture());

    s.Lost();
    EXPECT_EQ(s.State(), TScaleState::Offline);
    EXPECT_FALSE(s.CanCapture());
    s.Feed(Kg(30000), 15200);
    EXPECT_EQ(s.State(), TScaleState::Unstable) << "back again, the time starts afresh";

    s.Feed(Kg(-40), 16000);
    EXPECT_FALSE(s.AboveMinimum()) << "a negative reading is never a load";
}
