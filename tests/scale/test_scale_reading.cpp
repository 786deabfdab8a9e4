#include "FakeIndicator.h"

#include "scale/uScaleFrame.h"
#include "scale/uScaleStable.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {
QByteArray F3(char kind, const char* display, const char* unit = "kg") { return WithXor("W" + QByteArray(1, kind) + display + unit) + "\r\n"; }
// A12 beyond its range: nine blanks, "OL" or "LO", their checksum, CR LF.
QByteArray F3Range(const char* code) { return WithXor(QByteArray(9, ' ') + code) + "\r\n"; }

// "24560", "-125.0 动", "超载", "24559.759 磅 稳 净": the weight as displayed (pounds converted,
// to the gram), what else the frame says, and the indicator's own flag.
QString Describe(const TScaleReading& r) {
    if (r.Signal != TScaleSignal::Weight)
        return r.Signal == TScaleSignal::Overload ? "超载" : r.Signal == TScaleSignal::Underload ? "欠载" : "数据错误";
    QString s = r.Pounds ? QString::number(r.Kg, 'f', 3) + QStringLiteral(" 磅") : r.Text();
    if (r.IndicatorStable) s += *r.IndicatorStable ? QStringLiteral(" 稳") : QStringLiteral(" 动");
    if (r.Net) s += QStringLiteral(" 净");
    return s;
}

QStringList ReadInChunks(TScaleFormat format, const QByteArray& stream, const QList<qsizetype>& cuts, int* dropped = nullptr) {
    TScaleFrameReader reader(format);
    QStringList all;
    qsizetype from = 0;
    for (qsizetype cut : cuts + QList<qsizetype>{stream.size()}) {
        for (const TScaleReading& r : reader.Feed(QByteArrayView(stream).sliced(from, cut - from))) all << Describe(r);
        from = cut;
    }
    if (dropped) *dropped = reader.Dropped();
    return all;
}

struct TFormatCase {
    TScaleFormat format;
    QByteArray stream;     // a few good frames back to back
    QStringList expected;  // what they read as
    QByteArray broken;     // one frame with a bad checksum or garbled content
    QByteArray halfFrame;  // the front of a frame cut off by the start of reading
};

std::vector<TFormatCase> Cases() {
    const auto flipped = [](QByteArray frame, int at) { return frame.replace(at, 1, frame[at] == '0' ? "1" : "0"); };
    const QByteArray badF1 = flipped(A9Frame("024560"), 10), badF3 = flipped(F3('G', "0024560"), 12);
    QByteArray badF4 = ToledoFrame(0x30, "024560");
    badF4[17] = char((badF4[17] + 1) & 0x7F);
    return {
        {TScaleFormat::F1,
         A9Frame("024560") + A9Frame("001250", '-', '1') + A9Frame("003000", '+', '3'),
         {"24560", "-125.0", "3.000"},
         badF1, A9Frame("024560").left(5)},
        // Least significant character first; the point travels with its digits.
        {TScaleFormat::F2,
         "=06542000" "=000.3000" "=0521000-",
         {"24560", "3.000", "-1250"},
         "=06A42000", "=065"},
        {TScaleFormat::F3,
         F3('G', "0024560") + F3('N', "-001250") + F3('G', "024.560") + F3('G', "  OL   ") + F3Range("OL") +
             F3Range("LO") + F3('G', " 24560 ") + F3('G', "0054145", "lb") + F3('N', "0054145", "lb"),
         {"24560", "-1250 净", "24.560", "超载", "超载", "欠载", "24560", "24559.759 磅", "24559.759 磅 净"},
         badF3, F3('G', "0024560").left(8)},
        {TScaleFormat::F4,
         ToledoFrame(0x30, "024560") + ToledoFrame(0x3A, "001250", 0x22, false) + ToledoFrame(0x30, "012345", 0x23) +
             ToledoFrame(0x34, "999999") + ToledoFrame(0x36, "000100") + ToledoFrame(0x31, "024560") +
             ToledoFrame(0x21, "054145", 0x22, false) + ToledoFrame(0x20, "054145"),
         {"24560 稳", "-1250 动", "1234.5 稳", "超载", "欠载", "24560 稳 净", "24559.759 磅 稳 净",
          "24559.759 磅 稳"},
         badF4, ToledoFrame(0x30, "024560").left(9)},
        {TScaleFormat::F5,
         "ST,GS,+0024560 kg\r\nUS,GS,+0024570 kg\r\nST,NT,-0001250 kg\r\nOL,GS,+9999999 kg\r\nST,GS,+003.000 kg\r\n"
         "UL,GS,-0000100 kg\r\nST,GS,+0054145 lb\r\nST,NT,+0054145 lb\r\n",
         {"24560 稳", "24570 动", "-1250 稳 净", "超载", "3.000 稳", "欠载", "24559.759 磅 稳", "24559.759 磅 稳 净"},
         "ST,GS,+00X4560 kg\r\n", "0024560 kg\r\n"},
    };
}

TScaleReading Kg(double kg, TScaleSignal signal = TScaleSignal::Weight) { return {.Signal = signal, .Kg = kg}; }

// Division 10 kg (unless given), minimum 500 kg, two seconds, five readings.
TScaleStable Scale(double division = 10) { return TScaleStable(TScaleRule{division, 500, 2000, 5}); }

// Readings of the same weight every half second from `from` up to and including `to`.
void Hold(TScaleStable& s, const TScaleReading& r, qint64 from, qint64 to) {
    for (qint64 t = from; t <= to; t += 500) s.Feed(r, t);
}
}  // namespace

