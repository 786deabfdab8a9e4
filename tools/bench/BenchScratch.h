#pragma once
// The database the benchmark works on: a copy of the centre's, so that its saves leave the
// centre's own unchanged. A file is copied beside itself, so that the saves commit to the same
// disk; a server's schema into a new schema of the same server, dropped at the end.

#include "data/uDbConfig.h"

#include <QTemporaryDir>
#include <memory>

class TBenchScratch {
public:
    // Raises TDbError when the source cannot be read or copied.
    explicit TBenchScratch(const TDbConfig& source);
    ~TBenchScratch();
    TBenchScratch(const TBenchScratch&) = delete;
    TBenchScratch& operator=(const TBenchScratch&) = delete;

    const TDbConfig& Config() const { return config_; }

private:
    TDbConfig config_;
    std::unique_ptr<QTemporaryDir> folder_;
};
