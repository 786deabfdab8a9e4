#pragma once
// Tagged values: what a query field or a scalar query gives back, and what a parameter binds.

#include "data/uDbConfig.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

enum class TValueKind { Null, Text, Integer, Float, Currency, DateTime, Boolean };

class TValue {
public:
    TValue() = default;
    TValue(std::nullptr_t) {}
    TValue(const QString& s) : kind_(TValueKind::Text), text_(s) {}
    TValue(const char* s) : kind_(TValueKind::Text), text_(QString::fromUtf8(s)) {}
    TValue(int i) : kind_(TValueKind::Integer), int_(i) {}
    TValue(qint64 i) : kind_(TValueKind::Integer), int_(i) {}
    TValue(double d) : kind_(TValueKind::Float), float_(d) {}
    TValue(bool b) : kind_(TValueKind::Boolean), int_(b ? -1 : 0) {}
    TValue(const QDateTime& t);

    // Money is kept as a whole number of ten-thousandths of a yuan, so sums stay exact.
    static TValue Money(double yuan);
    static TValue MoneyUnits(qint64 tenThousandths);

    TValueKind Kind() const { return kind_; }
    bool IsNull() const { return kind_ == TValueKind::Null; }

    // Plain conversions; a null gives 0, the empty text or an invalid date-time.
    double AsDouble(bool* ok = nullptr) const;
    qint64 AsInt64(bool* ok = nullptr) const;
    QString AsText() const;
    QDateTime AsDateTime() const;
    // The date and time as stored, without the local-time lookup a QDateTime makes (a system call
    // each on Linux): for reading many rows. False for a value that is no date and time.
    bool AsDateAndTime(QDate* date, QTime* time) const;
    bool AsBool() const;
    qint64 MoneyUnits() const;

    bool operator==(const TValue& o) const;

    // A stored date-time text ("yyyy-MM-dd HH:mm:ss"); a text in another form stays text.
    static TValue FromDbTime(const char* text, int length);

    // A compact byte form, for holding many rows in little memory: Pack appends the value,
    // Unpack reads one back from `at` and moves `at` past it.
    void Pack(std::string& out) const;
    static void PackText(const char* utf8, int length, std::string& out);
    static TValue Unpack(const char*& at);

private:
    // A grid holds millions of these, so the number, the money and the date-time share one slot.
    TValueKind kind_ = TValueKind::Null;
    union {
        qint64 int_ = 0;  // Integer, Boolean (-1/0), Currency (1/10000 yuan), DateTime (local ms since JD 0)
        double float_;
    };
    QString text_;
};

using TParam = std::pair<QString, TValue>;
using TParams = std::vector<TParam>;

// A statement together with the values of its parameters, as the windows build them.
// A listing names its order apart, by result columns whose values are unique together
// ("批次号 DESC"), so that a grid can read each further chunk after the last row it holds.
struct TSqlText {
    QString Sql;  // without ORDER BY when Order is given
    TParams Params;
    // "列名", "列名 DESC"; "… NULLS LAST" where nulls must go last on either engine; "… NOT NULL"
    // where the column cannot hold a null (a primary key), so the next chunk is a plain range the
    // engine seeks in its index, not one that also looks for nulls.
    QStringList Order;

    // Sql with its ORDER BY, for running the listing in one statement.
    QString OrderedSql(TDbEngine engine) const;
};

double VarToFloat(const TValue& v, double def = 0);
QString VarToStr(const TValue& v);
int VarToInt(const TValue& v);

// "0.00": two decimals, rounded half away from zero, no thousands separator.
QString FmtMoney(double x);
// The amount FmtMoney shows, as a number: what a money box shows is what is stored.
double RoundMoney(double yuan);
// Fixed decimals ("0.0", "0.00").
QString FmtFixed(double x, int decimals);
// At most maxDecimals decimals without trailing zeros ("0.##", "0.###").
QString FmtNum(double x, int maxDecimals);
// Shortest decimal form that reads back as the same double.
QString FmtShortest(double x);

// The one text form in which date-times are stored: local time, second precision,
// so that text order is time order and SQLite's date functions can read it.
QString DbTimeText(const QDateTime& t);
QDateTime DbTimeFromText(const QString& s);
// The inclusive upper bound of a day in a date range: that day at 23:59:59.
QDateTime EndOfDay(const QDate& d);
