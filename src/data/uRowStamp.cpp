#include "data/uRowStamp.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

namespace {
QStringList ColumnNames(const TRowStamp& s) {
    QStringList names;
    for (const TStampCol& c : s.Cols) names << c.Column;
    return names;
}

// The last change the operation log holds for the row: who, what and when.
QString LastLogged(TDM& dm, const TRowStamp& s) {
    const TQuery q = dm.OpenSQLP(
        "SELECT LoginName,ActType,OpTime FROM T_Log WHERE RefNo=:r AND TblName=:t ORDER BY LogID DESC LIMIT 1",
        {{"r", s.LogRef}, {"t", s.Table}});
    if (q.IsEmpty()) return {};
    return QStringLiteral("最近一次：%1 %2 %3")
        .arg(VarToStr(q.Field("LoginName")), q.Field("OpTime").AsDateTime().toString("yyyy-MM-dd HH:mm"),
             VarToStr(q.Field("ActType")));
}
}  // namespace

TRowStamp StampRow(const TQuery& q, const QString& table, const QString& keyField, const TValue& key,
                   const QList<TStampCol>& cols) {
    TRowStamp s{table, keyField, key, key.AsText(), cols, {}};
    for (const TStampCol& c : cols) s.Values << (q.IsEmpty() ? QString() : q.Field(c.Column).AsText());
    return s;
}

QString ChangedSinceRead(TDM& dm, const TRowStamp& read) {
    if (!read.IsSet()) return {};
    const TQuery now = dm.OpenSQLP("SELECT " + ColumnNames(read).join(',') + " FROM " + read.Table + " WHERE " +
                                       read.KeyField + "=:k" + SqlForUpdate(dm.Engine()),
                                   {{"k", read.Key}});
    QStringList what;
    if (now.IsEmpty()) {
        what << QStringLiteral("该记录已被删除");
    } else {
        QStringList changed;
        for (int i = 0; i < read.Cols.size(); ++i)
            if (now.Value(0, i).AsText() != read.Values.value(i)) changed << read.Cols[i].Caption;
        if (changed.isEmpty()) return {};
        what << QStringLiteral("改动了：") + changed.join(QStringLiteral("、"));
    }
    if (const QString last = LastLogged(dm, read); !last.isEmpty()) what << last;
    return QStringLiteral("该记录已被其他电脑修改（%1），请关闭后重新打开再保存").arg(what.join(QStringLiteral("；")));
}
