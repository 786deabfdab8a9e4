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

enum class TScanState { NeedMore, Bad, Good };

struct TScan {
    TScanState State = TScanState::NeedMore;
    qsizetype Length = 0;
    TScaleReading Reading;
};

TScan NeedMore() { return {}; }
TScan Bad() { return {TScanState::Bad, 0, {}}; }
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

TScan ScanF3(QByteArrayView b) {
    if (b.size() < 15) return NeedMore();
    if ((b[1] != 'G' && b[1] != 'N') || b[9] != 'k' || b[10] != 'g' || b[13] != kCr || b[14] != kLf) return Bad();
    if (HexByte(b[11], b[12]) != Xor(b.first(11))) return Bad();
    const QByteArrayView display = b.sliced(2, 7);
    if (display.trimmed() == "OL") {
        TScaleReading r;
        r.Overload = true;
        return Good(15, r);
    }
    const std::optional<TScaleReading> r = DisplayReading(display);
    return r ? Good(15, *r) : Bad();
}

// Status A bits 0-2 place the point: 0 and 1 for weights counted in hundreds and tens,
// 2 for whole kilograms, 3 to 7 for one to five decimals. Status B: bit 1 negative,
// bit 2 out of range, bit 3 in motion.
TScaleReading ToledoReading(char statusA, char statusB, qint64 value) {
    const int code = statusA & 0x07;
    TScaleReading r;
    r.Decimals = std::max(0, code - 2);
    r.Kg = code < 2 ? double(value) * (code == 0 ? 100 : 10) : double(value) / std::pow(10.0, r.Decimals);
    if (statusB & 0x02) r.Kg = -r.Kg;
    r.Overload = (statusB & 0x04) != 0;
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
    const TScaleReading r = ToledoReading(b[1], b[2], *weight);
    if (b[17] == checksum) return Good(18, r);
    if (b[17] == kStx) return Good(17, r);
    return Bad();
}

char StartByte(TScaleFormat format) {
    switch (format) {
    case TScaleFormat::F2: return '=';
    case TScaleFormat::F3: return 'W';
    default: return kStx;
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

// "ST,GS,+0024560 kg": stable, unstable or overloaded; gross or net; the weight in kilograms.
std::optional<TScaleReading> TextLineReading(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 3) return std::nullopt;
    const QByteArray state = fields[0].trimmed();
    if (state != "ST" && state != "US" && state != "OL") return std::nullopt;
    QByteArray weight = fields[2].trimmed();
    if (!weight.toLower().endsWith("kg")) return std::nullopt;
    weight.chop(2);
    if (state == "OL") {
        TScaleReading over;
        over.Overload = true;
        return over;
    }
    std::optional<TScaleReading> r = DisplayReading(weight);
    if (r) r->IndicatorStable = state == "ST";
    return r;
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

void TScaleFrameReader::ReadFrames(std::vector<TScaleReading>& out) {
    const char start = StartByte(format_);
    for (;;) {
        const qsizetype at = pending_.indexOf(start);
        if (at < 0) {
            pending_.clear();
            return;
        }
        pending_.remove(0, at);
        const TScan scan = Scan(format_, pending_);
        if (scan.State == TScanState::NeedMore) return;
        if (scan.State == TScanState::Bad) {
            ++dropped_;
            pending_.remove(0, 1);
            continue;
        }
        out.push_back(scan.Reading);
        pending_.remove(0, scan.Length);
    }
}

void TScaleFrameReader::ReadLines(std::vector<TScaleReading>& out) {
    for (;;) {
        const qsizetype end = pending_.indexOf(kLf);
        if (end < 0) {
            if (pending_.size() > kLongestLine) {
                ++dropped_;
                pending_.clear();
            }
            return;
        }
        const QByteArray line = pending_.left(end).trimmed();
        pending_.remove(0, end + 1);
        if (line.isEmpty()) continue;
        if (const std::optional<TScaleReading> r = TextLineReading(line))
            out.push_back(*r);
        else
            ++dropped_;
    }
}
