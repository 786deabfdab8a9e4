#include "app/uStartup.h"

#include "data/uDM.h"
#include "data/uDbInit.h"
#include "forms/uMsg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {
void WriteInitErrorLog(const TAppPaths& paths, const QString& message) {
    QFile file(paths.InitErrorLog());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;  // nowhere to report it but the box
    QString text = message;
    text.replace("\r\n", "\n");
    for (const QString& line : text.split('\n')) file.write((line + "\r\n").toUtf8());
}
}  // namespace

TAppPaths TAppPaths::BesideExecutable() {
    return TAppPaths{QDir(QCoreApplication::applicationDirPath()).absolutePath() + "/"};
}

std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths) { return PrepareDatabase(paths, MovelkarSchema()); }

std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths, const TSchema& schema) {
    try {
        EnsureDatabase(paths.DbPath(), paths.BackupDir(), schema);
    } catch (const TDbError& e) {
        WriteInitErrorLog(paths, e.Message());
        ShowError(QStringLiteral("数据库初始化失败：") + e.Message() +
                  QStringLiteral("\r\n请确认程序目录可写、未被杀毒软件拦截，且本程序在本机目录下运行。"));
        return nullptr;
    }
    auto dm = std::make_unique<TDM>(paths.DbPath());
    try {
        if (!dm->Connect()) {
            ShowError(QStringLiteral("数据库连接失败：") + QDir::toNativeSeparators(paths.DbPath()));
            return nullptr;
        }
    } catch (const TDbError& e) {
        ShowError(QStringLiteral("数据库连接失败：") + e.Message());
        return nullptr;
    }
    return dm;
}
