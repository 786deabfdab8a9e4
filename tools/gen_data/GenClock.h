#pragma once
// Moments of the generated history as whole seconds of local time, counted from the start of
// Julian day 0, so that millions of them can be compared, shifted and written without going
// through a time zone.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>

using TStamp = std::int64_t;

constexpr TStamp kMinute = 60;
constexpr TStamp kHour = 3600;
constexpr TStamp kDay = 86400;

inline TStamp StampOf(const QDate& d, int secondOfDay = 0) { return TStamp(d.toJulianDay()) * kDay + secondOfDay; }
inline QDate DateOf(TStamp t) { return QDate::fromJulianDay(t / kDay); }
inline int SecondOfDay(TStamp t) { return int(t % kDay); }
inline TStamp StartOfDay(TStamp t) { return t - t % kDay; }

// The stored text of a date-time, the same text the data module writes.
QString StampText(TStamp t);
// "yyyyMMdd", as document numbers carry it.
QString DayCode(TStamp t);
// "yyyy-MM-dd HH:mm", as log details show a time.
QString MinuteText(TStamp t);
