#pragma once
// The serial line from the weighbridge indicator: opened with this station's settings, read
// into weights as the bytes come, and given up as lost when it fails or falls silent. A lost
// port is opened again every few seconds, so plugging the cable back in brings the weight back.

#include "scale/uScaleFrame.h"
#include "scale/uScaleSettings.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

class TScalePort : public QObject {
    Q_OBJECT
public:
    // An indicator sends several readings a second; this long without one means it is gone.
    static constexpr int kSilenceMs = 3000;
    static constexpr int kRetryMs = 3000;

    TScalePort(const TScaleSettings& settings, QObject* parent = nullptr);

    // Opens the port; a port that cannot be opened is reported lost and tried again later.
    void Start();
    bool IsOpen() const { return port_.isOpen(); }
    int Dropped() const { return reader_.Dropped(); }

signals:
    void Reading(const TScaleReading& reading);
    void Lost();

private:
    void ReadAvailable();
    void GiveUp();

    TScaleSettings settings_;
    QSerialPort port_;
    TScaleFrameReader reader_;
    QTimer silence_;
    QTimer retry_;
};
