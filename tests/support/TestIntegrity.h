#pragma once
// Whether a centre's records agree with each other: every batch's stock rows, rounds, outbound,
// settlement, status and log rows, checked for the whole file at once.

#include <QStringList>

class TDM;

// One line per broken rule, naming how many records break it and a few of them; empty when
// the records are consistent.
QStringList IntegrityFaults(TDM& dm);
