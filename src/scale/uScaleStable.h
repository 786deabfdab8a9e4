#pragma once
// When a weight on the scale may be taken. The indicator's own stable flag is not trusted
// alone (two of the formats have none): the program holds a weight stable only when its
// readings have stayed within one display division for the whole stability time, with at least
// the set number of them, above the minimum weight. Anything else the indicator says — over or
// under its range, in motion, net, a damaged frame — ends that at once. Times are given by the
// caller, in milliseconds on any steady clock.

#include "scale/uScaleFrame.h"

#include <QString>
#include <QtGlobal>

enum class TScaleState { Offline, Unstable, Stable, Overload, Underload, Net, Damaged };

// "稳定", "不稳定", "超载", "欠载", "净重", "数据错误", "地磅未连接".
QString ScaleStateText(TScaleState state);

struct TScaleRule {
    double Division = 10;   // kilograms of one display step
    double MinWeight = 500; // kilograms; lighter loads are never taken
    qint64 StableMs = 2000;
    int StableFrames = 5;   // readings at least, within one division, during the stability time
};

class TScaleStable {
public:
    explicit TScaleStable(const TScaleRule& rule) : rule_(rule) {}

    void SetRule(const TScaleRule& rule) { rule_ = rule; }
    const TScaleRule& Rule() const { return rule_; }

    // A reading in pounds is rounded here, once converted, to the division.
    void Feed(const TScaleReading& reading, qint64 nowMs);
    // The port was lost or fell silent.
    void Lost();

    TScaleState State() const;
    bool HasReading() const { return hasReading_; }
    const TScaleReading& Last() const { return last_; }
    bool AboveMinimum() const { return hasReading_ && last_.IsWeight() && last_.Kg >= rule_.MinWeight; }
    // A load taken once must leave the scale before the next can be taken.
    bool WaitingForLoadToLeave() const { return !armed_; }
    // Whether the scale has been seen empty (below the minimum) since this program began.
    bool SeenEmpty() const { return seenEmpty_; }
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
    // The readings since windowStart_, frames_ of them, all lie between low_ and high_.
    bool inWindow_ = false;
    qint64 windowStart_ = 0;
    int frames_ = 0;
    double low_ = 0, high_ = 0;
    bool armed_ = true;
    bool seenEmpty_ = false;
};
