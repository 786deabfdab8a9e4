#pragma once
// A vehicle's usual tare, from its own past registrations: the median of its last five tares,
// so one wrongly typed tare does not move it. A tare far from it is asked about before saving.

#include "data/uValue.h"

#include <QString>
#include <vector>

class TDM;

struct TTareHistory {
    int Count = 0;  // past tares found, at most five
    double Median = 0;
    bool Known() const { return Count > 0; }
};

// The vehicle's last five tares, newest first: voided batches and batches without a tare left
// out, and the batch being edited too.
TSqlText TareHistorySql(const QString& carNo, const QString& exceptBatchNo);
TTareHistory TareHistory(TDM& dm, const QString& carNo, const QString& exceptBatchNo = {});
double MedianOf(std::vector<double> values);

struct TTareCheck {
    TTareHistory History;
    double SharePct = 0;  // how far the tare lies from the usual one, in percent of it; shown to two decimals
    bool Ask = false;     // beyond the allowed share

    // "该车皮重与历史皮重相差 x%，是否继续？"
    QString Question() const;
    // What the log row keeps once the weigher confirmed.
    QString Note() const;
};

// Whether the tare lies beyond the allowed share of the usual one, compared exactly.
bool BeyondShare(double tare, double usual, double allowedPct);
// Whether the typed tare needs the weigher's confirmation; never without a history or a tare.
TTareCheck CheckTare(TDM& dm, const QString& carNo, const QString& exceptBatchNo, const QString& tareText,
                     double allowedPct);
