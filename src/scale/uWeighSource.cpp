#include "scale/uWeighSource.h"

namespace {
TWeighSource SourceNamed(const QString& detail, const QString& weight) {
    static const QString scale = WeighSourceText(TWeighSource::Scale);
    return detail.contains(weight + ":" + scale) ? TWeighSource::Scale : TWeighSource::Typed;
}
}  // namespace

QString WeighSourceText(TWeighSource source) {
    return source == TWeighSource::Scale ? QStringLiteral("地磅") : QStringLiteral("手工");
}

QString TWeighSources::Note() const {
    return QStringLiteral("毛重:") + WeighSourceText(Gross) + QStringLiteral(" 皮重:") + WeighSourceText(Tare);
}

TWeighSources TWeighSources::FromLogDetail(const QString& detail) {
    return {SourceNamed(detail, QStringLiteral("毛重")), SourceNamed(detail, QStringLiteral("皮重"))};
}
