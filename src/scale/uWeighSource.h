#pragma once
// Where the gross and the tare of a registration came from: read off the weighbridge or typed
// by hand. It is written into the registration's log row ("毛重:地磅 皮重:手工"), the one
// record a farmer's dispute is settled from, and read back from there for a reprinted ticket.

#include <QString>

enum class TWeighSource { Typed, Scale };

// "手工" or "地磅".
QString WeighSourceText(TWeighSource source);

struct TWeighSources {
    TWeighSource Gross = TWeighSource::Typed;
    TWeighSource Tare = TWeighSource::Typed;

    // "毛重:地磅 皮重:手工".
    QString Note() const;
    // The sources a log detail names; a weight it does not name was typed.
    static TWeighSources FromLogDetail(const QString& detail);
};
