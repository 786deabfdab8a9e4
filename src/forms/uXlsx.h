#pragma once
// Excel export of any grid's query: the same header and rows as the CSV export, written as a
// workbook a spreadsheet opens without asking about encodings or separators.

#include "data/uValue.h"

#include <QStringList>
#include <functional>
#include <vector>

class TQueryModel;

// Writes one sheet: the header bold and frozen above the rows, numbers as numbers with two
// decimals where they have a fraction's column (weights, money), date-times and day texts
// ("2025-03-01") as dates, every column wide enough for what it holds. The file is replaced as a
// whole or left untouched. Raises std::runtime_error, in the user's words, on failure.
using TXlsxRowSink = std::function<void(const std::vector<TValue>& row)>;
void WriteXlsxFile(const QString& path, const QString& sheetName, const QStringList& header,
                   const std::function<void(const TXlsxRowSink&)>& produceRows);

// Asks for a file name (proposing prefix + yyyyMMdd_hhmmss + ".xlsx"), writes all rows of the
// model's query under its captions and tells the user where. Cancelling does nothing.
void ExportXlsx(const TQueryModel& model, const QString& prefix);
