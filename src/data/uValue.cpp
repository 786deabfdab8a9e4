#include "data/uValue.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

#include <QLocale>
#include <cmath>
#include <cstring>

namespace {
const char* const kDbTimeFormat = "yyyy-MM-dd HH:mm:ss";

// Round half away from zero at the given number of decimals, as a display format does.
double RoundTo(double x, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double r = std::round(std::fabs(x) * scale + 1e-9) / scale;  // absorb binary noise of x.xx5
    return x < 0 ? -r : r;
}

// Currency holds whole ten-thousandths of a yuan in 64 bits; an amount beyond that must be
// refused, not wrapped round into a large negative fee.
qint64 ToMoneyUnits(double yuan) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63 ten-thousandths
    const double units = std::round(yuan * 10000.0);
    if (!(units >= -kLimit && units < kLimit))
        throw TDbError(QStringLiteral("金额超出可保存的范围：") + QString::number(yuan, 'g', 17));
    return qint64(units);
}
}  // namespace

namespace {
constexpr qint64 kMsPerDay = 86400000;

qint64 PackTime(const QDate& d, const QTime& t) { return d.toJulianDay() * kMsPerDay + t.msecsSinceStartOfDay(); }

QDateTime UnpackTime(qint64 packed) {
    return QDateTime(QDate::fromJulianDay(packed / kMsPerDay), QTime::fromMSecsSinceStartOfDay(int(packed % kMsPerDay)));
}

// Reads "yyyy-MM-dd HH:mm:ss" digit by digit: a format-string parser per grid cell would cost
// more than reading the row itself.
bool ParseDbTime(const char* s, int length, QDate* date, QTime* time) {
    if (length != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':') return false;
    int field[6];
    const int at[6] = {0, 5, 8, 11, 14, 17};
    const int width[6] = {4, 2, 2, 2, 2, 2};
    for (int f = 0; f < 6; ++f) {
        int n = 0;
        for (int i = at[f]; i < at[f] + width[f]; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            n = n * 10 + (s[i] - '0');
        }
        field[f] = n;
    }
    *date = QDate(field[0], field[1], field[2]);
    *time = QTime(field[3], field[4], field[5]);
    return date->isValid() && time->isValid();
}
}  // namespace

TValue::TValue(const QDateTime& t) {
    if (t.isValid()) {
        kind_ = TValueKind::DateTime;
        int_ = PackTime(t.date(), t.time());
    }
}

TValue TValue::FromDbTime(const char* text, int length) {
    QDate date;
    QTime time;
    if (ParseDbTime(text, length, &date, &time)) {
        TValue v;
        v.kind_ = TValueKind::DateTime;
        v.int_ = PackTime(date, time);
        return v;
    }
    const QDateTime t = DbTimeFromText(QString::fromUtf8(text, length));
    return t.isValid() ? TValue(t) : TValue(QString::fromUtf8(text, length));
}

TValue TValue::Money(double yuan) {
    return MoneyUnits(ToMoneyUnits(yuan));
}

void TValue::Pack(std::string& out) const {
    out.push_back(char(kind_));
    switch (kind_) {
    case TValueKind::Null: return;
    case TValueKind::Text: {
        out.pop_back();
        const QByteArray utf8 = text_.toUtf8();
        PackText(utf8.constData(), int(utf8.size()), out);
        return;
    }
    default: out.append(reinterpret_cast<const char*>(&int_), sizeof int_);
    }
}

void TValue::PackText(const char* utf8, int length, std::string& out) {
    out.push_back(char(TValueKind::Text));
    const qint32 bytes = length;
    out.append(reinterpret_cast<const char*>(&bytes), sizeof bytes);
    out.append(utf8, size_t(length));
}

TValue TValue::Unpack(const char*& at) {
    TValue v;
    v.kind_ = TValueKind(*at++);
    switch (v.kind_) {
    case TValueKind::Null: break;
    case TValueKind::Text: {
        qint32 bytes = 0;
        std::memcpy(&bytes, at, sizeof bytes);
        at += sizeof bytes;
        v.text_ = QString::fromUtf8(at, bytes);
        at += bytes;
        break;
    }
    default:
        std::memcpy(&v.int_, at, sizeof v.int_);
        at += sizeof v.int_;
    }
    return v;
}

TValue TValue::MoneyUnits(qint64 tenThousandths) {
    TValue v;
    v.kind_ = TValueKind::Currency;
    v.int_ = tenThousandths;
    return v;
}

double TValue::AsDouble(bool* ok) const {
    if (ok) *ok = true;
    switch (kind_) {
    case TValueKind::Integer:
    case TValueKind::Boolean: return double(int_);
    case TValueKind::Float: return float_;
    case TValueKind::Currency: return double(int_) / 10000.0;
    case TValueKind::Text: {
        bool good = false;
        const double d = text_.trimmed().toDouble(&good);
        if (ok) *ok = good;
        return good ? d : 0;
    }
    case TValueKind::DateTime:
    case TValueKind::Null: break;
    }
    if (ok) *ok = false;
    return 0;
}

