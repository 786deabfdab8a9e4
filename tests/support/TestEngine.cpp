#include "support/TestEngine.h"

#include "data/uDM.h"
#include "data/uPgEngine.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSettings>

namespace {
TDbConfig ServerFromEnvironment() {
    TDbConfig server;
    server.Engine = TDbEngine::PostgreSQL;
    return server;
}
}  // namespace

bool TestOnServer() {
    static const bool onServer =
        qEnvironmentVariable("MOVELKAR_TEST_ENGINE").compare("postgresql", Qt::CaseInsensitive) == 0;
    return onServer;
}

std::optional<TDbConfig> TestServer() {
    static const std::optional<TDbConfig> server = []() -> std::optional<TDbConfig> {
        if (!TestOnServer() && qEnvironmentVariableIsEmpty("PGHOST")) return std::nullopt;
        const TDbConfig config = ServerFromEnvironment();
        QString reason;
        if (PostgresReachable(config, &reason)) return config;
        // A run that was asked to test the server must not pass by skipping it.
        if (TestOnServer()) qFatal("MOVELKAR_TEST_ENGINE=postgresql, but no server answers: %s", qPrintable(reason));
        return std::nullopt;
    }();
    return server;
}

TServerSchema::TServerSchema(const TDbConfig& server) : config_(server) {
    config_.Schema = QStringLiteral("t%1_%2")
                         .arg(QCoreApplication::applicationPid())
                         .arg(QRandomGenerator::global()->generate64() & 0xffffffffffffULL, 0, 36);
}

TServerSchema::~TServerSchema() {
    try {
        TDbConfig server = config_;
        server.Schema.clear();
        TDM dm(server);
        dm.Connect();
        dm.ExecSQLP("DROP SCHEMA IF EXISTS \"" + config_.Schema + "\" CASCADE");
    } catch (const TDbError&) {
        // A throw-away server is dropped whole at the end of the run.
    }
}

TTestDatabase::TTestDatabase(const QString& filePath) : file_(TDbConfig::File(filePath)) {
    if (TestOnServer()) schema_ = std::make_unique<TServerSchema>(*TestServer());
}

void TTestDatabase::WriteStationIni(const QString& iniPath) const {
    if (!Config().IsPostgres()) return;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("database"));
    ini.setValue("engine", "postgresql");
    ini.setValue("host", Config().Host);
    ini.setValue("port", Config().Port);
    ini.setValue("database", Config().Database);
    ini.setValue("user", Config().User);
    ini.setValue("schema", Config().Schema);
}
