#pragma once
// Business rows written straight into the tables at chosen moments, for the reports to read,
// and the rows a report shows, read through the grid as the window reads them.

#include "data/uDM.h"
#include "forms/uGrid.h"

#include <QStringList>
#include <ostream>

// Report rows read in a failing assertion's message.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

inline QDateTime At(int y, int m, int d, int h = 8, int min = 0, int s = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min, s));
}

class TReportWorld {
public:
    explicit TReportWorld(TDM& dm) : dm_(dm) {}

    void Batch(const QString& no, const QDateTime& reg, double wet, const QString& status = QStringLiteral("在库"),
               int farmer = 0, int grain = 1) {
        dm_.ExecSQLP("INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,Impurity,GrossWt,TareWt,"
                     "WetNetWt,WhID,Status) VALUES(:b,:t,'苏A12345',:f,:g,22.5,1.5,:gw,10000,:w,1,:s)",
                     {{"b", no}, {"t", reg}, {"f", farmer}, {"g", grain}, {"gw", wet + 10000}, {"w", wet},
                      {"s", status}});
    }
    // A drying round; an invalid end leaves the round open, without its results.
    void Round(const QString& no, int round, int equip, const QDateTime& start, const QDateTime& end = {},
               double dry = 0, double loss = 0, double lossRate = 0) {
        const bool ended = end.isValid();
        dm_.ExecSQLP("INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,EndTime,DryHours,OutMoisture,"
                     "DryNetWt,LossWt,LossRate,AbnormalMemo) VALUES(:b,:r,:e,1,:s,:t,6,14,:d,:l,:lr,'')",
                     {{"b", no}, {"r", round}, {"e", equip}, {"s", start}, {"t", ended ? TValue(end) : TValue()},
                      {"d", ended ? TValue(dry) : TValue()}, {"l", ended ? TValue(loss) : TValue()},
                      {"lr", ended ? TValue(lossRate) : TValue()}});
    }
    void Stock(const QString& no, int whId, const QDateTime& in, double qty) {
        dm_.ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) "
                     "VALUES(:b,:w,1,0,:q,:t,14,'在库')",
                     {{"b", no}, {"w", whId}, {"q", qty}, {"t", in}});
    }
    void Out(const QString& outNo, const QString& batchNo, const QDateTime& at, double wt) {
        dm_.ExecSQLP("INSERT INTO T_Outbound(OutNo,OutType,BatchNo,OutWt,OutTime) VALUES(:o,'农户自提',:b,:w,:t)",
                     {{"o", outNo}, {"b", batchNo}, {"w", wt}, {"t", at}});
    }
    void Settle(const QString& settleNo, const QString& batchNo, int farmer, const QDateTime& at, double total,
                double paid) {
        const double debt = total - paid;
        dm_.ExecSQLP("INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,TotalFee,PaidAmt,DebtAmt,Status,"
                     "SettleTime) VALUES(:n,:b,:f,:t,:t,:p,:d,:s,:at)",
                     {{"n", settleNo}, {"b", batchNo}, {"f", farmer}, {"t", TValue::Money(total)},
                      {"p", TValue::Money(paid)}, {"d", TValue::Money(debt)},
                      {"s", debt > 0 ? QStringLiteral("部分欠款") : QStringLiteral("已结清")}, {"at", at}});
    }
    void Run(int equip, const QDateTime& start, double hours, double kwh) {
        dm_.ExecSQLP("INSERT INTO T_EquipRun(EquipID,StartTime,RunHours,PowerKWh,Status) VALUES(:e,:s,:h,:k,'作业')",
                     {{"e", equip}, {"s", start}, {"h", hours}, {"k", kwh}});
    }

private:
    TDM& dm_;
};

// A value as a report test writes it out: numbers with at most four decimals, times as stored.
inline QString CellOf(const TValue& v) {
    if (v.Kind() == TValueKind::Float || v.Kind() == TValueKind::Currency) return FmtNum(v.AsDouble(), 4);
    return v.AsText();
}

// Every row of the report as "a|b|c", read chunk by chunk through the grid model.
inline QStringList ReportRows(TDM& dm, const TSqlText& q) {
    TQueryModel model(dm);
    model.Open(q);
    model.FindRow([](int) { return false; });
    QStringList rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c) cells << CellOf(model.Value(r, c));
        rows << cells.join('|');
    }
    return rows;
}
