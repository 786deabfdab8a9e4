#pragma once
// The weighbridge settings of this station, kept in Movelkar.ini beside the executable: each
// weighbridge PC has its own indicator and port. Without a port the scale is off and the
// registration is typed by hand.

#include "scale/uScaleFrame.h"
#include "scale/uScaleStable.h"

#include <QString>

struct TScaleSettings {
    QString Port;  // "COM3", "/dev/ttyUSB0"; empty: no scale
    int Baud = 9600;
    TScaleFormat Format = TScaleFormat::F1;
    double Division = 10;      // kilograms
    double MinWeight = 500;    // kilograms
    double StableSeconds = 2;
    double TareShare = 3;      // percent a tare may differ from the vehicle's usual tare unasked

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

// The settings dialog's boxes as typed.
struct TScaleSettingsInput {
    QString Port;
    int Baud = 9600;
    TScaleFormat Format = TScaleFormat::F1;
    QString Division, MinWeight, StableSeconds, TareShare;
};

enum class TScaleField { None, Port, Division, MinWeight, StableSeconds, TareShare };

struct TScaleSettingsCheck {
    QString Refusal;  // empty when acceptable
    TScaleField Focus = TScaleField::None;
    TScaleSettings Settings;
};

// The first box that cannot be used, or the settings it makes.
TScaleSettingsCheck CheckScaleSettings(const TScaleSettingsInput& in);
// The settings as the operation log records their change.
QString ScaleSettingsText(const TScaleSettings& s);
