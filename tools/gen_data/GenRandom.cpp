#include "GenRandom.h"

#include <algorithm>

size_t TGenRandom::PickCumulative(const std::vector<double>& cumulative) {
    const double x = Unit() * cumulative.back();
    const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), x);
    return std::min(size_t(it - cumulative.begin()), cumulative.size() - 1);
}
