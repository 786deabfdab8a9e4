// The generated centre on a server: copied there and back by copy_db, and measured there by the
// benchmark. Each test works in a schema of its own, dropped afterwards; without a server (PGHOST
// unset or nobody answering) the tests are skipped. The file is named by MOVELKAR_GENERATED_DB.

#include "support/TestEngine.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct TRun {
    int Status = -1;
    QString Output;
};

TRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

TRun CopyDb(const QStringList& args) { return RunTool(QStringLiteral(COPY_DB), args); }

class GeneratedCentreOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<TDbConfig> server = TestServer();
        if (!server) GTEST_SKIP() << "no PostgreSQL server answers (PGHOST)";
        centre_ = qEnvironmentVariable("MOVELKAR_GENERATED_DB");
        ASSERT_TRUE(QFileInfo::exists(centre_)) << "MOVELKAR_GENERATED_DB names no file";
        schema_ = std::make_unique<TServerSchema>(*server);
        arg_ = "postgresql:" + schema_->Config().Schema;
    }

    int ServerTables() {
        TDM dm(schema_->Config(), TOpenMode::CreateNew);
        dm.Connect();
        return VarToInt(dm.ScalarP(SqlTableCount(dm.Engine())));
    }

    QString centre_;
    std::unique_ptr<TServerSchema> schema_;
    QString arg_;
    QTemporaryDir dir_;
};
}  // namespace

TEST_F(GeneratedCentreOnServer, CopiedThereAndBackHoldsTheSameRowsAndAFailedCopyLeavesTheSchemaAsItWas) {
    // A date the file kept as plain words is no date to the server: the copy fails part-way, and
    // the schema is left without the tables the copy made, ready for the copy to be rerun.
    const QString damaged = dir_.filePath("damaged.mdb");
    ASSERT_TRUE(QFile::copy(centre_, damaged));
    {
        TDM dm(damaged);
        dm.Connect();
        dm.ExecSQLP("UPDATE T_Batch SET RegTime='yesterday' WHERE BatchNo=(SELECT MAX(BatchNo) FROM T_Batch)");
    }
    const TRun failed = CopyDb({damaged, arg_});
    EXPECT_EQ(failed.Status, 1) << qPrintable(failed.Output);
    EXPECT_EQ(ServerTables(), 0);

    const TRun there = CopyDb({centre_, arg_});
    ASSERT_EQ(there.Status, 0) << qPrintable(there.Output);
    const QString back = dir_.filePath("back.mdb");
    const TRun home = CopyDb({arg_, back});
    ASSERT_EQ(home.Status, 0) << qPrintable(home.Output);
    const TRun same = CopyDb({"--compare", centre_, back});
    EXPECT_EQ(same.Status, 0) << qPrintable(same.Output);

    // Neither a schema that holds rows nor an existing file is written over.
    const auto bytes = [&] {
        QFile f(back);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    EXPECT_EQ(CopyDb({centre_, arg_}).Status, 1);
    EXPECT_EQ(CopyDb({arg_, back}).Status, 1);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(CopyDb({"--compare", centre_, arg_}).Status, 0);
}

TEST_F(GeneratedCentreOnServer, BenchmarkRunsEveryOperation) {
    ASSERT_EQ(CopyDb({centre_, arg_}).Status, 0);
    const TRun bench = RunTool(QStringLiteral(BENCH), {arg_, "--runs", "1"});
    EXPECT_EQ(bench.Status, 0) << qPrintable(bench.Output);
    EXPECT_FALSE(bench.Output.contains("FAILED")) << qPrintable(bench.Output);
}
