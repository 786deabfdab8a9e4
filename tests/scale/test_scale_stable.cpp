#include "scale/uScaleStable.h"

#include <gtest/gtest.h>

namespace {
TScaleReading Kg(double kg, std::optional<bool> indicatorStable = std::nullopt, bool net = false) {
    TScaleReading r;
    r.Kg = kg;
    r.IndicatorStable = indicatorStable;
    r.Net = net;
    return r;
}

TScaleReading Signal(TScaleSignal signal) {
    TScaleReading r;
    r.Signal = signal;
    return r;
}

// Division 10 kg (unless given), minimum 500 kg, two seconds, five readings.
TScaleStable Scale(double division = 10) { return TScaleStable(TScaleRule{division, 500, 2000, 5}); }

// Readings of the same weight every half second from `from` up to and including `to`.
void Hold(TScaleStable& s, const TScaleReading& r, qint64 from, qint64 to) {
    for (qint64 t = from; t <= to; t += 500) s.Feed(r, t);
}
}  // namespace

TEST(ScaleStable, AWeightIsTakenOnlyWhenHeldWithinOneDivisionForTheWholeTimeAndOncePerLoad) {
    const struct {
        const char* what;
        std::vector<std::pair<double, qint64>> readings;
        bool stable;
    } holds[] = {
        {"two readings two seconds apart", {{24560, 0}, {24560, 2000}}, false},
        {"four readings over three seconds", {{24560, 0}, {24560, 1000}, {24560, 2000}, {24560, 3000}}, false},
        {"five readings over two seconds", {{24560, 0}, {24570, 500}, {24560, 1000}, {24570, 1500}, {24560, 2000}}, true},
        {"five readings over 1.9 s", {{24560, 0}, {24560, 500}, {24560, 1000}, {24560, 1500}, {24560, 1900}}, false},
        {"a jump of two divisions starts again",
         {{24560, 0}, {24560, 500}, {24580, 1000}, {24580, 1500}, {24580, 2000}, {24580, 2500}}, false},
    };
    for (const auto& c : holds) {
        TScaleStable s = Scale();
        for (auto [kg, at] : c.readings) s.Feed(Kg(kg), at);
        EXPECT_EQ(s.State() == TScaleState::Stable, c.stable) << c.what;
    }

    // Anything but a steady gross ends the takeable state at its first frame, and the stability
    // time starts again after it.
    const struct {
        TScaleReading reading;
        TScaleState state;
    } breaks[] = {
        {Signal(TScaleSignal::Overload), TScaleState::Overload}, {Signal(TScaleSignal::Underload), TScaleState::Underload},
        {Signal(TScaleSignal::Damaged), TScaleState::Damaged},   {Kg(24560, std::nullopt, true), TScaleState::Net},
        {Kg(24560, false), TScaleState::Unstable},
    };
    for (const auto& c : breaks) {
        const std::string what = ScaleStateText(c.state).toStdString();
        TScaleStable s = Scale();
        Hold(s, Kg(24560), 0, 3000);
        ASSERT_TRUE(s.CanCapture()) << what;
        s.Feed(c.reading, 3100);
        EXPECT_EQ(s.State(), c.state) << what;
        EXPECT_FALSE(s.Capture().has_value()) << what;
        s.Feed(Kg(24560), 3200);
        EXPECT_EQ(s.State(), TScaleState::Unstable) << what << ": the stability time starts again";
    }

    // Taken once, the load must leave the scale before the next take.
    TScaleStable s = Scale();
    Hold(s, Kg(24590), 0, 2000);
    EXPECT_DOUBLE_EQ(s.Capture().value().Kg, 24590);
    Hold(s, Kg(24590), 2500, 9000);
    EXPECT_TRUE(s.WaitingForLoadToLeave());
    EXPECT_FALSE(s.Capture().has_value());
    s.Feed(Kg(120), 10000);
    Hold(s, Kg(9870), 11000, 13000);
    EXPECT_DOUBLE_EQ(s.Capture().value().Kg, 9870) << "the empty truck back on the scale: its tare";

    TScaleStable light = Scale();
    Hold(light, Kg(480), 0, 5000);
    EXPECT_EQ(light.State(), TScaleState::Stable);
    EXPECT_FALSE(light.CanCapture()) << "below the minimum weight";
    Hold(light, Kg(30000), 5500, 8000);
    light.Lost();
    EXPECT_EQ(light.State(), TScaleState::Offline);
    EXPECT_FALSE(light.CanCapture());
}

TEST(ScaleStable, PoundsAreConvertedExactlyAndShownToTheDivision) {
    const struct {
        double division;
        double pounds;
        const char* shown;
    } cases[] = {{10, 54145, "24560"},    {20, 54145, "24560"},    {0.5, 54145, "24560.0"}, {0.5, 11023, "5000.0"},
                 {0.2, 11023, "5000.0"},  {0.1, 11023, "4999.9"},  {0.1, 11023.2, "5000.0"}, {50, 11023, "5000"}};
    for (const auto& c : cases) {
        TScaleStable s = Scale(c.division);
        TScaleReading lb = Kg(c.pounds * 0.45359237);
        lb.Pounds = true;
        Hold(s, lb, 0, 2000);
        const std::optional<TScaleReading> taken = s.Capture();
        ASSERT_TRUE(taken.has_value()) << c.pounds;
        EXPECT_EQ(taken->Text(), c.shown) << c.pounds << " lb, division " << c.division;
    }
}
