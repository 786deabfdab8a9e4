// The daily automatic backup (the checked copy and the keeping rule) and the restore window's
// list, which checks every copy a centre keeps (30 daily and 12 monthly).

#include "BenchOp.h"

#include "app/uAutoBackup.h"
#include "app/uRestore.h"
#include "data/uDM.h"

#include <QFile>
#include <QTemporaryDir>

namespace {
const QDateTime kFirstDay(QDate(2026, 1, 1), QTime(7, 50));

class TAutoBackupOp : public TBenchOp {
public:
    TAutoBackupOp() : TBenchOp("automatic backup: copy, check, keeping rule") {}
    qint64 Run(TBenchEnv& env, int run) override {
        const TBackupRun made = MakeBackup(env.Dm.Config(), folder_.path(), kFirstDay.addDays(run), {});
        return made.Ok ? QFileInfo(made.Target).size() : 0;
    }

private:
    QTemporaryDir folder_;
};

class TRestoreListOp : public TBenchOp {
public:
    TRestoreListOp() : TBenchOp("restore: check 42 kept copies (worker thread)") {}
    void Prepare(TBenchEnv& env) override {
        const QString backupDir = folder_.path() + "/Backup";
        const TBackupRun first = MakeBackup(env.Dm.Config(), backupDir, kFirstDay, {});
        if (!first.Ok) return;
        for (int i = 1; i < 30; ++i) QFile::copy(first.Target, BackupTarget(backupDir, kFirstDay.addDays(-i)));
        for (int m = 1; m <= 12; ++m) QFile::copy(first.Target, BackupTarget(backupDir, kFirstDay.addMonths(-m)));
    }
    qint64 Run(TBenchEnv& env, int) override {
        return TRestoreLogic(env.Dm, TAppPaths{folder_.path() + "/"}).List().size();
    }

private:
    QTemporaryDir folder_;
};

const TBenchArea kBackup(96, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TAutoBackupOp>());
    ops.push_back(std::make_unique<TRestoreListOp>());
    return ops;
});
}  // namespace
