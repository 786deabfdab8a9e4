#include "scale/uScalePort.h"

TScalePort::TScalePort(const TScaleSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), reader_(settings.Format) {
    silence_.setSingleShot(true);
    silence_.setInterval(kSilenceMs);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&silence_, &QTimer::timeout, this, &TScalePort::Lost);
    connect(&retry_, &QTimer::timeout, this, &TScalePort::Start);
    connect(&port_, &QSerialPort::readyRead, this, &TScalePort::ReadAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // A timeout is only a wait that ended; an unplugged cable or a dead driver is not.
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError && port_.isOpen()) GiveUp();
    });
}

void TScalePort::Start() {
    if (port_.isOpen()) return;
    port_.setPortName(settings_.Port.trimmed());
    port_.setBaudRate(settings_.Baud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadOnly)) {
        GiveUp();
        return;
    }
    silence_.start();
}

void TScalePort::ReadAvailable() {
    for (const TScaleReading& r : reader_.Feed(port_.readAll())) {
        silence_.start();
        emit Reading(r);
    }
}

void TScalePort::GiveUp() {
    silence_.stop();
    if (port_.isOpen()) port_.close();
    emit Lost();
    retry_.start();
}
