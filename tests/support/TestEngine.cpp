#include "support/TestEngine.h"

#include "data/uDM.h"
#include "data/uPgEngine.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSettings>

bool TestOnServer() {
    static const bool onServer =
        qEnvironmentVariable("MOVELKAR_TEST_ENGINE").compare("postgresql", Qt::CaseInsensitive) == 0;
    return onServer;
}

std::optional<TDbConfig> TestServer() {
    static const std::optional<TDbConfig> server = []() -> std::optional<TDbConfig> {
        if (!TestOnServer() && qEnvironmentVariableIsEmpty("PGHOST")) return std::nullopt;
        TDbConfig config;  // the rest comes from PGHOST and the other PG variables
        config.Engine = TDbEngine::PostgreSQL;
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
    const TDbConfig& c = Config();
    for (const auto& [key, value] : {std::pair<QString, QVariant>{"engine", "postgresql"}, {"host", c.Host}, {"port", c.Port},
                                     {"database", c.Database}, {"user", c.User}, {"schema", c.Schema}})
        ini.setValue("database/" + key, value);
}