TEST(ScaleFrame, EveryFormatReadsWholeSplitAndNoisyStreamsAlike) {
    // The XK3190 manual's example frame; this family says nothing about stability.
    EXPECT_EQ(A9Frame("024560"), QByteArray::fromHex("022B30323435363030314503"));
    EXPECT_EQ(ReadInChunks(TScaleFormat::F1, QByteArray::fromHex("022B30323435363030314503"), {}), QStringList{"24560"});

    for (const TFormatCase& c : Cases()) {
        const std::string name = ScaleFormatName(c.format).toStdString();
        int dropped = -1;
        EXPECT_EQ(ReadInChunks(c.format, c.stream, {}, &dropped), c.expected) << name;
        EXPECT_EQ(dropped, 0) << name;

        QList<qsizetype> everyByte;
        for (qsizetype i = 1; i < c.stream.size(); ++i) {
            EXPECT_EQ(ReadInChunks(c.format, c.stream, {i}), c.expected) << name << " split at " << i;
            everyByte << i;
        }
        EXPECT_EQ(ReadInChunks(c.format, c.stream, everyByte), c.expected) << name << " byte by byte";

        // Line noise and the tail of a frame before the first whole one; parity bits on top. What
        // began as a frame and broke is reported in its place, so that nothing stale outlives it.
        const QStringList afterDamage = QStringList{"数据错误"} + c.expected;
        QByteArray noisy = QByteArray("\x11\xFF junk ") + c.halfFrame + c.stream;
        EXPECT_EQ(ReadInChunks(c.format, noisy, {3}, &dropped), afterDamage) << name;
        EXPECT_EQ(dropped, 1) << name << ": the broken front counts as one dropped frame";
        QByteArray withParity = c.stream;
        for (char& b : withParity) b = char(b | 0x80);
        EXPECT_EQ(ReadInChunks(c.format, withParity, {}), c.expected) << name;

        // A frame with a bad checksum or garbled figures is dropped and counted; the next one is read.
        EXPECT_EQ(ReadInChunks(c.format, c.broken + c.stream, {}, &dropped), afterDamage) << name;
        EXPECT_EQ(dropped, 1) << name;

        // Bytes that never make a frame, as from a wrong baud rate, are damaged data, not silence.
        const QByteArray garbage = QByteArray("\x11\x7F\x55\x01").repeated(40);
        const QStringList afterGarbage = ReadInChunks(c.format, garbage + c.stream, {7, 100});
        EXPECT_EQ(afterGarbage.value(0), "数据错误") << name;
        EXPECT_EQ(afterGarbage.mid(afterGarbage.size() - c.expected.size()), c.expected) << name;
    }

    // Text lines end in CR LF or either alone, and a lost line end loses only its own line.
    const struct { QByteArray stream; QStringList expected; } lines[] = {
        {"ST,GS,+0024560 kg\rST,GS,+0024570 kg\r", {"24560 稳", "24570 稳"}},
        {"ST,GS,+0024560 kg\nST,GS,+0024570 kg\n", {"24560 稳", "24570 稳"}},
        {"ST,GS,+0024560 kg\rST,GS,+0024570 kg\r\n", {"24560 稳", "24570 稳"}},  // a line feed lost
        {"ST,GS,+0024560 kgST,GS,+0024570 kg\r\nST,GS,+0024580 kg\r\n", {"数据错误", "24570 稳", "24580 稳"}},
        {"ST,GS,+0024US,GS,+0024570 kg\n", {"数据错误", "24570 动"}},
        {"ST,GS,+0024560 g\r\nST,XX,+0024560 kg\r\n", {"数据错误", "数据错误"}},
    };
    for (const auto& c : lines)
        for (const QList<qsizetype>& cuts : {QList<qsizetype>{}, QList<qsizetype>{5, 20}})
            EXPECT_EQ(ReadInChunks(TScaleFormat::F5, c.stream, cuts), c.expected) << c.stream.toStdString();
}

TEST(ScaleStable, AWeightIsTakenOnlyWhenHeldWithinOneDivisionForTheWholeTimeOncePerLoadAndToTheDivision) {
    const struct { const char* what; std::vector<std::pair<double, qint64>> readings; bool stable; } holds[] = {
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

    // A frame that is no steady gross starts the stability time again.
    TScaleStable s = Scale();
    Hold(s, Kg(24560), 0, 3000);
    ASSERT_TRUE(s.CanCapture());
    s.Feed(Kg(0, TScaleSignal::Overload), 3100);
    EXPECT_FALSE(s.Capture().has_value());
    s.Feed(Kg(24560), 3200);
    EXPECT_EQ(s.State(), TScaleState::Unstable);

    // Taken once, the load must leave the scale before the next take.
    s = Scale();
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

    // Pounds are converted exactly and shown to the division.
    const struct { double division, pounds; const char* shown; } pounds[] = {{10, 54145, "24560"},    {20, 54145, "24560"},    {0.5, 54145, "24560.0"}, {0.5, 11023, "5000.0"},
                 {0.2, 11023, "5000.0"},  {0.1, 11023, "4999.9"},  {0.1, 11023.2, "5000.0"}, {50, 11023, "5000"}};
    for (const auto& c : pounds) {
        TScaleStable scale = Scale(c.division);
        Hold(scale, {.Kg = c.pounds * 0.45359237, .Pounds = true}, 0, 2000);
        const std::optional<TScaleReading> taken = scale.Capture();
        ASSERT_TRUE(taken.has_value()) << c.pounds;
        EXPECT_EQ(taken->Text(), c.shown) << c.pounds << " lb, division " << c.division;
    }
}
