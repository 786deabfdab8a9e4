#include "reports/uChartData.h"

#include "forms/uGrid.h"

#include <algorithm>
#include <optional>
#include <set>

namespace {
// The columns a chart reads, by caption, and the value of each in one row.
class TColumns {
public:
    TColumns(const TQueryModel& rows, const QStringList& names) {
        for (const QString& name : names) index_ << rows.ColumnIndex(name);
    }
    bool Complete() const { return !index_.contains(-1); }
    const TValue& At(const std::vector<TValue>& row, int i) const { return row[size_t(index_[i])]; }
    double Number(const std::vector<TValue>& row, int i) const { return VarToFloat(At(row, i)); }

private:
    QList<int> index_;
};

TChartData Daily(const TQueryModel& rows) {
    const TColumns cols(rows, {QStringLiteral("日期"), QStringLiteral("收粮湿重公斤"), QStringLiteral("收粮车次数")});
    if (!cols.Complete()) return {};
    TChartData chart{TChartShape::Days, QStringLiteral("每日收粮"), QStringLiteral("日期"),
                     QStringLiteral("收粮湿重（公斤）"), QStringLiteral("收粮车次"), {}, {}};
    TChartSeries weight{QStringLiteral("收粮湿重"), {}, false};
    TChartSeries loads{QStringLiteral("收粮车次"), {}, true};
    rows.ForEachRow([&](const std::vector<TValue>& row) {
        const QDate day = QDate::fromString(VarToStr(cols.At(row, 0)), Qt::ISODate);
        if (!day.isValid()) return;
        const double x = double(QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch());
        weight.Points << QPointF(x, cols.Number(row, 1));
        loads.Points << QPointF(x, cols.Number(row, 2));
    });
    chart.Series = {weight, loads};
    return chart;
}

// One bar series per column named, one category per row.
TChartData Bars(const TQueryModel& rows, const QString& category, const QStringList& columns,
                const QStringList& seriesNames, TChartData chart) {
    const TColumns cols(rows, QStringList{category} + columns);
    if (!cols.Complete()) return {};
    chart.Shape = TChartShape::Bars;
    for (const QString& name : seriesNames) chart.Series << TChartSeries{name, {}, false};
    rows.ForEachRow([&](const std::vector<TValue>& row) {
        const int x = int(chart.Categories.size());
        chart.Categories << VarToStr(cols.At(row, 0));
        for (int s = 0; s < chart.Series.size(); ++s) chart.Series[s].Points << QPointF(x, cols.Number(row, s + 1));
    });
    return chart;
}

// A year holds some twenty thousand batches, most of them close to the diagonal; a marker is
// drawn once for each of a 300 × 300 grid of cells over the figures' range, which looks the same
// and draws in a fraction of the time.
void Thin(QList<TChartSeries>& series) {
    constexpr double kCells = 300;
    const auto [low, high] = CommonRange(series);
    const double cell = std::max(high - low, 1.0) / kCells;
    for (TChartSeries& s : series) {
        std::set<std::pair<qint64, qint64>> taken;
        QList<QPointF> kept;
        for (const QPointF& p : s.Points)
            if (taken.insert({qint64((p.x() - low) / cell), qint64((p.y() - low) / cell)}).second) kept << p;
        s.Points = kept;
    }
}

// Batches without a theoretical figure have no point.
TChartData LossCheck(const TQueryModel& rows) {
    const TColumns cols(rows, {QStringLiteral("理论干重公斤"), QStringLiteral("实测干重公斤"), QStringLiteral("超出允许")});
    if (!cols.Complete()) return {};
    TChartData chart{TChartShape::Scatter, QStringLiteral("理论干重与实测干重"), QStringLiteral("理论干重（公斤）"),
                     QStringLiteral("实测干重（公斤）"), {}, {}, {}};
    TChartSeries within{QStringLiteral("允许范围内"), {}, false};
    TChartSeries beyond{QStringLiteral("超出允许"), {}, false};
    rows.ForEachRow([&](const std::vector<TValue>& row) {
        if (cols.At(row, 0).IsNull() || cols.At(row, 1).IsNull()) return;
        const QPointF point(cols.Number(row, 0), cols.Number(row, 1));
        (VarToStr(cols.At(row, 2)).isEmpty() ? within : beyond).Points << point;
    });
    chart.Series = {within, beyond};
    Thin(chart.Series);
    return chart;
}
}  // namespace

std::pair<double, double> CommonRange(const QList<TChartSeries>& series) {
    std::optional<std::pair<double, double>> range;
    for (const TChartSeries& s : series) {
        for (const QPointF& p : s.Points) {
            const double low = std::min(p.x(), p.y()), high = std::max(p.x(), p.y());
            range = range ? std::pair(std::min(range->first, low), std::max(range->second, high)) : std::pair(low, high);
        }
    }
    return range.value_or(std::pair(0.0, 0.0));
}

TChartData ReportChart(TReportKind kind, const TQueryModel& rows) {
    if (!rows.IsOpen()) return {};
    switch (kind) {
    case TReportKind::Daily: return Daily(rows);
    case TReportKind::Monthly:
        return Bars(rows, QStringLiteral("月份"),
                    {QStringLiteral("营收合计"), QStringLiteral("已收合计"), QStringLiteral("新增欠款")},
                    {QStringLiteral("营收"), QStringLiteral("已收"), QStringLiteral("新增欠款")},
                    {TChartShape::Bars, QStringLiteral("月度营收、已收与欠款"), QStringLiteral("月份"),
                     QStringLiteral("金额（元）"), {}, {}, {}});
    case TReportKind::Loss:
        return Bars(rows, QStringLiteral("粮种"), {QStringLiteral("平均损耗率百分比")},
                    {QStringLiteral("平均损耗率")},
                    {TChartShape::Bars, QStringLiteral("各粮种平均损耗率"), QStringLiteral("粮种"),
                     QStringLiteral("平均损耗率（%）"), {}, {}, {}});
    case TReportKind::LossCheck: return LossCheck(rows);
    case TReportKind::Trace:
    case TReportKind::FarmerStatement:
    case TReportKind::Energy: break;
    }
    TChartData none;
    none.Title = QStringLiteral("本报表没有图表");
    return none;
}