qint64 TValue::AsInt64(bool* ok) const {
    if (kind_ == TValueKind::Integer || kind_ == TValueKind::Boolean) {
        if (ok) *ok = true;
        return int_;
    }
    bool good = false;
    const double d = AsDouble(&good);
    if (ok) *ok = good;
    return good ? std::llround(d) : 0;
}

QString TValue::AsText() const {
    switch (kind_) {
    case TValueKind::Null: return {};
    case TValueKind::Text: return text_;
    case TValueKind::Integer:
    case TValueKind::Boolean: return QString::number(int_);
    case TValueKind::Float: return FmtShortest(float_);
    case TValueKind::Currency: return FmtShortest(double(int_) / 10000.0);
    case TValueKind::DateTime: {
        QDate d;
        QTime h;
        AsDateAndTime(&d, &h);
        return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(), h.hour(), h.minute(),
                                 h.second());
    }
    }
    return {};
}

bool TValue::AsDateAndTime(QDate* date, QTime* time) const {
    if (kind_ == TValueKind::DateTime) {
        *date = QDate::fromJulianDay(int_ / kMsPerDay);
        *time = QTime::fromMSecsSinceStartOfDay(int(int_ % kMsPerDay));
        return true;
    }
    const QDateTime t = AsDateTime();
    *date = t.date();
    *time = t.time();
    return t.isValid();
}

QDateTime TValue::AsDateTime() const {
    if (kind_ == TValueKind::DateTime) return UnpackTime(int_);
    if (kind_ == TValueKind::Text) return DbTimeFromText(text_);
    return {};
}

bool TValue::AsBool() const {
    switch (kind_) {
    case TValueKind::Integer:
    case TValueKind::Boolean:
    case TValueKind::Currency: return int_ != 0;
    case TValueKind::Float: return float_ != 0;
    case TValueKind::Text: return text_ == "-1" || text_.compare("true", Qt::CaseInsensitive) == 0;
    default: return false;
    }
}

qint64 TValue::MoneyUnits() const {
    if (kind_ == TValueKind::Currency) return int_;
    return ToMoneyUnits(AsDouble());
}

bool TValue::operator==(const TValue& o) const {
    if (kind_ != o.kind_) return false;
    switch (kind_) {
    case TValueKind::Null: return true;
    case TValueKind::Text: return text_ == o.text_;
    case TValueKind::Float: return float_ == o.float_;
    default: return int_ == o.int_;
    }
}

QString TSqlText::OrderedSql(TDbEngine engine) const {
    if (Order.isEmpty()) return Sql;
    QStringList terms;
    for (const QString& key : Order) {
        QStringList parts = key.split(' ', Qt::SkipEmptyParts);
        if (parts.size() >= 3 && parts.value(parts.size() - 2).compare("NOT", Qt::CaseInsensitive) == 0 &&
            parts.back().compare("NULL", Qt::CaseInsensitive) == 0)
            parts.resize(parts.size() - 2);
        // Nulls stay where the engine keeps them unless the listing says otherwise: against the
        // engine's own order the server would sort every row instead of reading an index.
        terms << (SqlResultName(engine, parts.value(0)) + " " + parts.mid(1).join(' ')).trimmed();
    }
    return Sql + " ORDER BY " + terms.join(',');
}

double VarToFloat(const TValue& v, double def) {
    if (v.IsNull()) return def;
    bool ok = false;
    const double d = v.AsDouble(&ok);
    return ok ? d : def;
}

QString VarToStr(const TValue& v) { return v.AsText(); }

int VarToInt(const TValue& v) {
    bool ok = false;
    const qint64 i = v.AsInt64(&ok);
    return ok ? int(i) : 0;
}

QString FmtMoney(double x) { return FmtFixed(x, 2); }

double RoundMoney(double yuan) {
    const double r = RoundTo(yuan, 2);
    return r == 0 ? 0.0 : r;
}

QString FmtFixed(double x, int decimals) {
    const double r = RoundTo(x, decimals);
    return QString::number(r == 0 ? 0.0 : r, 'f', decimals);
}

QString FmtNum(double x, int maxDecimals) {
    QString s = FmtFixed(x, maxDecimals);
    if (s.contains('.')) {
        while (s.endsWith('0')) s.chop(1);
        if (s.endsWith('.')) s.chop(1);
    }
    return s == "-0" ? QStringLiteral("0") : s;
}

QString FmtShortest(double x) {
    return QString::number(x, 'f', QLocale::FloatingPointShortest);
}

QString DbTimeText(const QDateTime& t) {
    if (!t.isValid()) return {};
    const QDate d = t.date();
    const QTime h = t.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(), h.hour(), h.minute(),
                             h.second());
}

QDateTime DbTimeFromText(const QString& s) {
    const QByteArray latin = s.toLatin1();
    QDate date;
    QTime time;
    if (ParseDbTime(latin.constData(), int(latin.size()), &date, &time)) return QDateTime(date, time);
    QDateTime t = QDateTime::fromString(s, kDbTimeFormat);
    if (!t.isValid()) t = QDateTime::fromString(s, Qt::ISODate);
    if (!t.isValid()) t = QDateTime(QDate::fromString(s, "yyyy-MM-dd"), QTime(0, 0));
    return t;
}

QDateTime EndOfDay(const QDate& d) { return QDateTime(d, QTime(23, 59, 59)); }
