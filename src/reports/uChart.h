#pragma once
// Draws a report's chart figures with Qt Charts, every text in the interface's Simplified
// Chinese faces.

#include "reports/uChartData.h"

class QChart;

// A new chart of the figures; with none, an empty chart under the figures' title.
QChart* MakeChart(const TChartData& data);
