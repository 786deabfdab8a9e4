#pragma once
// The few pieces of SQL that differ between database engines, in one place, so that the
// statements of the windows stay plain SQL.

#include <QString>

// The day of a stored date-time as text "yyyy-MM-dd" (null stays null).
QString SqlDayText(const QString& expr);
// The month of a stored date-time as text "yyyy-MM" (null stays null).
QString SqlMonthText(const QString& expr);
