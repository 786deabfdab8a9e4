#include "app/uDataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
QString WithSlash(const QString& dir) { return dir.endsWith('/') ? dir : dir + '/'; }

bool IsSystemProgramFolder(const QString& exeDir) {
    const QString dir = QDir::cleanPath(exeDir);
    return dir == QLatin1String("/usr/bin") || dir == QLatin1String("/usr/local/bin") ||
           dir == QLatin1String("/bin");
}
}  // namespace

TDataDir ChooseDataDir(const QString& exeDir, const QString& systemIni) {
    if (!IsSystemProgramFolder(exeDir)) return {WithSlash(QDir(exeDir).absolutePath()), false};
    QString dir = QString::fromUtf8(kSharedDataDir);
    if (QFile::exists(systemIni)) {
        const QString named = QSettings(systemIni, QSettings::IniFormat).value("paths/DataDir").toString().trimmed();
        if (!named.isEmpty() && QDir::isAbsolutePath(named)) dir = QDir::cleanPath(named);
    }
    return {WithSlash(dir), true};
}

TDataDir ProgramDataDir() {
    static const TDataDir chosen = [] {
        TDataDir d = ChooseDataDir(QCoreApplication::applicationDirPath());
        if (d.Shared) {
#ifdef Q_OS_UNIX
            ::umask(0002);
#endif
            QDir().mkpath(d.Dir);
        }
        return d;
    }();
    return chosen;
}

void OpenToGroup(const QString& path) {
    if (!ProgramDataDir().Shared || !QFile::exists(path)) return;
    const QFileDevice::Permissions now = QFile::permissions(path);
    const QFileDevice::Permissions wanted = now | QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    if (now != wanted) QFile::setPermissions(path, wanted);
}
