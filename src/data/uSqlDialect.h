#pragma once
// The few pieces of SQL that differ between database engines, in one place, so that the
// statements of the windows stay plain SQL. Every function returns the SQLite text in use today;
// a second engine (PostgreSQL) answers the same question in its own spelling here.
//
// What differs between SQLite and PostgreSQL, and what the statements do about it:
//   - date-times: stored as text "yyyy-MM-dd HH:mm:ss" here, as timestamp there; day and month
//     texts, "today" and date arithmetic go through SqlDayText, SqlMonthText, SqlTodayPlusDays;
//   - LIKE: ASCII letters match either case here, not there; a keyword search uses SqlLikeNoCase;
//   - TOTAL(): SQLite's sum that is 0.0 over no rows; PostgreSQL has only SUM (null over none);
//   - ROUND(x,n) of a floating-point value does not exist there (only of numeric);
//   - unary + on a column (keeps SQLite's planner off an index) is no operator on a timestamp;
//   - null order: here a null is lower than every value (first ascending, last descending),
//     there higher; the grid's paging after the last row held counts on "lower", so the
//     ORDER BY of a listing is spelled by SqlOrderTerm;
//   - result column names: there unquoted names fold to lower case ("StockID" is stockid), so a
//     quoted name of a result column is spelled by SqlResultName.
// Portable spellings are used plainly and need no helper: COALESCE (never IFNULL), CASE WHEN
// (never iif), LIMIT/OFFSET, -1/0 for yes/no, 100.0 in a division, Chinese aliases, EXISTS,
// WITH, UNION, SAVEPOINT.
// The rule: a statement uses these helpers for anything engine-specific, and nothing else does.

#include <QString>

// The day of a stored date-time as text "yyyy-MM-dd" (null stays null).
QString SqlDayText(const QString& expr);
// The month of a stored date-time as text "yyyy-MM" (null stays null).
QString SqlMonthText(const QString& expr);
// The start of today (local time) moved by whole days, as a stored date-time.
QString SqlTodayPlusDays(int days);

// expr LIKE param with ASCII letters matching either case, as staff type keywords.
QString SqlLikeNoCase(const QString& expr, const QString& param);
// The sum of expr over the rows as a floating-point number, 0.0 when there are none.
QString SqlTotal(const QString& expr);
// expr rounded to a number of decimals, whether expr is a whole, floating or fixed-point number.
QString SqlRound(const QString& expr, int decimals);
// expr as a value that no index serves, so that the planner takes another index (one that
// gives the wanted order) instead of one that only narrows the rows.
QString SqlSkipIndex(const QString& expr);

// A result column's name, quoted, as the engine names that column.
QString SqlResultName(const QString& name);
// One term of an ORDER BY (direction "DESC", "ASC" or empty) in which a null is lower than
// every value: first ascending, last descending.
QString SqlOrderTerm(const QString& column, const QString& direction);
