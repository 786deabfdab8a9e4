#include "scale/uPlate.h"

#include "data/uDM.h"

#include <QMutex>
#include <QSet>

QString NormalisePlate(const QString& plate) {
    QString out = plate;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if ((u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF3A) || (u >= 0xFF41 && u <= 0xFF5A))
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000)
            c = QChar(u' ');
        if (c.unicode() >= u'a' && c.unicode() <= u'z') c = QChar(char16_t(c.unicode() - 0x20));
    }
    return out.trimmed();
}

TSqlText StoredPlatesSql() { return {QStringLiteral("SELECT DISTINCT CarNo FROM T_Batch WHERE CarNo IS NOT NULL"), {}, {}}; }

void NormaliseStoredPlates(TDM& dm) {
    static QMutex guard;
    static QSet<QString> done;
    const QString key = dm.Config().Path + '|' + dm.Config().ConnInfo() + '|' + dm.Config().SchemaName();
    QMutexLocker lock(&guard);
    if (done.contains(key)) return;
    // One pass over the plate index; only the few plates typed before normalising are written.
    const TSqlText sql = StoredPlatesSql();
    const TQuery q = dm.OpenSQLP(sql.Sql, sql.Params);
    QList<std::pair<QString, QString>> changes;
    for (int r = 0; r < q.RowCount(); ++r) {
        const QString stored = VarToStr(q.Value(r, 0));
        if (const QString plate = NormalisePlate(stored); plate != stored) changes.push_back({stored, plate});
    }
    if (!changes.isEmpty()) {
        TTransaction tx(dm);
        for (const auto& [stored, plate] : changes)
            dm.ExecSQLP(QStringLiteral("UPDATE T_Batch SET CarNo=:n WHERE CarNo=:o"), {{"n", plate}, {"o", stored}});
        tx.Commit();
    }
    done.insert(key);
}
