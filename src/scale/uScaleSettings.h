#pragma once
// The weighbridge settings of this station, kept in Movelkar.ini beside the executable: each
// weighbridge PC has its own indicator and port. Without a port the scale is off and the
// registration is typed by hand.

#include "scale/uScaleFrame.h"
#include "scale/uScaleStable.h"

#include <QString>
#include <optional>

struct TScaleSettings {
    QString Port;  // "COM3", "/dev/ttyUSB0"; empty: no scale
    int Baud = 9600;
    TScaleFormat Format = TScaleFormat::F1;
    double Division = 10;      // kilograms
    double MinWeight = 500;    // kilograms
    double StableSeconds = 2;
    int StableFrames = 5;      // readings within one division the stability time must hold at least
    double TareShare = 3;      // percent a tare may differ from the vehicle's usual tare unasked
    bool PrintTicket = true;   // offer the weighing ticket after each new registration, scale or none

    bool Enabled() const { return !Port.trimmed().isEmpty(); }
    TScaleRule Rule() const;
};

// The baud rates the indicators offer.
const QList<int>& ScaleBauds();

// The settings file of this station; tests put it elsewhere with SetScaleIniPath (empty restores).
QString ScaleIniPath();
void SetScaleIniPath(const QString& path);

// What the file says; missing or unreadable values keep their defaults.
TScaleSettings LoadScaleSettings();
// An empty text when written, otherwise why not ("无法保存地磅设置：…").
QString SaveScaleSettings(const TScaleSettings& settings);

// The last weight taken off this station's scale and saved, kept across restarts: a load still
// on the scale when the program started again is not taken a second time unasked. Nothing when
// none was ever saved.
std::optional<double> LoadLastSavedWeight();
void SaveLastSavedWeight(double kg);

// The settings dialog's boxes as typed.
struct TScaleSettingsInput {
    QString Port;
    int Baud = 9600;
    TScaleFormat Format = TScaleFormat::F1;
    QString Division, MinWeight, StableSeconds, StableFrames, TareShare;
    bool PrintTicket = true;
};

enum class TScaleField { None, Port, Division, MinWeight, StableSeconds, StableFrames, TareShare };

struct TScaleSettingsCheck {
    QString Refusal;  // empty when acceptable
    TScaleField Focus = TScaleField::None;
    TScaleSettings Settings;
};

// The first box that cannot be used, or the settings it makes.
TScaleSettingsCheck CheckScaleSettings(const TScaleSettingsInput& in);
// The settings as the operation log records their change.
QString ScaleSettingsText(const TScaleSettings& s);
