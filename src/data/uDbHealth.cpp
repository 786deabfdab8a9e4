#include "data/uDbHealth.h"

#include "data/uDM.h"
#include "data/uDbConfig.h"
#include "data/uDbInit.h"
#include "data/uSqlDialect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>
#include <sqlite3.h>

namespace {
// One connection to the file for the check, closed when it goes out of scope.
class TLook {
public:
    TLook(const QString& path, int flags) {
        const QByteArray p = path.toUtf8();
        rc_ = sqlite3_open_v2(p.constData(), &db_, flags, nullptr);
        if (db_) {
            sqlite3_extended_result_codes(db_, 1);
            sqlite3_busy_timeout(db_, 5000);
        }
    }
    ~TLook() { sqlite3_close_v2(db_); }
    TLook(const TLook&) = delete;
    TLook& operator=(const TLook&) = delete;

    int Code() const { return rc_; }
    QString Message() const {
        return QString::fromUtf8(db_ && rc_ != SQLITE_OK ? sqlite3_errmsg(db_) : sqlite3_errstr(rc_));
    }

    // The first column of every row as text; false when the statement fails (Code tells why).
    bool Column(const char* sql, QStringList& rows) {
        rows.clear();
        if (rc_ != SQLITE_OK) return false;
        sqlite3_stmt* st = nullptr;
        rc_ = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
        while (rc_ == SQLITE_OK && (rc_ = sqlite3_step(st)) == SQLITE_ROW) {
            rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            rc_ = SQLITE_OK;
        }
        if (rc_ == SQLITE_DONE) rc_ = SQLITE_OK;
        if (rc_ != SQLITE_OK) rc_ = sqlite3_extended_errcode(db_);
        sqlite3_finalize(st);
        return rc_ == SQLITE_OK;
    }

private:
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_OK;
};

TDbHealth Fault(TDbFault fault, const QString& detail) {
    TDbHealth h;
    h.Fault = fault;
    h.Detail = detail;
    return h;
}

TDbHealth FaultOf(const TLook& look) {
    switch (look.Code() & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return Fault(TDbFault::Busy, look.Message());
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: return Fault(TDbFault::Unreadable, look.Message());
    default: return Fault(TDbFault::Damaged, QStringLiteral("数据库引擎报告：") + look.Message());
    }
}

// SQLite's page-by-page check, passed (FullCheckRan) when it answers "ok".
TDbHealth PageCheck(TLook& look) {
    QStringList rows;
    if (!look.Column("PRAGMA quick_check", rows)) return FaultOf(look);
    if (rows != QStringList{"ok"})
        return Fault(TDbFault::Damaged, QStringLiteral("逐页检查发现：") + rows.mid(0, 3).join("; "));
    TDbHealth health;
    health.FullCheckRan = true;
    return health;
}

// The first hundred bytes say whether the file is an SQLite database at all, and whether it
// keeps a write-ahead log: this system never does, and opening such a file would make the
// engine create files beside it.
TDbHealth HeaderFault(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Fault(TDbFault::Unreadable, file.errorString());
    const QByteArray head = file.read(100);
    if (head.size() < 100 || !head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return Fault(TDbFault::Damaged, QStringLiteral("文件开头不是数据库的格式"));
    if (head.at(18) == 2 || head.at(19) == 2)
        return Fault(TDbFault::Damaged, QStringLiteral("文件使用预写日志（WAL），不是本系统建立的数据库"));
    return {};
}

bool MarkedReadOnly(const QString& path) {
    const QFileInfo info(path);
    // The file's own write bits are read as well as the access asked about: a file marked
    // read-only stays so for an administrator too, whom the access question would answer yes.
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

// Every save makes a journal beside the file, so the folder must take new files.
bool FolderTakesFiles(const QString& folder) {
    QTemporaryFile probe(QDir(folder).filePath("Movelkar_XXXXXX.probe"));
    return probe.open();
}

TDbHealth WriteAccessFault(const QString& path) {
    if (MarkedReadOnly(path)) return Fault(TDbFault::ReadOnly, QDir::toNativeSeparators(path));
    const QString folder = QFileInfo(path).absolutePath();
    if (!FolderTakesFiles(folder)) return Fault(TDbFault::FolderReadOnly, QDir::toNativeSeparators(folder));
    return {};
}

// Opening the file for writing and reading it plays back the journal of a cut-off save.
TDbHealth PlayBackCutOffSave(const QString& path) {
    TLook look(path, SQLITE_OPEN_READWRITE);
    QStringList rows;
    if (!look.Column("SELECT COUNT(*) FROM sqlite_master", rows)) return FaultOf(look);
    return {};
}

// The names of the file's tables. A save cut off half-way is played back first: until then the
// file does not hold its last committed state, and a read-only look cannot see past it.
TDbHealth ReadTableNames(const QString& dbPath, QStringList& names, bool& playedBack) {
    const char* const tables = "SELECT name FROM sqlite_master WHERE type='table'";
    {
        TLook look(dbPath, SQLITE_OPEN_READONLY);
        if (look.Column(tables, names)) return {};
        if (look.Code() != SQLITE_READONLY_ROLLBACK) return FaultOf(look);
    }
    if (TDbHealth h = WriteAccessFault(dbPath); !h.Healthy()) return h;
    if (TDbHealth h = PlayBackCutOffSave(dbPath); !h.Healthy()) return h;
    playedBack = true;
    TLook look(dbPath, SQLITE_OPEN_READONLY);
    if (!look.Column(tables, names)) return FaultOf(look);
    return {};
}

// What of the expected tables and columns the database lacks, as "缺少数据表：…" or
// "缺少数据列：表.列、…"; empty when nothing is missing.
QString MissingParts(const QList<TTableColumns>& expected, const QStringList& presentTables,
                     const QStringList& presentColumns) {
    QStringList tables, columns;
    for (const TTableColumns& t : expected) {
        if (!presentTables.contains(t.Table, Qt::CaseInsensitive)) {
            tables << t.Table;
            continue;
        }
        for (const QString& c : t.Columns)
            if (!presentColumns.contains(t.Table + '.' + c, Qt::CaseInsensitive)) columns << t.Table + '.' + c;
    }
    if (!tables.isEmpty()) return QStringLiteral("缺少数据表：") + tables.join(QStringLiteral("、"));
    if (!columns.isEmpty()) return QStringLiteral("缺少数据列：") + columns.join(QStringLiteral("、"));
    return {};
}

bool NoneOf(const QList<TTableColumns>& expected, const QStringList& presentTables) {
    for (const TTableColumns& t : expected)
        if (presentTables.contains(t.Table, Qt::CaseInsensitive)) return false;
    return !expected.isEmpty();
}

QDate LastFullCheck(const QString& dbPath) {
    QFile marker(FullCheckMarkerPath(dbPath));
    if (!marker.open(QIODevice::ReadOnly)) return {};
    return QDate::fromString(QString::fromLatin1(marker.readLine(32)).trimmed(), Qt::ISODate);
}

void RememberFullCheck(const QString& dbPath, const QDate& day) {
    QSaveFile marker(FullCheckMarkerPath(dbPath));
    if (!marker.open(QIODevice::WriteOnly)) return;  // the check simply runs again next time
    marker.write(day.toString(Qt::ISODate).toLatin1() + "\n");
    marker.commit();
}
}  // namespace

QStringList SchemaTables(const TSchema& schema) {
    static const QRegularExpression createTable(QStringLiteral("^\\s*CREATE\\s+TABLE\\s+(\\w+)"),
                                                QRegularExpression::CaseInsensitiveOption);
    QStringList tables;
    for (const QString& statement : schema.Statements)
        if (const auto m = createTable.match(statement); m.hasMatch()) tables << m.captured(1);
    return tables;
}

QString FullCheckMarkerPath(const QString& dbPath) { return dbPath + ".checked"; }

TDbHealth CheckDatabaseFile(const QString& dbPath, const QList<TTableColumns>& tables, const QDate& today) {
    if (TDbHealth h = HeaderFault(dbPath); !h.Healthy()) return h;

    bool playedBack = false;
    QStringList present;
    if (TDbHealth h = ReadTableNames(dbPath, present, playedBack); !h.Healthy()) return h;
    if (NoneOf(tables, present)) return Fault(TDbFault::Damaged, QStringLiteral("文件中没有本系统的数据表"));

    TLook look(dbPath, SQLITE_OPEN_READONLY);
    QStringList rows;
    const QByteArray columns = SqlTableColumns(TDbEngine::SQLite).toUtf8();
    if (!look.Column(columns.constData(), rows)) return FaultOf(look);
    if (const QString missing = MissingParts(tables, present, rows); !missing.isEmpty())
        return Fault(TDbFault::MissingTables, missing);
    if (TDbHealth h = WriteAccessFault(dbPath); !h.Healthy()) return h;

    if (!look.Column("SELECT ActType FROM T_Log WHERE ActType IN ('登录','退出') ORDER BY LogID DESC LIMIT 1", rows))
        return FaultOf(look);
    const bool endedCleanly = rows.isEmpty() || rows.first() == QStringLiteral("退出");
    if (endedCleanly && !playedBack && LastFullCheck(dbPath) == today) return {};

    const TDbHealth health = PageCheck(look);
    if (health.Healthy()) RememberFullCheck(dbPath, today);
    return health;
}

TDbHealth CheckBackupCopy(const QString& path, const QStringList& tables) {
    if (TDbHealth h = HeaderFault(path); !h.Healthy()) return h;
    TLook look(path, SQLITE_OPEN_READONLY);
    QStringList present;
    if (!look.Column("SELECT name FROM sqlite_master WHERE type='table'", present)) {
        if (look.Code() == SQLITE_READONLY_ROLLBACK)
            return Fault(TDbFault::Damaged, QStringLiteral("备份文件旁有未完成的保存记录（-journal 文件）"));
        return FaultOf(look);
    }
    QStringList missing;
    for (const QString& table : tables)
        if (!present.contains(table, Qt::CaseInsensitive)) missing << table;
    if (!tables.isEmpty() && missing.size() == tables.size())
        return Fault(TDbFault::Damaged, QStringLiteral("文件中没有本系统的数据表"));
    if (!missing.isEmpty()) return Fault(TDbFault::MissingTables, missing.join(QStringLiteral("、")));
    return PageCheck(look);
}

TDbHealth CheckServerDatabase(const TDbConfig& config, const QList<TTableColumns>& tables) {
    QStringList present, columns;
    try {
        TDM dm(config, TOpenMode::Inspect);
        dm.Connect();
        const TQuery q = dm.OpenSQL(SqlTableColumns(TDbEngine::PostgreSQL));
        for (int r = 0; r < q.RowCount(); ++r) {
            columns << q.Value(r, 0).AsText();
            const QString table = columns.last().section('.', 0, 0);
            if (!present.contains(table)) present << table;
        }
    } catch (const TDbError& e) {
        return Fault(TDbFault::Unreachable, e.Message());
    }
    if (!present.isEmpty() && NoneOf(tables, present)) return Fault(TDbFault::Foreign, {});
    if (const QString missing = MissingParts(tables, present, columns); !missing.isEmpty())
        return Fault(TDbFault::MissingTables, missing);
    return {};
}

QString SetAsideEmptyDatabase(const QString& dbPath, const QDateTime& at) {
    const QFileInfo info(dbPath);
    if (!info.exists() || info.size() != 0) return {};
    const QString aside = info.dir().filePath("Movelkar_empty_" + at.toString("yyyyMMdd_HHmmss") + ".mdb");
    if (!QFile::rename(dbPath, aside))
        throw TDbError(QStringLiteral("无法将空的数据库文件改名保存：") + QDir::toNativeSeparators(dbPath));
    // A journal left beside it belongs to the empty file, never to the new one.
    const QString journal = dbPath + "-journal";
    if (QFile::exists(journal) && !QFile::rename(journal, aside + "-journal"))
        throw TDbError(QStringLiteral("无法将空的数据库文件的日志改名保存：") + QDir::toNativeSeparators(journal));
    return QDir::toNativeSeparators(aside);
}
