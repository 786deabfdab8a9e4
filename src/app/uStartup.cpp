#include "app/uStartup.h"

#include "data/uDM.h"
#include "data/uDbHealth.h"
#include "data/uDbInit.h"
#include "data/uDbUpgrade.h"
#include "forms/uMsg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {
QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

void WriteInitErrorLog(const TAppPaths& paths, const QString& message) {
    QFile file(paths.InitErrorLog());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;  // nowhere to report it but the box
    QString text = message;
    text.replace("\r\n", "\n");
    for (const QString& line : text.split('\n')) file.write((line + "\r\n").toUtf8());
}

// The newest copy in the backup folder, or empty when there is none.
QString NewestBackup(const TAppPaths& paths) {
    const QFileInfoList copies =
        QDir(paths.BackupDir()).entryInfoList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Time);
    return copies.isEmpty() ? QString() : Native(copies.first().absoluteFilePath());
}

QString RestoreAdvice(const TAppPaths& paths) {
    const QString backup = NewestBackup(paths);
    if (backup.isEmpty())
        return QStringLiteral("Backup 文件夹中没有备份。请不要删除或改动这个文件，联系技术人员修复。");
    return QStringLiteral("最近的备份：") + backup + QStringLiteral("\r\n恢复方法：关闭本程序，把这个备份文件复制到 ") +
           TAppPaths::DbShownName() +
           QStringLiteral(" 覆盖原文件，再重新启动本程序。覆盖前请把原文件另存一份，交技术人员查看。");
}

QString HealthMessage(const TAppPaths& paths, const TDbHealth& h) {
    const QString file = Native(paths.DbPath());
    switch (h.Fault) {
    case TDbFault::None: break;
    case TDbFault::Damaged:
        return QStringLiteral("数据库文件已损坏或不是本系统的数据库：") + file + QStringLiteral("\r\n（") + h.Detail +
               QStringLiteral("）\r\n") + RestoreAdvice(paths);
    case TDbFault::MissingTables:
        return QStringLiteral("数据库文件不完整，缺少数据表：") + h.Detail + "\r\n" + file + "\r\n" + RestoreAdvice(paths);
    case TDbFault::ReadOnly:
        return QStringLiteral("数据库文件为只读，无法保存任何记录：") + file +
               QStringLiteral("\r\n请在文件属性中去掉“只读”，然后重新启动本程序。");
    case TDbFault::FolderReadOnly:
        return QStringLiteral("数据库文件为只读：所在的文件夹不能写入，无法保存任何记录：") + h.Detail +
               QStringLiteral("\r\n请让本机用户可以写入这个文件夹（检查文件夹权限，或是否被杀毒软件拦截），然后重新启动本程序。");
    case TDbFault::Unreadable:
        return QStringLiteral("无法打开数据库文件：") + file + QStringLiteral("\r\n（") + h.Detail +
               QStringLiteral("）\r\n请检查文件的权限，或是否被杀毒软件拦截，然后重新启动本程序。");
    case TDbFault::Unreachable:
        return QStringLiteral("无法连接数据库服务器：") + h.Detail +
               QStringLiteral("\r\n请检查服务器是否已启动、网络是否连通，以及 Movelkar.ini 中 [database] 的设置。");
    case TDbFault::Busy:
        return QStringLiteral("数据库连接失败：数据库正被其他程序或其他电脑占用。\r\n请关闭占用它的程序后重新启动本程序。");
    }
    return {};
}

QString EmptyFileNotice(const TAppPaths& paths, const QString& aside) {
    const QString backup = NewestBackup(paths);
    QString text = QStringLiteral("数据库文件是空的（0 字节），其中没有任何记录。原文件已改名保留为：") + aside +
                   QStringLiteral("\r\n已按首次启动新建了数据库，初始登录为 admin / 846。\r\n");
    if (backup.isEmpty()) return text + QStringLiteral("Backup 文件夹中没有可以恢复的备份。");
    return text + QStringLiteral("如需找回以前的记录：关闭本程序，把最近的备份 ") + backup +
           QStringLiteral(" 复制到 ") + TAppPaths::DbShownName() + QStringLiteral(" 覆盖新建的文件，再重新启动本程序。");
}

