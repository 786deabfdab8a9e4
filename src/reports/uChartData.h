#pragma once
// What the reports window's 图表 tab draws for the rows of the report just run: plain figures,
// so that what a chart shows can be checked without drawing it.

#include "reports/uReportQuery.h"

#include <QList>
#include <QPointF>
#include <QStringList>
#include <utility>

enum class TChartShape {
    None,     // the report has no chart
    Days,     // lines over a day axis; x = the day's start in ms since the epoch
    Bars,     // bars by category; x = the category's index
    Scatter,  // one point a row, against the line where both axes agree
};

struct TChartSeries {
    QString Name;
    QList<QPointF> Points;
    bool RightAxis = false;  // a second quantity, read on its own scale at the right
};

struct TChartData {
    TChartShape Shape = TChartShape::None;
    QString Title;
    QString XTitle;
    QString YTitle;
    QString RightTitle;
    QStringList Categories;
    QList<TChartSeries> Series;
};

class TQueryModel;

// The smallest and largest figure on either axis over all the series' points; (0, 0) for none.
std::pair<double, double> CommonRange(const QList<TChartSeries>& series);

// Reads every row of the report's query (not only those the grid holds) by the report's captions.
// A report without a chart says so in the title; a query not run gives nothing at all.
TChartData ReportChart(TReportKind kind, const TQueryModel& rows);
