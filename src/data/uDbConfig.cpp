#include "data/uDbConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {
QString Quoted(const QString& value) {
    QString v = value;
    v.replace("\\", "\\\\").replace("'", "\\'");
    return "'" + v + "'";
}
}  // namespace

TDbConfig TDbConfig::File(const QString& path) {
    TDbConfig c;
    c.Path = path;
    return c;
}

QString TDbConfig::SchemaName() const { return Schema.isEmpty() ? QStringLiteral("public") : Schema; }

QString TDbConfig::ConnInfo() const {
    QStringList parts;
    const auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) parts << QString::fromLatin1(key) + "=" + Quoted(value);
    };
    add("host", Host);
    add("port", Port);
    add("dbname", Database);
    add("user", User);
    parts << "client_encoding='UTF8'" << "application_name='Movelkar'" << "connect_timeout='10'";
    return parts.join(' ');
}

QString TDbConfig::Describe() const {
    if (!IsPostgres()) return QStringLiteral("SQLite 数据库文件 ") + QDir::toNativeSeparators(Path);
    const QString host = Host.isEmpty() ? QStringLiteral("本机") : Host;
    QString text = QStringLiteral("PostgreSQL 数据库 %1（服务器 %2").arg(Database.isEmpty() ? User : Database, host);
    if (!Port.isEmpty()) text += QStringLiteral("，端口 ") + Port;
    if (!Schema.isEmpty()) text += QStringLiteral("，模式 ") + Schema;
    return text + QStringLiteral("）");
}

TDbConfig DbConfigFromArg(const QString& arg) {
    static const QString prefix = QStringLiteral("postgresql:");
    if (!arg.startsWith(prefix)) return TDbConfig::File(arg);
    TDbConfig config;
    config.Engine = TDbEngine::PostgreSQL;
    config.Schema = arg.mid(prefix.size());
    return config;
}

TDbConfig ReadDbConfig(const QString& iniPath, const QString& sqlitePath) {
    TDbConfig config = TDbConfig::File(sqlitePath);
    if (!QFileInfo::exists(iniPath)) return config;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("database"));
    if (ini.value("engine").toString().trimmed().compare("postgresql", Qt::CaseInsensitive) != 0) return config;
    config.Engine = TDbEngine::PostgreSQL;
    config.Host = ini.value("host").toString().trimmed();
    config.Port = ini.value("port").toString().trimmed();
    config.Database = ini.value("database").toString().trimmed();
    config.User = ini.value("user").toString().trimmed();
    config.Schema = ini.value("schema").toString().trimmed();
    return config;
}
