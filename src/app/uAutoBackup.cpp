#include "app/uAutoBackup.h"

#include "data/uDM.h"

#include <QDir>
#include <QFile>

TBackupRun MakeBackup(const TDbConfig& config, const QString& backupDir, const QDateTime& at,
                      const TBackupKeeping& keep) {
    TBackupRun run;
    run.Target = BackupTarget(backupDir, at);
    if (!QDir().mkpath(backupDir)) {
        run.Reason = QStringLiteral("无法建立备份文件夹：") + QDir::toNativeSeparators(backupDir);
        return run;
    }
    try {
        TDM dm(config);
        if (!dm.Connect()) {
            run.Reason = QStringLiteral("找不到数据库文件：") + QDir::toNativeSeparators(config.Path);
            return run;
        }
        dm.BackupTo(run.Target);
    } catch (const TDbError& e) {
        run.Reason = e.Message();
        return run;
    }
    run.Ok = true;
    for (const QString& old : CopiesBeyondKeeping(ListBackups(backupDir), keep))
        if (QFile::remove(old)) run.Removed << old;
    return run;
}

// ---- TDailyBackup -------------------------------------------------------------------------

TDailyBackup::TDailyBackup(TDM& dm, QString backupDir, TBackupKeeping keep, TClock clock)
    : dm_(dm), backupDir_(std::move(backupDir)), keep_(keep), clock_(std::move(clock)) {}

bool TDailyBackup::CopyMadeToday() const {
    const QList<TBackupFile> copies = ListBackups(backupDir_);
    return !copies.isEmpty() && copies.first().MadeAt.date() == clock_().date();
}

bool TDailyBackup::DueAtLogin() const { return !CopyMadeToday(); }

bool TDailyBackup::DueAtExit() const {
    if (CopyMadeToday()) return false;
    const QDateTime dayStart(clock_().date(), QTime(0, 0));
    const TValue work = dm_.ScalarP(
        "SELECT COUNT(*) FROM T_Log WHERE OpTime>=:d AND OpTime<:e "
        "AND ActType NOT IN ('登录','退出','数据备份','自动备份','自动备份失败')",
        {{"d", dayStart}, {"e", dayStart.addDays(1)}});
    return VarToInt(work) > 0;
}

TBackupRun TDailyBackup::RunNow() const { return MakeBackup(dm_.Config(), backupDir_, clock_(), keep_); }

QString TDailyBackup::Record(const TBackupRun& run) {
    if (run.Ok) {
        QString detail = run.Target;
        if (!run.Removed.isEmpty()) detail += QStringLiteral("；按保留规则删除旧备份 %1 个").arg(run.Removed.size());
        dm_.WriteLog(QStringLiteral("自动备份"), "T_User", {}, detail);
        return {};
    }
    dm_.WriteLog(QStringLiteral("自动备份失败"), "T_User", {}, run.Reason);
    if (failureShown_) return {};
    failureShown_ = true;
    return QStringLiteral("自动备份失败：") + run.Reason +
           QStringLiteral("\r\n以前的备份都还在。请按原因处理后，用“数据备份”再备份一次。");
}

TBackupStatus TDailyBackup::Status() const {
    const QList<TBackupFile> copies = ListBackups(backupDir_);
    if (copies.isEmpty()) return {QStringLiteral("  上次备份：无"), true};
    const QDateTime last = copies.first().MadeAt;
    return {QStringLiteral("  上次备份：") + last.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            last.secsTo(clock_()) > 3 * 24 * 3600};
}

// ---- TBackgroundBackup --------------------------------------------------------------------

TBackgroundBackup::TBackgroundBackup(TDbConfig config, QObject* parent) : QObject(parent), config_(std::move(config)) {}

TBackgroundBackup::~TBackgroundBackup() {
    if (worker_.joinable()) worker_.join();
}

bool TBackgroundBackup::Start(const QString& backupDir, const QDateTime& at, const TBackupKeeping& keep) {
    if (running_) return false;
    if (worker_.joinable()) worker_.join();
    running_ = true;
    worker_ = std::thread([this, backupDir, at, keep] {
        result_ = MakeBackup(config_, backupDir, at, keep);
        // Said on the thread that started it; a Wait() in between has taken the outcome already.
        QMetaObject::invokeMethod(this, [this] {
            if (!running_) return;
            worker_.join();
            running_ = false;
            emit Finished(result_);
        }, Qt::QueuedConnection);
    });
    return true;
}

std::optional<TBackupRun> TBackgroundBackup::Wait() {
    if (!running_) return std::nullopt;
    worker_.join();
    running_ = false;
    return result_;
}
