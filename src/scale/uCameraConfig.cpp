#include "scale/uCameraConfig.h"

#include "scale/uScaleSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace {
QString Group(int slot) { return QStringLiteral("Camera%1").arg(slot); }
}  // namespace

QString DefaultCameraPasswordFile(int slot) {
    return QDir::homePath() + QStringLiteral("/.movelkar/camera%1.pass").arg(slot);
}

TCameraSecret ReadCameraPassword(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile f(path);
    if (!f.exists()) return {{}, QStringLiteral("相机密码文件不存在：") + shown};
#ifndef Q_OS_WIN
    // Windows keeps access in ACLs that QFile does not show; the profile folder guards it there.
    if (f.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        return {{}, QStringLiteral("相机密码文件其他用户也能读取，已拒绝使用（请只允许本用户读取，如 chmod 600）：") +
                        shown};
#endif
    if (!f.open(QIODevice::ReadOnly)) return {{}, QStringLiteral("无法读取相机密码文件：") + shown};
    // One line; the line end an editor adds is not part of the password.
    QString text = QString::fromUtf8(f.readAll());
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    if (end >= 0) text.truncate(end);
    if (text.endsWith(QLatin1Char('\r'))) text.chop(1);
    return {text, {}};
}

QList<TCameraConfig> LoadCameras() {
    QList<TCameraConfig> cameras;
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    for (int slot = 1; slot <= kCameraSlots; ++slot) {
        ini.beginGroup(Group(slot));
        TCameraConfig c;
        c.Slot = slot;
        c.Name = ini.value("name").toString().trimmed();
        if (c.Name.isEmpty()) c.Name = QString::number(slot);
        c.Url = ini.value("url").toString().trimmed();
        c.User = ini.value("user").toString().trimmed();
        c.PasswordFile = ini.value("password_file").toString().trimmed();
        ini.endGroup();
        if (!c.Enabled()) continue;
        if (!c.User.isEmpty()) {
            const TCameraSecret secret =
                ReadCameraPassword(c.PasswordFile.isEmpty() ? DefaultCameraPasswordFile(slot) : c.PasswordFile);
            c.Password = secret.Password;
            c.PasswordProblem = secret.Problem;
        }
        cameras << c;
    }
    return cameras;
}

QString SaveCameras(const QList<TCameraConfig>& cameras) {
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    for (int slot = 1; slot <= kCameraSlots; ++slot) ini.remove(Group(slot));
    for (const TCameraConfig& c : cameras) {
        if (c.Slot < 1 || c.Slot > kCameraSlots || !c.Enabled()) continue;
        ini.beginGroup(Group(c.Slot));
        ini.setValue("name", c.Name.trimmed());
        ini.setValue("url", c.Url.trimmed());
        ini.setValue("user", c.User.trimmed());
        if (!c.PasswordFile.trimmed().isEmpty()) ini.setValue("password_file", c.PasswordFile.trimmed());
        ini.endGroup();
    }
    ini.sync();
    if (ini.status() == QSettings::NoError) return {};
    return QStringLiteral("无法保存相机设置：") + QDir::toNativeSeparators(ScaleIniPath()) +
           QStringLiteral("（文件夹不可写或文件被占用）");
}

QString SaveCameraPassword(const QString& path, const QString& password) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QStringLiteral("无法写入相机密码文件：") + QDir::toNativeSeparators(path);
    // Narrowed before the password goes in, so it is never readable by others even for a moment.
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.write(password.toUtf8());
    if (!f.commit()) return QStringLiteral("无法写入相机密码文件：") + QDir::toNativeSeparators(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return {};
}
