// The server's floor: its own libpq connection to the schema, the statement in the server's
// spelling and the values as the data module sends them, so that the server plans it the same way.

#include "BenchFloor.h"

#include "data/uDM.h"
#include "data/uPgEngine.h"

#include <libpq-fe.h>

#include <vector>

namespace {
class TPgFloor final : public TEngineFloor {
public:
    explicit TPgFloor(const TDbConfig& config) : conn_(PQconnectdb(config.ConnInfo().toUtf8().constData())) {
        if (PQstatus(conn_) != CONNECTION_OK) {
            const QString reason = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
            PQfinish(conn_);
            throw TDbError(reason, TDbErrorInfo{"08001", {}, {}, {}, {}});
        }
        // The session the data module sets up, so that the server plans the statement alike.
        Exec("SET DateStyle = 'ISO, YMD'");
        Exec("SET jit = off");
        Exec("SET search_path TO \"" + config.SchemaName().toUtf8() + "\"");
    }
    ~TPgFloor() override { PQfinish(conn_); }
    TPgFloor(const TPgFloor&) = delete;
    TPgFloor& operator=(const TPgFloor&) = delete;

    qint64 Run(const TSqlText& q) override;

private:
    void Exec(const QByteArray& sql) { Check(PQexec(conn_, sql.constData())); }
    PGresult* Check(PGresult* r) const {
        const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return r;
        const QString message = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
        PQclear(r);
        throw TDbError(message);
    }

    PGconn* conn_;
};

qint64 TPgFloor::Run(const TSqlText& q) {
    const TPgStatementText text = PgStatementText(q.Sql);
    std::vector<TValue> values(size_t(text.Names.size()));
    for (const auto& [name, value] : q.Params) {
        const int i = text.Index.value(name, -1);
        if (i < 0) throw TDbError(QStringLiteral("参数 %1 在语句中不存在").arg(name));
        values[size_t(i)] = value;
    }
    const TPgValues sent = PgValues(values);
    PGresult* r = Check(PQexecParams(conn_, text.Sql.constData(), int(values.size()), sent.Types.data(),
                                     sent.Pointers.data(), nullptr, nullptr, 0));
    const int rows = PQntuples(r);
    const int columns = PQnfields(r);
    // Volatile, so that reading the values is not optimised away.
    volatile qint64 sink = 0;
    for (int row = 0; row < rows; ++row)
        for (int c = 0; c < columns; ++c)
            if (!PQgetisnull(r, row, c)) sink = sink + PQgetlength(r, row, c) + PQgetvalue(r, row, c)[0];
    PQclear(r);
    return rows;
}
}  // namespace

std::unique_ptr<TEngineFloor> OpenPgFloor(const TDbConfig& config) { return std::make_unique<TPgFloor>(config); }
