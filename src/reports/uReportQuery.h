#pragma once
// The reports of the reports and traceability centre, each one read-only statement over the
// business tables, with the column captions as its aliases.

#include "data/uValue.h"
#include "workflow/uLossAllowance.h"

#include <QDate>
#include <QStringList>

enum class TReportKind { Daily, Trace, FarmerStatement, Energy, Loss, Monthly, LossCheck };

// The report names, in the order of the report list (the index of a TReportKind).
const QStringList& ReportNames();

struct TReportInput {
    QDate From;
    QDate To;
    int FarmerID = 0;  // 0: every farmer
    QString BatchNo;   // the batch to trace, as typed
    double LossAllowance = kDefaultLossAllowance;  // percent of the wet weight
};

struct TReportQuery {
    TSqlText Query;
    QString Refusal;  // why the report cannot run with these inputs; empty when it can
};

// The statement of the chosen report over the inputs it uses; the others are ignored.
TReportQuery ReportQuery(TDbEngine engine, TReportKind kind, const TReportInput& in);

// One row per day from..to on which a batch was registered (voided ones too), a drying round
// ended or grain went out: batches and wet weight (voided ones not counted), dry and outbound weight.
TSqlText DailyReport(TDbEngine engine, const QDate& from, const QDate& to);
// The batch's registration, last drying round, dry-grain position, outbound total and
// settlement: one row per settlement, none for an unknown batch.
TSqlText TraceReport(const QString& batchNo);
// Every farmer (or only the one given) with batches, wet weight and settled money, largest debt first.
TSqlText FarmerReport(TDbEngine engine, int farmerId);
// Per dryer, running hours and electricity, dry weight of finished rounds and kWh per ton.
TSqlText EnergyReport(const QDate& from, const QDate& to);
// Per grain, the batches whose last round ended in the range: weights and the average loss rate.
TSqlText LossReport(const QDate& from, const QDate& to);
// One row per month of from..to with intake, drying, outbound and settlement figures.
TSqlText MonthlyReport(TDbEngine engine, const QDate& from, const QDate& to);
// One row per batch whose last round ended in the range (of one farmer, when given): the dry
// weight its moisture readings explain against the weighed one, the unexplained loss largest first,
// and "超出" where it is beyond the allowance.
TSqlText LossCheckReport(TDbEngine engine, const QDate& from, const QDate& to, int farmerId, double allowance);
