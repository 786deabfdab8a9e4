#pragma once
// The few pieces of SQL that differ between database engines, in one place, so that the
// statements of the windows stay plain SQL. Each function answers in the spelling of the engine
// it is given (TDM::Engine()).
//
// What differs between SQLite and PostgreSQL, and what the statements do about it:
//   - date-times: stored as text "yyyy-MM-dd HH:mm:ss" here, as timestamp there; day and month
//     texts go through SqlDayText and SqlMonthText;
//   - LIKE: ASCII letters match either case here, not there; a keyword search uses SqlLikeNoCase;
//   - TOTAL(): SQLite's sum that is 0.0 over no rows; PostgreSQL has only SUM (null over none);
//   - ROUND(x,n) of a floating-point value does not exist there (only of numeric);
//   - unary + on a column (keeps SQLite's planner off an index) is no operator on a timestamp;
//   - null order: here a null is lower than every value (first ascending, last descending),
//     there higher; each engine keeps its own (its indexes are read in it), and the grid's
//     paging after the last row held asks SqlNullsSortHigh where the nulls are;
//   - result column names: there unquoted names fold to lower case ("StockID" is stockid), so a
//     quoted name of a result column is spelled by SqlResultName;
//   - locking: here a save's BEGIN IMMEDIATE already admits one writer at a time; there a save
//     locks the rows it decides on (SqlForUpdate), and numbers come from a counter row
//     (SqlCounterNext).
// Portable spellings are used plainly and need no helper: COALESCE (never IFNULL), CASE WHEN
// (never iif), LIMIT/OFFSET, -1/0 for yes/no, 100.0 in a division, Chinese aliases, EXISTS,
// WITH, UNION, SAVEPOINT.
// The rule: a statement uses these helpers for anything engine-specific, and nothing else does.

#include "data/uDbConfig.h"

#include <QString>
#include <QStringList>

// The day of a stored date-time as text "yyyy-MM-dd" (null stays null).
QString SqlDayText(TDbEngine engine, const QString& expr);
// The month of a stored date-time as text "yyyy-MM" (null stays null).
QString SqlMonthText(TDbEngine engine, const QString& expr);

// expr LIKE param with ASCII letters matching either case, as staff type keywords.
QString SqlLikeNoCase(TDbEngine engine, const QString& expr, const QString& param);
// The sum of expr over the rows as a floating-point number, 0.0 when there are none.
QString SqlTotal(TDbEngine engine, const QString& expr);
// expr rounded to a number of decimals, whether expr is a whole, floating or fixed-point number.
QString SqlRound(TDbEngine engine, const QString& expr, int decimals);
// expr as a value that no index serves, so that the planner takes another index (one that
// gives the wanted order) instead of one that only narrows the rows.
QString SqlSkipIndex(TDbEngine engine, const QString& expr);

// A result column's name, quoted, as the engine names that column.
QString SqlResultName(TDbEngine engine, const QString& name);
// Whether the engine sorts a null above every value (last ascending, first descending), as
// the server does; the file sorts it below.
bool SqlNullsSortHigh(TDbEngine engine);

// Ends a SELECT that reads the rows a save decides on, so that no other station changes them
// before this save commits.
QString SqlForUpdate(TDbEngine engine);
// The next sequence of a numbering (:p prefix, :d day "yyyyMMdd"), at least :seed, drawn from
// the counter table inside the save's transaction. The server's engine only.
QString SqlCounterNext(TDbEngine engine);
// Brings the planner's knowledge of a table's rows up to date after many were loaded at once,
// and (on the server) marks them visible to all, so that an index alone answers a report as it
// does on a server that has run a while; empty where the engine needs none.
QString SqlRefreshStatistics(TDbEngine engine, const QString& table);
// The number of tables in the database (on a server: in the connection's schema).
QString SqlTableCount(TDbEngine engine);
// Moves the key counter of a table's self-numbering key past the highest key stored, after
// rows were copied in with their keys; empty where the engine does that by itself.
QString SqlKeyCounterRestart(TDbEngine engine, const QString& table, const QString& keyColumn);
// Starts a read-only transaction in which every statement sees the database as it was at its
// first read, whatever other stations commit meanwhile.
QString SqlBeginSnapshot(TDbEngine engine);
// The names of the indexes that exist, one per row.
QString SqlIndexNames(TDbEngine engine);
// What makes a search for a word anywhere in a batch number, plate, farmer name or log
// reference fast (trigram indexes on the server); nothing on the file.
QStringList SqlKeywordIndexes(TDbEngine engine);
// Makes the saves of one table wait for each other (readers go on), for a rule over the whole
// table such as "one login name once" or "at least one administrator"; empty on the file, whose
// saves already wait for each other.
QString SqlLockTableForWriters(TDbEngine engine, const QString& table);
// Adds a text column of at most maxLength characters to an existing table, spelled as the
// schema spells such a column on that engine.
QString SqlAddTextColumn(TDbEngine engine, const QString& table, const QString& column, int maxLength);
// Ends a SELECT that reads a master row a save is about to refer to: until the save ends, no
// other station can delete that row (the deletion locks it, see SqlForUpdate, before counting
// what refers to it). Empty on the file, whose saves already take turns.
QString SqlForKeyShare(TDbEngine engine);

// Makes the operation log refuse every change and deletion of its rows: a trigger on T_Log
// (the log is the centre's audit trail; only a technician working outside the program may
// remove old rows).
QStringList SqlLogGuard(TDbEngine engine);
// Whether the log's guard is in place: one row with a count.
QString SqlLogGuardCount(TDbEngine engine);

// On the file, a trigram table of the log's references (idx_log_ref_words) that a trigger fills as
// rows are added (the log is never changed), built over the rows already there in the same
// transaction; empty on the server, whose trigram index (SqlKeywordIndexes) does the same.
QStringList SqlLogRefWords(TDbEngine engine);
// Whether that table is there: one row with a count (always 0 on the server).
QString SqlLogRefWordsCount(TDbEngine engine);
// How the operation log is read, as "l", when searched by a part of its reference.
struct TLogSource {
    QString From;
    QString Key;        // the log's number, which orders the listing
    QString Condition;  // with the parameter :r, empty when nothing is searched
    QString Value;      // what :r stands for
};
// On the file the reference table answers newest first in the log's own order, so each chunk of
// the listing reads only its own rows instead of the whole log; it needs three characters, and a
// % or _ the user typed is a LIKE wildcard it cannot follow. wordsThere: SqlLogRefWordsCount > 0.
TLogSource SqlLogSource(TDbEngine engine, const QString& ref, bool wordsThere);
// Every column of every table as "table.column", one per row (on a server: of the connection's
// schema).
QString SqlTableColumns(TDbEngine engine);
// Whether the named schema exists: a row when it does (:s the schema's name).
QString SqlSchemaExists(TDbEngine engine);
