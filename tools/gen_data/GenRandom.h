#pragma once
// A small random source whose sequence depends on the seed alone, on every platform and
// library, so that one seed always gives the same centre.

#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <vector>

class TGenRandom {
public:
    explicit TGenRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double Unit() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    // In [lo, hi], both ends included.
    int Int(int lo, int hi) { return lo + int(Next() % std::uint64_t(hi - lo + 1)); }
    bool Chance(double p) { return Unit() < p; }
    // Skewed towards lo: most waits are short, a few are long.
    double Skewed(double lo, double hi, double power = 2.0) { return lo + (hi - lo) * std::pow(Unit(), power); }
    // Rounded to the given step (a weighbridge shows tens of kilograms).
    double Stepped(double lo, double hi, double step) { return std::round(Uniform(lo, hi) / step) * step; }
    template <class T>
    const T& Pick(const std::vector<T>& items) { return items[size_t(Next() % items.size())]; }
    QString Pick(const QStringList& items) { return items[int(Next() % std::uint64_t(items.size()))]; }
    // An index chosen by weight, given the running totals of the weights.
    size_t PickCumulative(const std::vector<double>& cumulative);
    // A generator of its own for one purpose, so that adding draws elsewhere leaves it unchanged.
    TGenRandom Fork(std::uint64_t salt) { return TGenRandom(Next() ^ (salt * 0xD1B54A32D192ED03ull)); }

private:
    std::uint64_t state_;
};
