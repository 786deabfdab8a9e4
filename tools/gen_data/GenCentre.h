#pragma once
// A whole centre's history, day by day: the loads of each day are planned as they arrive, and
// every change they and the staff make is written in the order it happened, so that counters,
// document numbers and the operation log run forward in time as they do in a real file.

#include "GenClock.h"

#include <QString>
#include <cstdint>

class TDM;

struct TGenOptions {
    int Years = 10;
    int BatchesPerYear = 20000;
    std::uint64_t Seed = 1;
    QString Out;
};

// Fills a new, empty centre database with the history that ends at historyEnd.
void GenerateCentre(TDM& dm, const TGenOptions& options, TStamp historyEnd);
