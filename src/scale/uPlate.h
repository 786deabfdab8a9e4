#pragma once
// Vehicle plates as stored and compared: trimmed, Latin letters in upper case, full-width
// letters and digits (typed with a Chinese input method) as ordinary ones. '皖f66666' and
// '皖Ｆ66666' are both 皖F66666 and share its tare history.

#include <QString>

#include "data/uValue.h"

class TDM;

QString NormalisePlate(const QString& plate);
// Every plate stored, once each, read off the plate index.
TSqlText StoredPlatesSql();

// Brings plates saved before they were normalised into the stored form, once per database in
// each run of the program, so that a plate is found by plain equality on its index.
void NormaliseStoredPlates(TDM& dm);
