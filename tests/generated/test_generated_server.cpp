// The generated centre (MOVELKAR_GENERATED_DB) copied to a server schema of its own and back, and
// measured there; skipped without a server.

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

TRun RunTool(const QStringList& args, const QString& program = QStringLiteral(COPY_DB)) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

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
    const TRun failed = RunTool({damaged, arg_});
    EXPECT_EQ(failed.Status, 1) << qPrintable(failed.Output);
    {
        TDM dm(schema_->Config(), TOpenMode::CreateNew);
        dm.Connect();
        EXPECT_EQ(VarToInt(dm.ScalarP(SqlTableCount(dm.Engine()))), 0);
    }

    const QString back = dir_.filePath("back.mdb");
    for (const QStringList& step : {QStringList{centre_, arg_}, QStringList{arg_, back}, QStringList{"--compare", centre_, back}}) {
        const TRun run = RunTool(step);
        ASSERT_EQ(run.Status, 0) << qPrintable(step.join(' ') + "\n" + run.Output);
    }

    // Neither a schema that holds rows nor an existing file is written over.
    const QDateTime written = QFileInfo(back).lastModified();
    const qint64 size = QFileInfo(back).size();
    EXPECT_EQ(RunTool({centre_, arg_}).Status, 1);
    EXPECT_EQ(RunTool({arg_, back}).Status, 1);
    EXPECT_EQ(QFileInfo(back).lastModified(), written);
    EXPECT_EQ(QFileInfo(back).size(), size);
    EXPECT_EQ(RunTool({"--compare", centre_, arg_}).Status, 0);
}

TEST_F(GeneratedCentreOnServer, BenchmarkRunsEveryOperation) {
    ASSERT_EQ(RunTool({centre_, arg_}).Status, 0);
    const TRun bench = RunTool({arg_, "--runs", "1"}, QStringLiteral(BENCH));
    EXPECT_EQ(bench.Status, 0) << qPrintable(bench.Output);
    EXPECT_FALSE(bench.Output.contains("FAILED")) << qPrintable(bench.Output);
}
