#pragma once
// Which engine this run of the suite tests. MOVELKAR_TEST_ENGINE=postgresql runs every test
// database on the server named by PGHOST, PGPORT, PGUSER and PGDATABASE (tools/pg/cluster
// starts a throw-away one); otherwise each test has its own file.

#include "data/uDbConfig.h"

#include <gtest/gtest.h>
#include <optional>

bool TestOnServer();

// The server, for tests that need one whichever engine the run tests; nullopt when none answers.
std::optional<TDbConfig> TestServer();

// A fresh schema of its own on the server, dropped with this object.
class TServerSchema {
public:
    explicit TServerSchema(const TDbConfig& server);
    ~TServerSchema();
    TServerSchema(const TServerSchema&) = delete;
    TServerSchema& operator=(const TServerSchema&) = delete;
    const TDbConfig& Config() const { return config_; }

private:
    TDbConfig config_;
};

// One test's database: the file at filePath, or a fresh schema on the server when the run tests
// the server.
class TTestDatabase {
public:
    explicit TTestDatabase(const QString& filePath);
    const TDbConfig& Config() const { return schema_ ? schema_->Config() : file_; }
    // Names this database in a station's Movelkar.ini, as a centre does to use a server.
    void WriteStationIni(const QString& iniPath) const;

private:
    TDbConfig file_;
    std::unique_ptr<TServerSchema> schema_;
};

// For tests about the file itself (its header, journal, permissions, copies of it).
#define SKIP_ON_SERVER()                                                     \
    if (TestOnServer()) GTEST_SKIP() << "about the database file only"
