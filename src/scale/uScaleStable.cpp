#include "scale/uScaleStable.h"

#include <algorithm>
#include <cmath>

QString ScaleStateText(TScaleState state) {
    switch (state) {
    case TScaleState::Offline: return QStringLiteral("地磅未连接");
    case TScaleState::Unstable: return QStringLiteral("不稳定");
    case TScaleState::Stable: return QStringLiteral("稳定");
    case TScaleState::Overload: return QStringLiteral("超载");
    case TScaleState::Underload: return QStringLiteral("欠载");
    case TScaleState::Net: return QStringLiteral("净重");
    case TScaleState::Damaged: return QStringLiteral("数据错误");
    }
    return {};
}

namespace {
// Decimals a division shows: 10 and 1 none, 0.5 one, 0.02 two.
int DivisionDecimals(double division) {
    int decimals = 0;
    while (decimals < 4 && std::abs(division * std::pow(10.0, decimals) - std::round(division * std::pow(10.0, decimals))) > 1e-9)
        ++decimals;
    return decimals;
}
}  // namespace

void TScaleStable::Feed(const TScaleReading& reading, qint64 nowMs) {
    online_ = true;
    hasReading_ = true;
    last_ = reading;
    now_ = nowMs;
    if (last_.IsWeight() && last_.Pounds) {
        last_.Kg = std::round(last_.Kg / rule_.Division) * rule_.Division;
        last_.Decimals = DivisionDecimals(rule_.Division);
    }
    // The load has left: gross below the minimum, or the indicator below zero.
    const bool empty = (last_.IsWeight() && !last_.Net && last_.Kg < rule_.MinWeight) ||
                       last_.Signal == TScaleSignal::Underload;
    if (empty) armed_ = seenEmpty_ = true;

    const bool indicatorMoving = last_.IndicatorStable.has_value() && !*last_.IndicatorStable;
    if (!last_.IsWeight() || last_.Net || indicatorMoving) {
        inWindow_ = false;
        return;
    }
    const double low = std::min(low_, last_.Kg), high = std::max(high_, last_.Kg);
    if (!inWindow_ || high - low > rule_.Division) {
        inWindow_ = true;
        windowStart_ = nowMs;
        frames_ = 1;
        low_ = high_ = last_.Kg;
        return;
    }
    ++frames_;
    low_ = low;
    high_ = high;
}

void TScaleStable::Lost() {
    online_ = false;
    hasReading_ = false;
    inWindow_ = false;
}

bool TScaleStable::Steady() const {
    return inWindow_ && now_ - windowStart_ >= rule_.StableMs && frames_ >= rule_.StableFrames;
}

TScaleState TScaleStable::State() const {
    if (!online_) return TScaleState::Offline;
    switch (last_.Signal) {
    case TScaleSignal::Overload: return TScaleState::Overload;
    case TScaleSignal::Underload: return TScaleState::Underload;
    case TScaleSignal::Damaged: return TScaleState::Damaged;
    case TScaleSignal::Weight: break;
    }
    if (last_.Net) return TScaleState::Net;
    return Steady() ? TScaleState::Stable : TScaleState::Unstable;
}

bool TScaleStable::CanCapture() const { return State() == TScaleState::Stable && AboveMinimum() && armed_; }

std::optional<TScaleReading> TScaleStable::Capture() {
    if (!CanCapture()) return std::nullopt;
    armed_ = false;
    return last_;
}
