#include "scale/uScaleReader.h"

#include "scale/uScalePort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <cmath>
#include <memory>

namespace {
QPointer<TScaleReader>& Running() {
    static QPointer<TScaleReader> reader;
    return reader;
}

bool SameLine(const TScaleSettings& a, const TScaleSettings& b) {
    return a.Port.trimmed() == b.Port.trimmed() && a.Baud == b.Baud && a.Format == b.Format;
}
}  // namespace

TScaleReader* TScaleReader::ForStation() {
    const TScaleSettings settings = LoadScaleSettings();
    QPointer<TScaleReader>& running = Running();
    if (running && (!settings.Enabled() || !SameLine(running->settings_, settings))) Forget();
    if (!settings.Enabled()) return nullptr;
    if (running) {
        // The same indicator with new limits: what it shows now stays, judged by the new rule.
        running->settings_ = settings;
        running->scale_.SetRule(settings.Rule());
        return running;
    }
    running = new TScaleReader(settings);
    running->port_->Start();
    return running;
}

void TScaleReader::Forget() {
    delete Running().data();
    Running() = nullptr;
}

TScaleReader::TScaleReader(const TScaleSettings& settings)
    : QObject(QCoreApplication::instance()), settings_(settings), scale_(settings.Rule()),
      lastSaved_(LoadLastSavedWeight()) {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    clock_ = [started] { return started->elapsed(); };
    port_ = new TScalePort(settings_, this);
    connect(port_, &TScalePort::Reading, this, [this](const TScaleReading& r) {
        scale_.Feed(r, clock_());
        emit Changed();
    });
    connect(port_, &TScalePort::Lost, this, [this] {
        scale_.Lost();
        emit Changed();
    });
}

bool TScaleReader::MaybeSavedBefore() const {
    return lastSaved_ && !scale_.SeenEmpty() && scale_.HasReading() &&
           std::abs(scale_.Last().Kg - *lastSaved_) <= scale_.Rule().Division;
}

std::optional<TScaleReading> TScaleReader::Capture() {
    std::optional<TScaleReading> taken = scale_.Capture();
    if (taken) emit Changed();
    return taken;
}

void TScaleReader::Saved(double kg) {
    lastSaved_ = kg;
    SaveLastSavedWeight(kg);
}
