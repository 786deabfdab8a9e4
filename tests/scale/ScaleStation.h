#pragma once
// A weighbridge station for tests: its Movelkar.ini in a temporary folder, put back on leaving,
// and its scale reader closed then, as at the program's end.

#include "scale/uScaleReader.h"
#include "scale/uScaleSettings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

class TScaleStation {
public:
    // No settings file at all: the station has no scale.
    TScaleStation() { SetScaleIniPath(dir_.filePath("Movelkar.ini")); }
    explicit TScaleStation(const TScaleSettings& settings) : TScaleStation() { Save(settings); }
    ~TScaleStation() {
        TScaleReader::Forget();
        SetScaleIniPath({});
    }
    TScaleStation(const TScaleStation&) = delete;
    TScaleStation& operator=(const TScaleStation&) = delete;

    void Save(const TScaleSettings& settings) { EXPECT_EQ(SaveScaleSettings(settings), QString()); }
    QString IniPath() const { return dir_.filePath("Movelkar.ini"); }

private:
    QTemporaryDir dir_;
};
