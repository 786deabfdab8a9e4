#pragma once
// The weighing ticket (收粮磅单) handed to the farmer at the weighbridge: the load, its
// weights and where each came from, the weigher and the signature lines. Printed after a new
// registration and again from the intake ledger, where the copy is marked "补打".

#include "data/uValue.h"
#include "reports/uPrintTarget.h"
#include "scale/uWeighSource.h"

#include <QDateTime>
#include <QString>
#include <optional>

class TDM;

// What the batch's registration log rows say: who registered it, and where the weights of its
// last save came from.
struct TRegistrationLog {
    QString Weigher;  // the registering user's name, or his login name
    TWeighSources Sources;
};
TRegistrationLog ReadRegistrationLog(TDM& dm, const QString& batchNo);
// The batch's registration and its later changes, oldest first.
TSqlText RegistrationLogSql(const QString& batchNo);

struct TTicket {
    QString BatchNo;
    QDateTime RegTime;
    QString CarNo, Farmer, Grain, Status;
    TValue Gross, Tare, Net, Moisture, Impurity;
    TRegistrationLog Log;
};

// Nothing when there is no such batch.
std::optional<TTicket> LoadTicket(TDM& dm, const QString& batchNo);

// Prints the ticket; a reprint says "补打" and is logged, a preview of it too, since a copy can be
// printed from there. Warns "批次不存在：" + the number, or "该批次已作废，不能打印磅单". True when
// the pages went to the printer or the preview.
bool PrintTicket(TDM& dm, const QString& batchNo, bool reprint, TPrintTarget target = TPrintTarget::Printer);
// After a new registration, scale or none, unless 打印磅单 is off in 地磅设置: "磅单已生成，是否立即打印？".
void OfferTicket(TDM& dm, const QString& batchNo);
