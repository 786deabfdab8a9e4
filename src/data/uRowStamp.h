#pragma once
// A row as an edit dialog read it, so that its save can find out, with the row locked inside
// the save's transaction, whether another station changed the row since: saving over that
// change would silently undo another person's work. The columns are compared as read, so a
// database of any age and a station role that may only read and write rows need nothing more.

#include "data/uValue.h"

#include <QList>
#include <QString>
#include <QStringList>

class TDM;
class TQuery;

struct TStampCol {
    QString Column;
    QString Caption;  // how the dialog names it, for the message
};

struct TRowStamp {
    QString Table;
    QString KeyField;
    TValue Key;
    QString LogRef;  // how the operation log names the row (RefNo)
    QList<TStampCol> Cols;
    QStringList Values;  // as read, in the order of Cols
    bool IsSet() const { return !Table.isEmpty(); }
};

// The stamp of the first row of a query that read (at least) the given columns.
TRowStamp StampRow(const TQuery& q, const QString& table, const QString& keyField, const TValue& key,
                   const QList<TStampCol>& cols);

// Inside the save's transaction: reads the row again, locked until the save ends, and returns
// "该记录已被其他电脑修改（…），请关闭后重新打开再保存" naming what changed and the last change
// logged for the row; empty when the row is as it was read (or no stamp was taken).
QString ChangedSinceRead(TDM& dm, const TRowStamp& read);
