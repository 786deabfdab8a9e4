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
    F3,  // XK3190-A12: "WG"/"WN", 7 display characters, "kg" or "lb", XOR, CR LF; nine blanks and "OL"/"LO" beyond range
    F4,  // Toledo continuous: STX, status A/B/C, 6 digits weight, 6 digits tare, CR, optional checksum
    F5,  // text lines "ST,GS,+0024560 kg", ending in CR LF, LF or CR alone
};

// The formats as the settings list them, in order, and back.
QStringList ScaleFormatNames();
QString ScaleFormatName(TScaleFormat format);
std::optional<TScaleFormat> ScaleFormatFromName(const QString& name);

// What a frame says: a weight, or why it carries none that may be used.
enum class TScaleSignal {
    Weight,
    Overload,   // beyond the scale's capacity
    Underload,  // below zero beyond the indicator's range
    Damaged,    // a frame begun but broken, garbled, failing its checksum or in a unit that is no weight
};

struct TScaleReading {
    TScaleSignal Signal = TScaleSignal::Weight;
    double Kg = 0;
    int Decimals = 0;  // as the indicator displays the weight
    // The indicator shows the net weight (its own tare taken off): never a gross or a tare.
    bool Net = false;
    // The indicator weighs in pounds; Kg holds them converted exactly, not yet to the division.
    bool Pounds = false;
    // The indicator's own stable flag, for the formats that carry one (F4, F5).
    std::optional<bool> IndicatorStable;

    bool IsWeight() const { return Signal == TScaleSignal::Weight; }
    bool Negative() const { return Kg < 0; }
    // The weight as the indicator displays it ("24560", "3.000").
    QString Text() const;
};

class TScaleFrameReader {
public:
    explicit TScaleFrameReader(TScaleFormat format) : format_(format) {}

    // The readings of every frame completed by this chunk, oldest first; a frame that began but
    // could not be read comes as a Damaged reading in its place.
    std::vector<TScaleReading> Feed(QByteArrayView chunk);
    // Frames that began but were broken, garbled or failed their checksum.
    int Dropped() const { return dropped_; }

private:
    void ReadFrames(std::vector<TScaleReading>& out);
    void ReadLines(std::vector<TScaleReading>& out);
    void Drop(std::vector<TScaleReading>& out);
    void SkipJunk(qsizetype bytes, std::vector<TScaleReading>& out);

    TScaleFormat format_;
    QByteArray pending_;
    int dropped_ = 0;
    qsizetype junk_ = 0;  // bytes skipped since the last frame, broken or whole
};
