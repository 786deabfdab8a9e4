#pragma once
// The station's one weighbridge: its port and what the scale now shows, shared by every
// registration dialog and kept while the program runs. A load taken in one dialog is therefore
// taken in none other until it has left the scale, whichever dialog was cancelled meanwhile.

#include "scale/uScaleSettings.h"
#include "scale/uScaleStable.h"

#include <QObject>
#include <functional>
#include <optional>

class TScalePort;

class TScaleReader : public QObject {
    Q_OBJECT
public:
    // The reader for this station's settings as they now stand: the running one when its port
    // is the same, a new one otherwise. Nothing when the station has no scale port.
    static TScaleReader* ForStation();
    // Closes the running reader; the next ForStation starts afresh, as after a restart.
    static void Forget();

    const TScaleStable& Scale() const { return scale_; }
    TScalePort* Port() const { return port_; }
    const TScaleSettings& Settings() const { return settings_; }

    // Whether the weight now on the scale may be the load saved last before this program
    // started: within one division of it, and the scale not seen empty since the start.
    bool MaybeSavedBefore() const;
    // The stable weight, taken; nothing when it may not be taken now.
    std::optional<TScaleReading> Capture();
    // A registration kept a weight taken from this scale.
    void Saved(double kg);

    // Milliseconds on a steady clock; tests set their own.
    void SetClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

signals:
    // The scale's state or reading changed.
    void Changed();

private:
    explicit TScaleReader(const TScaleSettings& settings);

    TScaleSettings settings_;
    TScaleStable scale_;
    TScalePort* port_ = nullptr;
    std::function<qint64()> clock_;
    std::optional<double> lastSaved_;
};
