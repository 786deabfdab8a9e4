#include "forms/uCsv.h"

#include "forms/uGrid.h"
#include "forms/uMsg.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringEncoder>
#include <stdexcept>

namespace {
bool LooksLikeFormula(const QString& text) {
    static const QRegularExpression plainNumber(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
    if (text.isEmpty()) return false;
    const QChar first = text.front();
    const bool risky = first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r';
    return risky && !plainNumber.match(text).hasMatch();
}
}  // namespace

QString CsvQuote(const QString& text) {
    QString field = LooksLikeFormula(text) ? "'" + text : text;
    field.replace('"', "\"\"");
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field + '"';
    return field;
}

QString CsvLine(const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields) quoted << CsvQuote(f);
    return quoted.join(',') + "\r\n";
}

void WriteCsvFile(const QString& path, const QStringList& header,
                  const std::function<void(const TCsvRowSink&)>& produceRows) {
    QStringEncoder encode("GB18030");
    if (!encode.isValid()) throw std::runtime_error("GB18030 encoder is not available");
    QByteArray bytes = encode(CsvLine(header));
    produceRows([&](const QStringList& fields) { bytes += encode(CsvLine(fields)); });

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            (QStringLiteral("无法写入文件：") + QDir::toNativeSeparators(path) + "（" + file.errorString() + "）")
                .toStdString());
}

QString AskExportPath(const QString& prefix, const QString& extension, const QString& filter) {
    return Prompter().SaveFileName(prefix + QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") + extension,
                                   filter);
}

void ExportCsv(const TQueryModel& model, const QString& prefix) {
    const QString path = AskExportPath(prefix, QStringLiteral(".csv"), QStringLiteral("CSV文件 (*.csv)"));
    if (path.isEmpty()) return;
    WriteCsvFile(path, model.Captions(), [&](const TCsvRowSink& sink) {
        model.ForEachRow([&](const std::vector<TValue>& row) {
            QStringList fields;
            fields.reserve(int(row.size()));
            for (const TValue& v : row) fields << v.AsText();  // stored value, not the grid's display form
            sink(fields);
        });
    });
    ShowInfo(QStringLiteral("已导出：") + QDir::toNativeSeparators(path));
}
