#include "scale/uScaleFrame.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {
QByteArray Hex2(int v) { return QByteArray::number(v, 16).rightJustified(2, '0').toUpper(); }

int XorOf(const QByteArray& bytes) {
    int x = 0;
    for (char c : bytes) x ^= quint8(c);
    return x;
}

QByteArray F1(char sign, const char* digits, char decimals) {
    const QByteArray body = QByteArray(1, sign) + digits + decimals;
    return "\x02" + body + Hex2(XorOf(body)) + "\x03";
}

QByteArray F3(char kind, const char* display, const char* unit = "kg") {
    const QByteArray body = QByteArray("W") + kind + display + unit;
    return body + Hex2(XorOf(body)) + "\r\n";
}

QByteArray F4(char statusA, char statusB, const char* weight, bool checksum) {
    QByteArray frame = QByteArray("\x02") + statusA + statusB + char(0x20) + weight + "000000\r";
    if (checksum) {
        int sum = 0;
        for (char c : frame) sum += quint8(c);
        frame += char(-sum & 0x7F);
    }
    return frame;
}

// A12 beyond its range: nine blanks, "OL" or "LO", their checksum, CR LF.
QByteArray F3Range(const char* code) {
    const QByteArray body = QByteArray(9, ' ') + code;
    return body + Hex2(XorOf(body)) + "\r\n";
}

// "24560", "-125.0 动", "超载", "24559.759 磅 稳 净": the weight as displayed (pounds converted,
// to the gram), what else the frame says, and the indicator's own flag.
QString Describe(const TScaleReading& r) {
    switch (r.Signal) {
    case TScaleSignal::Overload: return QStringLiteral("超载");
    case TScaleSignal::Underload: return QStringLiteral("欠载");
    case TScaleSignal::Damaged: return QStringLiteral("数据错误");
    case TScaleSignal::Weight: break;
    }
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
    QByteArray badF1 = F1('+', "024560", '0');
    badF1[10] = badF1[10] == '0' ? '1' : '0';
    QByteArray badF3 = F3('G', "0024560");
    badF3[12] = badF3[12] == '0' ? '1' : '0';
    QByteArray badF4 = F4(0x22, 0x30, "024560", true);
    badF4[17] = char((badF4[17] + 1) & 0x7F);
    return {
        {TScaleFormat::F1,
         F1('+', "024560", '0') + F1('-', "001250", '1') + F1('+', "003000", '3'),
         {"24560", "-125.0", "3.000"},
         badF1,
         F1('+', "024560", '0').left(5)},
        // Least significant character first; the point travels with its digits.
        {TScaleFormat::F2,
         "=06542000" "=000.3000" "=0521000-",
         {"24560", "3.000", "-1250"},
         "=06A42000",
         "=065"},
        {TScaleFormat::F3,
         F3('G', "0024560") + F3('N', "-001250") + F3('G', "024.560") + F3('G', "  OL   ") + F3Range("OL") +
             F3Range("LO") + F3('G', " 24560 ") + F3('G', "0054145", "lb") + F3('N', "0054145", "lb"),
         {"24560", "-1250 净", "24.560", "超载", "超载", "欠载", "24560", "24559.759 磅", "24559.759 磅 净"},
         badF3,
         F3('G', "0024560").left(8)},
        // Status A 0x22: whole units, 0x23: one decimal. Status B bit 0 net, 1 negative, 2 out of
        // range, 3 in motion, 4 kilograms (else pounds). The checksum is sent by some indicators
        // and not by others.
        {TScaleFormat::F4,
         F4(0x22, 0x30, "024560", true) + F4(0x22, 0x3A, "001250", false) + F4(0x23, 0x30, "012345", true) +
             F4(0x22, 0x34, "999999", true) + F4(0x22, 0x36, "000100", true) + F4(0x22, 0x31, "024560", true) +
             F4(0x22, 0x21, "054145", false) + F4(0x22, 0x20, "054145", true),
         {"24560 稳", "-1250 动", "1234.5 稳", "超载", "欠载", "24560 稳 净", "24559.759 磅 稳 净",
          "24559.759 磅 稳"},
         badF4,
         F4(0x22, 0x30, "024560", true).left(9)},
        {TScaleFormat::F5,
         "ST,GS,+0024560 kg\r\nUS,GS,+0024570 kg\r\nST,NT,-0001250 kg\r\nOL,GS,+9999999 kg\r\nST,GS,+003.000 kg\r\n"
         "UL,GS,-0000100 kg\r\nST,GS,+0054145 lb\r\nST,NT,+0054145 lb\r\n",
         {"24560 稳", "24570 动", "-1250 稳 净", "超载", "3.000 稳", "欠载", "24559.759 磅 稳", "24559.759 磅 稳 净"},
         "ST,GS,+00X4560 kg\r\n",
         "0024560 kg\r\n"},
    };
}
}  // namespace

TEST(ScaleFrame, EveryFormatReadsWholeSplitAndNoisyStreamsAlike) {
    // The XK3190 manual's example frame; this family says nothing about stability.
    EXPECT_EQ(F1('+', "024560", '0'), QByteArray::fromHex("022B30323435363030314503"));
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
    const struct {
        QByteArray stream;
        QStringList expected;
    } lines[] = {
        {"ST,GS,+0024560 kg\rST,GS,+0024570 kg\r", {"24560 稳", "24570 稳"}},
        {"ST,GS,+0024560 kg\nST,GS,+0024570 kg\n", {"24560 稳", "24570 稳"}},
        {"ST,GS,+0024560 kg\rST,GS,+0024570 kg\r\n", {"24560 稳", "24570 稳"}},  // a line feed lost
        {"ST,GS,+0024560 kgST,GS,+0024570 kg\r\nST,GS,+0024580 kg\r\n", {"数据错误", "24570 稳", "24580 稳"}},
        {"ST,GS,+0024US,GS,+0024570 kg\n", {"数据错误", "24570 动"}},
        {"ST,GS,+0024560 g\r\nST,XX,+0024560 kg\r\n", {"数据错误", "数据错误"}},
    };
    for (const auto& c : lines) {
        EXPECT_EQ(ReadInChunks(TScaleFormat::F5, c.stream, {}), c.expected) << c.stream.toStdString();
        EXPECT_EQ(ReadInChunks(TScaleFormat::F5, c.stream, {5, 20}), c.expected) << c.stream.toStdString();
    }
}
