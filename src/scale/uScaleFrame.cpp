#include "scale/uScaleFrame.h"

#include "data/uValue.h"

#include <array>
#include <cmath>

namespace {
constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kCr = '\r';
constexpr char kLf = '\n';
// A text line longer than this without its line end is noise, not a reading.
constexpr qsizetype kLongestLine = 64;
// The international pound, exactly.
constexpr double kKgPerPound = 0.45359237;

struct TFormatName {
    TScaleFormat format;
    const char* name;
    const char* caption;
};
const std::array<TFormatName, 5> kFormats{{
    {TScaleFormat::F1, "F1", "F1  XK3190-A9 连续发送(tF=0)"},
    {TScaleFormat::F2, "F2", "F2  “=”倒序格式"},
    {TScaleFormat::F3, "F3", "F3  XK3190-A12 格式"},
    {TScaleFormat::F4, "F4", "F4  托利多连续输出"},
    {TScaleFormat::F5, "F5", "F5  文本 ST,GS,+0024560 kg"},
}};

// Noise: a byte that only looked like the start of a frame, skipped without counting a frame lost.
enum class TScanState { NeedMore, Noise, Bad, Good };

struct TScan {
    TScanState State = TScanState::NeedMore;
    qsizetype Length = 0;
    TScaleReading Reading;
};

TScan NeedMore() { return {}; }
TScan Noise() { return {TScanState::Noise, 0, {}}; }
TScan Bad() { return {TScanState::Bad, 0, {}}; }

TScaleReading Signal(TScaleSignal signal) {
    TScaleReading r;
    r.Signal = signal;
    return r;
}
TScan Good(qsizetype length, const TScaleReading& reading) { return {TScanState::Good, length, reading}; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two ASCII hex characters, high nibble first.
int HexByte(char high, char low) {
    const int h = HexDigit(high), l = HexDigit(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

int Xor(QByteArrayView bytes) {
    int x = 0;
    for (char c : bytes) x ^= quint8(c);
    return x;
}

// A weight as a display shows it: an optional sign, blanks, digits and at most one point.
std::optional<TScaleReading> DisplayReading(QByteArrayView text) {
    QByteArray shown;
    bool negative = false;
    int points = 0, digits = 0, decimals = 0;
    for (char c : text) {
        if (c == ' ') continue;
        if ((c == '-' || c == '+') && shown.isEmpty() && !negative) {
            negative = c == '-';
            continue;
        }
        if (c == '.') {
            if (++points > 1) return std::nullopt;
        } else if (c >= '0' && c <= '9') {
            ++digits;
            if (points > 0) ++decimals;
        } else {
            return std::nullopt;
        }
        shown += c;
    }
    if (digits == 0) return std::nullopt;
    TScaleReading r;
    r.Kg = shown.toDouble() * (negative ? -1 : 1);
    r.Decimals = decimals;
    return r;
}

// Six digits of a Toledo weight; leading zeros may come as blanks.
std::optional<qint64> ToledoDigits(QByteArrayView six) {
    qint64 value = 0;
    for (char c : six) {
        if (c == ' ') c = '0';
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

TScan ScanF1(QByteArrayView b) {
    if (b.size() < 12) return NeedMore();
    const char sign = b[1], decimals = b[8];
    if ((sign != '+' && sign != '-') || decimals < '0' || decimals > '4' || b[11] != kEtx) return Bad();
    if (HexByte(b[9], b[10]) != Xor(b.sliced(1, 8))) return Bad();
    qint64 value = 0;
    for (char c : b.sliced(2, 6)) {
        if (c < '0' || c > '9') return Bad();
        value = value * 10 + (c - '0');
    }
    TScaleReading r;
    r.Decimals = decimals - '0';
    r.Kg = double(value) / std::pow(10.0, r.Decimals) * (sign == '-' ? -1 : 1);
    return Good(12, r);
}

// The display is sent least significant character first: "=06542000" is 24560, "=000.3000" is 3.000.
TScan ScanF2(QByteArrayView b) {
    if (b.size() < 9) return NeedMore();
    const char sign = b[8];
    if (sign != '0' && sign != '-') return Bad();
    QByteArray display = b.sliced(1, 7).toByteArray();
    std::reverse(display.begin(), display.end());
    if (display.contains('-') || display.contains('+')) return Bad();
    std::optional<TScaleReading> r = DisplayReading(display);
    if (!r) return Bad();
    if (sign == '-') r->Kg = -r->Kg;
    return Good(9, *r);
}

// Beyond its range the A12 sends no weight at all: nine blanks, "OL" above the capacity or
// "LO" below -20 divisions, then the checksum of those eleven bytes and CR LF.
TScan ScanF3Range(QByteArrayView b) {
    for (qsizetype i = 0; i < std::min<qsizetype>(b.size(), 10); ++i)
        if ((b[i] == ' ') != (i < 9)) return Noise();
    if (b.size() < 15) return NeedMore();
    const QByteArrayView code = b.sliced(9, 2);
    if ((code != "OL" && code != "LO") || b[13] != kCr || b[14] != kLf) return Bad();
    if (HexByte(b[11], b[12]) != Xor(b.first(11))) return Bad();
    return Good(15, Signal(code == "OL" ? TScaleSignal::Overload : TScaleSignal::Underload));
}

TScan ScanF3(QByteArrayView b) {
    if (!b.isEmpty() && b[0] == ' ') return ScanF3Range(b);
    if (b.size() < 15) return NeedMore();
    const QByteArrayView unit = b.sliced(9, 2);
    if ((b[1] != 'G' && b[1] != 'N') || (unit != "kg" && unit != "lb") || b[13] != kCr || b[14] != kLf) return Bad();
    if (HexByte(b[11], b[12]) != Xor(b.first(11))) return Bad();
    const QByteArrayView display = b.sliced(2, 7);
    if (display.trimmed() == "OL") return Good(15, Signal(TScaleSignal::Overload));
    std::optional<TScaleReading> r = DisplayReading(display);
    if (!r) return Bad();
    r->Net = b[1] == 'N';
    r->Pounds = unit == "lb";
    if (r->Pounds) r->Kg *= kKgPerPound;
    return Good(15, *r);
}

// Status A bits 0-2 place the point: 0 and 1 for weights counted in hundreds and tens,
// 2 for whole units, 3 to 7 for one to five decimals. Status B: bit 0 net, bit 1 negative,
// bit 2 out of range (over the capacity, or under zero when negative), bit 3 in motion, bit 4
// kilograms rather than pounds. Status C bits 0-2 name another unit (grams, tonnes, ounces…)
// in place of B's, which is not read as a weight.
TScaleReading ToledoReading(char statusA, char statusB, char statusC, qint64 value) {
    const bool negative = (statusB & 0x02) != 0;
    if (statusB & 0x04) return Signal(negative ? TScaleSignal::Underload : TScaleSignal::Overload);
    if (statusC & 0x07) return Signal(TScaleSignal::Damaged);
    const int code = statusA & 0x07;
    TScaleReading r;
    r.Decimals = std::max(0, code - 2);
    r.Kg = code < 2 ? double(value) * (code == 0 ? 100 : 10) : double(value) / std::pow(10.0, r.Decimals);
    if (negative) r.Kg = -r.Kg;
    r.Net = (statusB & 0x01) != 0;
    r.Pounds = (statusB & 0x10) == 0;
    if (r.Pounds) r.Kg *= kKgPerPound;
    r.IndicatorStable = (statusB & 0x08) == 0;
    return r;
}

// The checksum byte is optional: what follows the CR tells whether this indicator sends one,
// so a frame is read once the next byte has come.
TScan ScanF4(QByteArrayView b) {
    if (b.size() < 17) return NeedMore();
    if (b[16] != kCr) return Bad();
    const std::optional<qint64> weight = ToledoDigits(b.sliced(4, 6));
    if (!weight || !ToledoDigits(b.sliced(10, 6))) return Bad();
    if (b.size() < 18) return NeedMore();
    int sum = 0;
    for (char c : b.first(17)) sum += quint8(c);
    const char checksum = char(-sum & 0x7F);
    const TScaleReading r = ToledoReading(b[1], b[2], b[3], *weight);
    if (b[17] == checksum) return Good(18, r);
    if (b[17] == kStx) return Good(17, r);
    return Bad();
}

qsizetype FrameStart(TScaleFormat format, const QByteArray& b) {
    switch (format) {
    case TScaleFormat::F2: return b.indexOf('=');
    case TScaleFormat::F3: {
        const qsizetype w = b.indexOf('W'), blank = b.indexOf(' ');
        return w < 0 ? blank : blank < 0 ? w : std::min(w, blank);
    }
    default: return b.indexOf(kStx);
    }
}

TScan Scan(TScaleFormat format, QByteArrayView b) {
    switch (format) {
    case TScaleFormat::F1: return ScanF1(b);
    case TScaleFormat::F2: return ScanF2(b);
    case TScaleFormat::F3: return ScanF3(b);
    case TScaleFormat::F4: return ScanF4(b);
    case TScaleFormat::F5: break;
    }
    return Bad();
}

const std::array<QByteArrayView, 4> kLineStates{"ST,", "US,", "OL,", "UL,"};

// "ST,GS,+0024560 kg": stable, unstable, over or under the range; gross or net; the weight in
// kilograms or pounds.
std::optional<TScaleReading> TextLineReading(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 3) return std::nullopt;
    const QByteArray state = fields[0].trimmed(), kind = fields[1].trimmed();
    if (state != "ST" && state != "US" && state != "OL" && state != "UL") return std::nullopt;
    if (kind != "GS" && kind != "NT") return std::nullopt;
    QByteArray weight = fields[2].trimmed().toLower();
    const bool pounds = weight.endsWith("lb");
    if (!pounds && !weight.endsWith("kg")) return std::nullopt;
    weight.chop(2);
    if (state == "OL") return Signal(TScaleSignal::Overload);
    if (state == "UL") return Signal(TScaleSignal::Underload);
    std::optional<TScaleReading> r = DisplayReading(weight);
    if (!r) return std::nullopt;
    r->IndicatorStable = state == "ST";
    r->Net = kind == "NT";
    r->Pounds = pounds;
    if (pounds) r->Kg *= kKgPerPound;
    return r;
}

// Where the last reading inside a line that lost its line end begins, or -1.
qsizetype LastLineStart(const QByteArray& line) {
    qsizetype at = -1;
    for (QByteArrayView state : kLineStates) at = std::max(at, line.lastIndexOf(state));
    return at;
}
}  // namespace

QStringList ScaleFormatNames() {
    QStringList names;
    for (const TFormatName& f : kFormats) names << QString::fromUtf8(f.caption);
    return names;
}

QString ScaleFormatName(TScaleFormat format) {
    for (const TFormatName& f : kFormats)
        if (f.format == format) return QString::fromUtf8(f.name);
    return {};
}

std::optional<TScaleFormat> ScaleFormatFromName(const QString& name) {
    const QString code = name.trimmed().left(2).toUpper();
    for (const TFormatName& f : kFormats)
        if (code == QLatin1String(f.name)) return f.format;
    return std::nullopt;
}

QString TScaleReading::Text() const { return FmtFixed(Kg, Decimals); }

std::vector<TScaleReading> TScaleFrameReader::Feed(QByteArrayView chunk) {
    // Every byte of every format is ASCII. An indicator set to seven data bits with parity,
    // read as eight, shows its parity in the top bit, which is cleared here.
    for (char c : chunk) pending_ += char(c & 0x7F);
    std::vector<TScaleReading> out;
    if (format_ == TScaleFormat::F5)
        ReadLines(out);
    else
        ReadFrames(out);
    return out;
}

// Bytes that never begin a frame (a wrong baud rate, a wrong format) are refused data, not
// silence: every so many of them count as one damaged frame.
void TScaleFrameReader::SkipJunk(qsizetype bytes, std::vector<TScaleReading>& out) {
    junk_ += bytes;
    if (junk_ < kLongestLine) return;
    junk_ = 0;
    Drop(out);
}

void TScaleFrameReader::ReadFrames(std::vector<TScaleReading>& out) {
    for (;;) {
        const qsizetype at = FrameStart(format_, pending_);
        if (at < 0) {
            SkipJunk(pending_.size(), out);
            pending_.clear();
            return;
        }
        SkipJunk(at, out);
        pending_.remove(0, at);
        const TScan scan = Scan(format_, pending_);
        if (scan.State == TScanState::NeedMore) return;
        if (scan.State != TScanState::Good) {
            if (scan.State == TScanState::Bad) Drop(out);
            else SkipJunk(1, out);
            pending_.remove(0, 1);
            continue;
        }
        junk_ = 0;
        out.push_back(scan.Reading);
        pending_.remove(0, scan.Length);
    }
}

void TScaleFrameReader::Drop(std::vector<TScaleReading>& out) {
    junk_ = 0;
    ++dropped_;
    out.push_back(Signal(TScaleSignal::Damaged));
}

// A line ends at CR, LF or both; an empty line between CR and LF is no line. A line that lost
// its end runs into the next one: the next one is still read from where its state begins.
void TScaleFrameReader::ReadLines(std::vector<TScaleReading>& out) {
    for (;;) {
        const qsizetype lf = pending_.indexOf(kLf), cr = pending_.indexOf(kCr);
        const qsizetype end = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
        if (end < 0) {
            if (pending_.size() > kLongestLine) {
                Drop(out);
                pending_.clear();
            }
            return;
        }
        const QByteArray line = pending_.left(end).trimmed();
        pending_.remove(0, end + 1);
        if (line.isEmpty()) continue;
        if (const std::optional<TScaleReading> r = TextLineReading(line)) {
            out.push_back(*r);
            continue;
        }
        Drop(out);
        const qsizetype tail = LastLineStart(line);
        if (tail > 0)
            if (const std::optional<TScaleReading> r = TextLineReading(line.mid(tail))) out.push_back(*r);
    }
}
