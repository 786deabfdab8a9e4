#pragma once
// CSV export of any grid's query, in the encoding Chinese spreadsheet users open directly.

#include "data/uValue.h"

#include <QStringList>
#include <functional>

class TQueryModel;

// One field: quoted when it holds a comma, a quote or a line break (inner quotes doubled).
// Text that a spreadsheet would run as a formula is prefixed with "'"; plain numbers stay numbers.
QString CsvQuote(const QString& text);
QString CsvLine(const QStringList& fields);

// Writes the header and every row the producer hands over, GB18030, CR LF after every line,
// replacing the file as a whole or leaving it untouched. Raises std::runtime_error on failure.
using TCsvRowSink = std::function<void(const QStringList& fields)>;
void WriteCsvFile(const QString& path, const QStringList& header,
                  const std::function<void(const TCsvRowSink&)>& produceRows);

// Asks where an export goes, proposing prefix + yyyyMMdd_hhmmss + extension; empty when cancelled.
QString AskExportPath(const QString& prefix, const QString& extension, const QString& filter);

// Asks for a file name (proposing prefix + yyyyMMdd_hhmmss + ".csv"), writes all rows of the
// model's query under its captions and tells the user where. Cancelling does nothing.
void ExportCsv(const TQueryModel& model, const QString& prefix);