// Several stations share a server: nothing to set aside, no page check of a file. The tables
// are made when the database is new; a station that finds some missing stops.
std::unique_ptr<TDM> PrepareServerDatabase(const TAppPaths& paths, const TDbConfig& config, const TSchema& schema) {
    try {
        EnsureDatabase(config, paths.BackupDir(), schema);
    } catch (const TDbError& e) {
        const QString message = QStringLiteral("数据库初始化失败：") + e.Message() + QStringLiteral("\r\n") +
                                config.Describe() +
                                QStringLiteral("\r\n请检查服务器是否已启动，以及 Movelkar.ini 中 [database] 的设置。");
        WriteInitErrorLog(paths, message);
        ShowError(message);
        return nullptr;
    }
    if (const TDbHealth health = CheckServerDatabase(config, TablesBeforeUpgrade(schema)); !health.Healthy()) {
        const QString message = health.Fault == TDbFault::MissingTables
                                    ? QStringLiteral("数据库不完整，缺少数据表：") + health.Detail + "\r\n" + config.Describe() +
                                          QStringLiteral("\r\n请联系技术人员，从最近的备份恢复。")
                                    : HealthMessage(paths, health);
        WriteInitErrorLog(paths, message);
        ShowError(message);
        return nullptr;
    }
    auto dm = std::make_unique<TDM>(config);
    try {
        dm->Connect();
    } catch (const TDbError& e) {
        ShowError(QStringLiteral("数据库连接失败：") + e.Message());
        return nullptr;
    }
    return dm;
}
std::unique_ptr<TDM> PrepareFileDatabase(const TAppPaths& paths, const TSchema& schema) {
    QString setAside;
    try {
        setAside = SetAsideEmptyDatabase(paths.DbPath());
        EnsureDatabase(paths.DbPath(), paths.BackupDir(), schema);
    } catch (const TDbError& e) {
        WriteInitErrorLog(paths, e.Message());
        ShowError(QStringLiteral("数据库初始化失败：") + e.Message() +
                  QStringLiteral("\r\n请确认程序目录可写、未被杀毒软件拦截，且本程序在本机目录下运行。"));
        return nullptr;
    }
    if (const TDbHealth health = CheckDatabaseFile(paths.DbPath(), TablesBeforeUpgrade(schema)); !health.Healthy()) {
        const QString message = HealthMessage(paths, health);
        WriteInitErrorLog(paths, message);
        ShowError(message);
        return nullptr;
    }
    auto dm = std::make_unique<TDM>(paths.DbPath());
    try {
        if (!dm->Connect()) {
            ShowError(QStringLiteral("数据库连接失败：") + Native(paths.DbPath()));
            return nullptr;
        }
    } catch (const TDbError& e) {
        ShowError(QStringLiteral("数据库连接失败：") + e.Message());
        return nullptr;
    }
    if (!setAside.isEmpty()) {
        const QString notice = EmptyFileNotice(paths, setAside);
        WriteInitErrorLog(paths, notice);
        ShowWarn(notice);
    }
    return dm;
}

// A database made by an earlier version gets what this one stores before anyone logs in.
std::unique_ptr<TDM> Upgraded(const TAppPaths& paths, std::unique_ptr<TDM> dm) {
    if (!dm) return dm;
    if (const QString refusal = UpgradeDatabase(*dm); !refusal.isEmpty()) {
        WriteInitErrorLog(paths, refusal);
        ShowError(refusal);
        return nullptr;
    }
    return dm;
}
}  // namespace

TDbConfig TAppPaths::Database() const { return ReadDbConfig(StationIni(), DbPath()); }

TAppPaths TAppPaths::BesideExecutable() {
    return TAppPaths{QDir(QCoreApplication::applicationDirPath()).absolutePath() + "/"};
}

QString TAppPaths::DbShownName() { return Native(QStringLiteral("Data/Movelkar.mdb")); }

std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths) { return PrepareDatabase(paths, MovelkarSchema()); }

std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths, const TSchema& schema) {
    const TDbConfig config = paths.Database();
    return Upgraded(paths, config.IsPostgres() ? PrepareServerDatabase(paths, config, schema) : PrepareFileDatabase(paths, schema));
}
