#pragma once
// When a weight on the scale may be taken. The indicator's own stable flag is not trusted
// alone (two of the formats have none): the program holds a weight stable only when it has
// stayed within one display division for the stability time, above the minimum weight and
// without overload. Times are given by the caller, in milliseconds on any steady clock.

#include "scale/uScaleFrame.h"

#include <QString>
#include <QtGlobal>

enum class TScaleState { Offline, Unstable, Stable, Overload };

// "稳定", "不稳定", "超载", "地磅未连接".
QString ScaleStateText(TScaleState state);

struct TScaleRule {
    double Division = 10;   // kilograms of one display step
    double MinWeight = 500; // kilograms; lighter loads are never taken
    qint64 StableMs = 2000;
};

class TScaleStable {
public:
    explicit TScaleStable(const TScaleRule& rule) : rule_(rule) {}

    void Feed(const TScaleReading& reading, qint64 nowMs);
    // The port was lost or fell silent.
    void Lost();

    TScaleState State() const;
    bool HasReading() const { return hasReading_; }
    const TScaleReading& Last() const { return last_; }
    bool AboveMinimum() const { return hasReading_ && last_.Kg >= rule_.MinWeight; }
    // A load taken once must leave the scale before the next can be taken.
    bool WaitingForLoadToLeave() const { return !armed_; }
    bool CanCapture() const;
    // The stable reading, taken; nothing when it may not be taken now.
    std::optional<TScaleReading> Capture();

private:
    bool Steady() const;

    TScaleRule rule_;
    bool online_ = false;
    bool hasReading_ = false;
    TScaleReading last_;
    qint64 now_ = 0;
    // The readings since windowStart_ all lie between low_ and high_.
    bool inWindow_ = false;
    qint64 windowStart_ = 0;
    double low_ = 0, high_ = 0;
    bool armed_ = true;
};
