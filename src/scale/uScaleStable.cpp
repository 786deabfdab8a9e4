#include "scale/uScaleStable.h"

#include <algorithm>

QString ScaleStateText(TScaleState state) {
    switch (state) {
    case TScaleState::Offline: return QStringLiteral("地磅未连接");
    case TScaleState::Unstable: return QStringLiteral("不稳定");
    case TScaleState::Stable: return QStringLiteral("稳定");
    case TScaleState::Overload: return QStringLiteral("超载");
    }
    return {};
}

void TScaleStable::Feed(const TScaleReading& reading, qint64 nowMs) {
    online_ = true;
    hasReading_ = true;
    last_ = reading;
    now_ = nowMs;
    if (!reading.Overload && reading.Kg < rule_.MinWeight) armed_ = true;

    const bool indicatorMoving = reading.IndicatorStable.has_value() && !*reading.IndicatorStable;
    if (reading.Overload || indicatorMoving) {
        inWindow_ = false;
        return;
    }
    const double low = std::min(low_, reading.Kg), high = std::max(high_, reading.Kg);
    if (!inWindow_ || high - low > rule_.Division) {
        inWindow_ = true;
        windowStart_ = nowMs;
        low_ = high_ = reading.Kg;
        return;
    }
    low_ = low;
    high_ = high;
}

void TScaleStable::Lost() {
    online_ = false;
    hasReading_ = false;
    inWindow_ = false;
}

bool TScaleStable::Steady() const { return inWindow_ && now_ - windowStart_ >= rule_.StableMs; }

TScaleState TScaleStable::State() const {
    if (!online_) return TScaleState::Offline;
    if (last_.Overload) return TScaleState::Overload;
    return Steady() ? TScaleState::Stable : TScaleState::Unstable;
}

bool TScaleStable::CanCapture() const { return State() == TScaleState::Stable && AboveMinimum() && armed_; }

std::optional<TScaleReading> TScaleStable::Capture() {
    if (!CanCapture()) return std::nullopt;
    armed_ = false;
    return last_;
}
