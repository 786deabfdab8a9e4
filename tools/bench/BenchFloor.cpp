#include "BenchFloor.h"

#include "data/uDM.h"

#include <sqlite3.h>

namespace {
class TSqliteFloor final : public TEngineFloor {
public:
    explicit TSqliteFloor(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
            sqlite3_close_v2(db_);
            throw TDbError(message);
        }
    }
    ~TSqliteFloor() override { sqlite3_close_v2(db_); }
    TSqliteFloor(const TSqliteFloor&) = delete;
    TSqliteFloor& operator=(const TSqliteFloor&) = delete;

    qint64 Run(const TSqlText& q) override;

private:
    sqlite3* db_ = nullptr;
};

qint64 TSqliteFloor::Run(const TSqlText& q) {
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = q.Sql.toUtf8();
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        throw TDbError(QString::fromUtf8(sqlite3_errmsg(db_)));
    for (const auto& [name, value] : q.Params) {
        const int i = sqlite3_bind_parameter_index(st, (":" + name).toUtf8().constData());
        switch (value.Kind()) {
        case TValueKind::Null: sqlite3_bind_null(st, i); break;
        case TValueKind::Integer:
        case TValueKind::Boolean: sqlite3_bind_int64(st, i, value.AsInt64()); break;
        case TValueKind::Float:
        case TValueKind::Currency: sqlite3_bind_double(st, i, value.AsDouble()); break;
        default: {
            const QByteArray text = value.AsText().toUtf8();
            sqlite3_bind_text(st, i, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }
    qint64 rows = 0;
    const int columns = sqlite3_column_count(st);
    // Volatile, so that reading the values is not optimised away.
    volatile double sink = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: sink = sink + double(sqlite3_column_int64(st, c)); break;
            case SQLITE_FLOAT: sink = sink + sqlite3_column_double(st, c); break;
            case SQLITE_NULL: break;
            default: sink = sink + sqlite3_column_bytes(st, c) + (sqlite3_column_text(st, c) ? 1 : 0);
            }
        }
        ++rows;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw TDbError(QString::fromUtf8(sqlite3_errmsg(db_)));
    return rows;
}
}  // namespace

std::unique_ptr<TEngineFloor> OpenSqliteFloor(const QString& path) { return std::make_unique<TSqliteFloor>(path); }

std::unique_ptr<TEngineFloor> OpenEngineFloor(const TDbConfig& config) {
    return config.IsPostgres() ? OpenPgFloor(config) : OpenSqliteFloor(config.Path);
}
