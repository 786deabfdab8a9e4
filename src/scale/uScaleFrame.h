#pragma once
// What a truck-scale indicator sends over its serial line, read into weights. Indicators send
// their reading continuously; a read from the port may end in the middle of a frame, start
// with the tail of one, or carry line noise, so the reader keeps what it has not yet used.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The output formats of the indicators found on Chinese weighbridges.
enum class TScaleFormat {
    F1,  // XK3190-A9 family, continuous mode tF=0: STX, sign, 6 digits, decimals, XOR, ETX
    F2,  // "=" followed by the display, least significant character first, then the sign
    F3,  // XK3190-A12: "WG"/"WN", 7 display characters, "kg", XOR, CR LF
    F4,  // Toledo continuous: STX, status A/B/C, 6 digits weight, 6 digits tare, CR, optional checksum
    F5,  // text lines "ST,GS,+0024560 kg"
};

// The formats as the settings list them, in order, and back.
QStringList ScaleFormatNames();
QString ScaleFormatName(TScaleFormat format);
std::optional<TScaleFormat> ScaleFormatFromName(const QString& name);

struct TScaleReading {
    double Kg = 0;
    int Decimals = 0;  // as the indicator displays the weight
    bool Overload = false;
    // The indicator's own stable flag, for the formats that carry one (F4, F5).
    std::optional<bool> IndicatorStable;

    bool Negative() const { return Kg < 0; }
    // The weight as the indicator displays it ("24560", "3.000").
    QString Text() const;
};

class TScaleFrameReader {
public:
    explicit TScaleFrameReader(TScaleFormat format) : format_(format) {}

    // The readings of every frame completed by this chunk, oldest first.
    std::vector<TScaleReading> Feed(QByteArrayView chunk);
    // Frames that began but were broken, garbled or failed their checksum.
    int Dropped() const { return dropped_; }

private:
    void ReadFrames(std::vector<TScaleReading>& out);
    void ReadLines(std::vector<TScaleReading>& out);

    TScaleFormat format_;
    QByteArray pending_;
    int dropped_ = 0;
};
