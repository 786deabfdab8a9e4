#include "workflow/uLossAllowance.h"

#include "app/uStartup.h"

#include <QSettings>

double ReadLossAllowance(const QString& iniPath) {
    const QSettings settings(iniPath, QSettings::IniFormat);
    bool ok = false;
    const double allowance = settings.value(QStringLiteral("loss/allowance")).toString().trimmed().toDouble(&ok);
    return ok && allowance >= 0 && allowance < 100 ? allowance : kDefaultLossAllowance;
}

double LossAllowance() { return ReadLossAllowance(TAppPaths::OfThisProgram().StationIni()); }
