#include "data/uSqlDialect.h"

// Date-times are stored as text "yyyy-MM-dd HH:mm:ss" (DbTimeText), so the day and the month
// are its leading characters: cheaper than parsing the date for every row of a report.
QString SqlDayText(const QString& expr) { return "substr(" + expr + ",1,10)"; }

QString SqlMonthText(const QString& expr) { return "substr(" + expr + ",1,7)"; }
