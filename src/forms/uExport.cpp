#include "forms/uExport.h"

#include "forms/uCsv.h"
#include "forms/uXlsx.h"

void ExportGrid(const TQueryModel& model, const QString& prefix, TExportFormat format) {
    if (format == TExportFormat::Excel)
        ExportXlsx(model, prefix);
    else
        ExportCsv(model, prefix);
}
