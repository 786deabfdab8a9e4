#include "reports/uChart.h"

#include "forms/uCtl.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>

namespace {
QFont ChartFont(int pointSize, bool bold = false) {
    QFont font(kSansFamily, pointSize);
    font.setBold(bold);
    return font;
}

template <class TAxis>
TAxis* AddAxis(QChart* chart, const QString& title, Qt::Alignment side) {
    auto* axis = new TAxis;
    axis->setTitleText(title);
    axis->setTitleFont(ChartFont(9));
    axis->setLabelsFont(ChartFont(8));
    chart->addAxis(axis, side);
    return axis;
}

QValueAxis* AddValueAxis(QChart* chart, const QString& title, Qt::Alignment side) {
    auto* axis = AddAxis<QValueAxis>(chart, title, side);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    return axis;
}

// A value axis from 0, rounded out to readable ticks, for the series drawn against it.
void FitFromZero(QValueAxis* axis, const QList<QAbstractSeries*>& series, double top) {
    for (QAbstractSeries* s : series) s->attachAxis(axis);
    axis->setRange(0, top > 0 ? top * 1.05 : 1);
    axis->applyNiceNumbers();
}

double Top(const TChartSeries& series) {
    double top = 0;
    for (const QPointF& p : series.Points) top = std::max(top, p.y());
    return top;
}

void DrawDays(QChart* chart, const TChartData& data) {
    auto* days = AddAxis<QDateTimeAxis>(chart, data.XTitle, Qt::AlignBottom);
    days->setFormat(QStringLiteral("yyyy-MM-dd"));
    days->setTickCount(7);
    days->setLabelsAngle(-30);
    QValueAxis* left = AddValueAxis(chart, data.YTitle, Qt::AlignLeft);
    QValueAxis* right = AddValueAxis(chart, data.RightTitle, Qt::AlignRight);
    double leftTop = 0, rightTop = 0;
    QList<QAbstractSeries*> onLeft, onRight;
    for (const TChartSeries& s : data.Series) {
        auto* line = new QLineSeries;
        line->setName(s.Name);
        line->append(s.Points);
        line->setPointsVisible(s.Points.size() < 60);  // a lone day still shows
        chart->addSeries(line);
        line->attachAxis(days);
        (s.RightAxis ? onRight : onLeft) << line;
        double& top = s.RightAxis ? rightTop : leftTop;
        top = std::max(top, Top(s));
    }
    FitFromZero(left, onLeft, leftTop);
    FitFromZero(right, onRight, rightTop);
    if (const auto& points = data.Series.value(0).Points; !points.isEmpty()) {
        // Half a day either side (a whole one for a single day), so that no point sits on the frame.
        const qint64 first = qint64(points.first().x()), last = qint64(points.last().x());
        const qint64 pad = first == last ? 86400000 : 43200000;
        days->setRange(QDateTime::fromMSecsSinceEpoch(first - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
    }
}

void DrawBars(QChart* chart, const TChartData& data) {
    auto* bars = new QBarSeries;
    double top = 0;
    for (const TChartSeries& s : data.Series) {
        auto* set = new QBarSet(s.Name);
        for (const QPointF& p : s.Points) set->append(p.y());
        bars->append(set);
        top = std::max(top, Top(s));
    }
    chart->addSeries(bars);
    auto* categories = AddAxis<QBarCategoryAxis>(chart, data.XTitle, Qt::AlignBottom);
    categories->append(data.Categories);
    if (data.Categories.size() > 8) categories->setLabelsAngle(-45);
    bars->attachAxis(categories);
    QValueAxis* values = AddValueAxis(chart, data.YTitle, Qt::AlignLeft);
    if (top < 100) values->setLabelFormat(QStringLiteral("%.1f"));
    FitFromZero(values, {bars}, top);
}

void DrawScatter(QChart* chart, const TChartData& data) {
    QValueAxis* x = AddValueAxis(chart, data.XTitle, Qt::AlignBottom);
    QValueAxis* y = AddValueAxis(chart, data.YTitle, Qt::AlignLeft);
    const QList<QColor> colours{QColor(0x2E, 0x7D, 0x32), QColor(0xC6, 0x28, 0x28)};
    for (int i = 0; i < data.Series.size(); ++i) {
        const TChartSeries& s = data.Series[i];
        auto* points = new QScatterSeries;
        points->setName(s.Name);
        points->setMarkerSize(7);
        points->setColor(colours.value(i));
        points->setBorderColor(colours.value(i));
        points->append(s.Points);
        chart->addSeries(points);
        points->attachAxis(x);
        points->attachAxis(y);
    }
    const auto [low, high] = CommonRange(data.Series);
    // Points below this line lost more than the water explains.
    auto* same = new QLineSeries;
    same->setName(QStringLiteral("实测 = 理论"));
    same->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    same->append(low, low);
    same->append(high, high);
    chart->addSeries(same);
    same->attachAxis(x);
    same->attachAxis(y);
    const double pad = std::max(1.0, (high - low) * 0.05);
    for (QValueAxis* axis : {x, y}) {
        axis->setRange(std::max(0.0, low - pad), high + pad);
        axis->applyNiceNumbers();
    }
}
}  // namespace

QChart* MakeChart(const TChartData& data) {
    auto* chart = new QChart;
    chart->setTitleFont(ChartFont(11, true));
    chart->legend()->setFont(ChartFont(9));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setAnimationOptions(QChart::NoAnimation);
    switch (data.Shape) {
    case TChartShape::None: break;
    case TChartShape::Days: DrawDays(chart, data); break;
    case TChartShape::Bars: DrawBars(chart, data); break;
    case TChartShape::Scatter: DrawScatter(chart, data); break;
    }
    chart->setTitle(data.Title);
    return chart;
}
