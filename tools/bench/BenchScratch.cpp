#include "BenchScratch.h"

#include "data/uDM.h"
#include "data/uDbCopy.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {
QString SchemaName() {
    return QStringLiteral("bench_%1_%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate() & 0xffffff, 0, 36);
}

void DropSchema(const TDbConfig& config) {
    try {
        TDM dm(config, TOpenMode::CreateNew);
        dm.Connect();
        dm.ExecSQLP("DROP SCHEMA IF EXISTS \"" + config.Schema + "\" CASCADE");
    } catch (const TDbError&) {
        // The server went away; the scratch schema's name says what it is.
    }
}
}  // namespace

TBenchScratch::TBenchScratch(const TDbConfig& source) : config_(source) {
    if (source.IsPostgres()) {
        TDM from(source);
        from.Connect();
        config_.Schema = SchemaName();
        try {
            CopyIntoServerSchema(from, config_);
        } catch (...) {
            DropSchema(config_);
            throw;
        }
        return;
    }
    folder_ = std::make_unique<QTemporaryDir>(QFileInfo(source.Path).absolutePath() + QStringLiteral("/bench-XXXXXX"));
    config_.Path = folder_->filePath(QStringLiteral("Movelkar.mdb"));
    if (!QFile::copy(source.Path, config_.Path)) throw TDbError(QStringLiteral("cannot copy ") + source.Path);
}

TBenchScratch::~TBenchScratch() {
    if (config_.IsPostgres()) DropSchema(config_);
}
