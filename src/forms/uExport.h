#pragma once
// The two file forms every ledger, list and report exports to: CSV and Excel.

#include <QString>

class TQueryModel;

enum class TExportFormat { Csv, Excel };

// Asks for a file and writes all rows of the model's query in the chosen form, named by prefix.
void ExportGrid(const TQueryModel& model, const QString& prefix, TExportFormat format);
