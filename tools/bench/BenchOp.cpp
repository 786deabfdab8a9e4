#include "BenchOp.h"

#include <algorithm>

namespace {
struct TArea {
    int Order;
    std::function<TBenchOps()> Make;
};

std::vector<TArea>& Areas() {
    static std::vector<TArea> areas;
    return areas;
}
}  // namespace

TBenchArea::TBenchArea(int order, std::function<TBenchOps()> make) { Areas().push_back({order, std::move(make)}); }

TBenchOps AllBenchOps() {
    std::vector<TArea> areas = Areas();
    std::stable_sort(areas.begin(), areas.end(), [](const TArea& a, const TArea& b) { return a.Order < b.Order; });
    TBenchOps ops;
    for (const TArea& area : areas)
        for (auto& op : area.Make()) ops.push_back(std::move(op));
    return ops;
}
