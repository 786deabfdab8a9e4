#include "app/uBackupFiles.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <algorithm>

QString BackupTarget(const QString& backupDir, const QDateTime& at) {
    return QDir::toNativeSeparators(
        QDir(backupDir).filePath("Movelkar_" + at.toString("yyyyMMdd_HHmmss") + ".mdb"));
}

QList<TBackupFile> ListBackups(const QString& backupDir) {
    static const QRegularExpression name(QStringLiteral("^Movelkar_(\\d{8}_\\d{6})\\.mdb$"));
    QList<TBackupFile> copies;
    const QFileInfoList files = QDir(backupDir).entryInfoList({QStringLiteral("Movelkar_*.mdb")}, QDir::Files);
    for (const QFileInfo& f : files) {
        const auto m = name.match(f.fileName());
        if (!m.hasMatch()) continue;
        const QDateTime at = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd_HHmmss"));
        if (!at.isValid()) continue;
        copies.append({f.absoluteFilePath(), at, f.size()});
    }
    std::sort(copies.begin(), copies.end(),
              [](const TBackupFile& a, const TBackupFile& b) { return a.MadeAt > b.MadeAt; });
    return copies;
}

TBackupSettings ReadBackupSettings(const QString& iniPath) {
    QSettings ini(iniPath, QSettings::IniFormat);
    TBackupSettings s;
    s.Auto = ini.value("backup/Auto", s.Auto).toBool();
    s.Keep.Daily = std::max(1, ini.value("backup/KeepDaily", s.Keep.Daily).toInt());
    s.Keep.Monthly = std::max(1, ini.value("backup/KeepMonthly", s.Keep.Monthly).toInt());
    return s;
}

QStringList CopiesBeyondKeeping(const QList<TBackupFile>& copies, const TBackupKeeping& keep) {
    QList<TBackupFile> newestFirst = copies;
    std::sort(newestFirst.begin(), newestFirst.end(),
              [](const TBackupFile& a, const TBackupFile& b) { return a.MadeAt > b.MadeAt; });
    QSet<QDate> days;
    QSet<int> months;
    QStringList beyond;
    for (const TBackupFile& c : newestFirst) {
        const QDate day = c.MadeAt.date();
        const int month = day.year() * 12 + day.month();
        bool kept = false;
        // The first copy met of a day (or month) is its newest.
        if (!days.contains(day) && days.size() < keep.Daily) kept = true;
        if (!months.contains(month) && months.size() < keep.Monthly) kept = true;
        days.insert(day);
        months.insert(month);
        if (!kept) beyond << c.Path;
    }
    return beyond;
}
