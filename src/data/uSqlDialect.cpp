#include "data/uSqlDialect.h"

// Date-times are stored as text "yyyy-MM-dd HH:mm:ss" (DbTimeText), so the day and the month
// are its leading characters: cheaper than parsing the date for every row of a report.
QString SqlDayText(const QString& expr) { return "substr(" + expr + ",1,10)"; }

QString SqlMonthText(const QString& expr) { return "substr(" + expr + ",1,7)"; }

// datetime() writes the same "yyyy-MM-dd HH:mm:ss" text as every stored date-time.
QString SqlTodayPlusDays(int days) {
    const QString sign = days > 0 ? QStringLiteral("+") : QString();
    const QString shift = days == 0 ? QString() : ",'" + sign + QString::number(days) + " days'";
    return "datetime('now','localtime','start of day'" + shift + ")";
}

// SQLite's LIKE already folds the case of ASCII letters.
QString SqlLikeNoCase(const QString& expr, const QString& param) { return expr + " LIKE " + param; }

QString SqlTotal(const QString& expr) { return "TOTAL(" + expr + ")"; }

QString SqlRound(const QString& expr, int decimals) { return "ROUND(" + expr + "," + QString::number(decimals) + ")"; }

QString SqlSkipIndex(const QString& expr) { return "+" + expr; }

// SQLite keeps a result column's name as written.
QString SqlResultName(const QString& name) { return "\"" + name + "\""; }

// SQLite already sorts a null below every value.
QString SqlOrderTerm(const QString& column, const QString& direction) {
    return direction.isEmpty() ? column : column + " " + direction;
}
