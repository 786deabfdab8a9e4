#include "data/uSqlDialect.h"

namespace {
bool Pg(TDbEngine engine) { return engine == TDbEngine::PostgreSQL; }
}  // namespace

// Date-times are stored as text "yyyy-MM-dd HH:mm:ss" in the file, so the day and the month
// are its leading characters: cheaper than parsing the date for every row of a report.
QString SqlDayText(TDbEngine engine, const QString& expr) {
    return Pg(engine) ? "to_char(" + expr + ",'YYYY-MM-DD')" : "substr(" + expr + ",1,10)";
}

QString SqlMonthText(TDbEngine engine, const QString& expr) {
    return Pg(engine) ? "to_char(" + expr + ",'YYYY-MM')" : "substr(" + expr + ",1,7)";
}

// SQLite's LIKE already folds the case of ASCII letters and knows no escape character; the
// server is told the same, so a typed backslash is just a backslash.
QString SqlLikeNoCase(TDbEngine engine, const QString& expr, const QString& param) {
    return Pg(engine) ? expr + " ILIKE " + param + " ESCAPE ''" : expr + " LIKE " + param;
}

QString SqlTotal(TDbEngine engine, const QString& expr) {
    return Pg(engine) ? "CAST(COALESCE(SUM(" + expr + "),0) AS double precision)" : "TOTAL(" + expr + ")";
}

QString SqlRound(TDbEngine engine, const QString& expr, int decimals) {
    if (Pg(engine)) return "ROUND(CAST(" + expr + " AS numeric)," + QString::number(decimals) + ")";
    return "ROUND(" + expr + "," + QString::number(decimals) + ")";
}

QString SqlSkipIndex(TDbEngine engine, const QString& expr) { return Pg(engine) ? expr : "+" + expr; }

// SQLite keeps a result column's name as written; the server folds unquoted names to lower case.
QString SqlResultName(TDbEngine engine, const QString& name) {
    return "\"" + (Pg(engine) ? name.toLower() : name) + "\"";
}

bool SqlNullsSortHigh(TDbEngine engine) { return Pg(engine); }

QString SqlForUpdate(TDbEngine engine) { return Pg(engine) ? QStringLiteral(" FOR UPDATE") : QString(); }

QString SqlCounterNext(TDbEngine) {
    return QStringLiteral("INSERT INTO T_Counter(Prefix,Day,Seq) VALUES(:p,:d,:seed) ON CONFLICT (Prefix,Day) "
                          "DO UPDATE SET Seq=GREATEST(T_Counter.Seq+1,EXCLUDED.Seq) RETURNING Seq");
}

QString SqlRefreshStatistics(TDbEngine engine, const QString& table) {
    return Pg(engine) ? "VACUUM (ANALYZE) " + table : QString();
}

// The catalog, not information_schema: that one hides the tables a user has no right on.
QString SqlTableCount(TDbEngine engine) {
    if (Pg(engine))
        return QStringLiteral("SELECT COUNT(*) FROM pg_catalog.pg_tables WHERE schemaname=current_schema()");
    return QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%'");
}

QString SqlKeyCounterRestart(TDbEngine engine, const QString& table, const QString& keyColumn) {
    if (!Pg(engine)) return {};
    return QStringLiteral("SELECT setval(pg_get_serial_sequence('%1','%2'),COALESCE(MAX(%2),0)+1,false) FROM %1")
        .arg(table.toLower(), keyColumn.toLower());
}

// The file's deferred transaction holds its shared lock from the first read to the end: writers
// wait, so the reads agree with each other.
QString SqlBeginSnapshot(TDbEngine engine) {
    return Pg(engine) ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY") : QStringLiteral("BEGIN");
}

QString SqlIndexNames(TDbEngine engine) {
    return Pg(engine) ? QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname=current_schema()")
                      : QStringLiteral("SELECT name FROM sqlite_master WHERE type='index'");
}

// The extension is one per database: it lives in "public", so every schema's indexes find it.
QStringList SqlKeywordIndexes(TDbEngine engine) {
    if (!Pg(engine)) return {};
    return {QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm SCHEMA public"),
            QStringLiteral("CREATE INDEX idx_trgm_batch_no ON T_Batch USING gin (BatchNo public.gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX idx_trgm_batch_car ON T_Batch USING gin (CarNo public.gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX idx_trgm_farmer_name ON T_Farmer USING gin (Name public.gin_trgm_ops)"),
            QStringLiteral("CREATE INDEX idx_trgm_log_ref ON T_Log USING gin (RefNo public.gin_trgm_ops)")};
}

QString SqlLockTableForWriters(TDbEngine engine, const QString& table) {
    return Pg(engine) ? "LOCK TABLE " + table + " IN SHARE ROW EXCLUSIVE MODE" : QString();
}

QString SqlAddTextColumn(TDbEngine engine, const QString& table, const QString& column, int maxLength) {
    const QString type = Pg(engine) ? QStringLiteral("text COLLATE \"C\"") : QStringLiteral("TEXT(%1)").arg(maxLength);
    return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3 CHECK(length(%2)<=%4)").arg(table, column, type).arg(maxLength);
}

QString SqlForKeyShare(TDbEngine engine) { return Pg(engine) ? QStringLiteral(" FOR KEY SHARE") : QString(); }
QStringList SqlLogGuard(TDbEngine engine) {
    if (!Pg(engine))
        return {QStringLiteral("CREATE TRIGGER trg_log_kept_update BEFORE UPDATE ON T_Log "
                               "BEGIN SELECT RAISE(ABORT, '操作日志不能修改或删除'); END"),
                QStringLiteral("CREATE TRIGGER trg_log_kept_delete BEFORE DELETE ON T_Log "
                               "BEGIN SELECT RAISE(ABORT, '操作日志不能修改或删除'); END")};
    return {QStringLiteral("CREATE OR REPLACE FUNCTION log_is_kept() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$BEGIN RAISE EXCEPTION '操作日志不能修改或删除'; END$$"),
            QStringLiteral("CREATE TRIGGER trg_log_kept BEFORE UPDATE OR DELETE ON T_Log "
                           "FOR EACH ROW EXECUTE FUNCTION log_is_kept()"),
            QStringLiteral("CREATE TRIGGER trg_log_kept_truncate BEFORE TRUNCATE ON T_Log "
                           "FOR EACH STATEMENT EXECUTE FUNCTION log_is_kept()"),
            // Accounts the server's default privileges gave every right on new tables keep only
            // reading and adding on the log.
            QStringLiteral("DO $$DECLARE r record; BEGIN FOR r IN SELECT DISTINCT grantee FROM "
                           "information_schema.role_table_grants WHERE table_schema=current_schema() AND "
                           "table_name='t_log' AND privilege_type IN ('UPDATE','DELETE','TRUNCATE') AND "
                           "grantee NOT IN (current_user, 'PUBLIC') LOOP EXECUTE format('REVOKE UPDATE, DELETE, "
                           "TRUNCATE ON t_log FROM %I', r.grantee); END LOOP; END$$")};
}

namespace {
// A catalog row's table (pg_class as c) lies in the connection's own schema.
QString PgInOwnSchema() {
    return QStringLiteral("c.relnamespace=(SELECT n.oid FROM pg_catalog.pg_namespace n WHERE n.nspname=current_schema())");
}
}  // namespace

QString SqlLogGuardCount(TDbEngine engine) {
    if (!Pg(engine))
        return QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type='trigger' AND tbl_name='T_Log' "
                              "AND name IN ('trg_log_kept_update','trg_log_kept_delete')");
    return QStringLiteral("SELECT COUNT(*) FROM pg_catalog.pg_trigger t JOIN pg_catalog.pg_class c ON c.oid=t.tgrelid "
                          "WHERE c.relname='t_log' AND ") +
           PgInOwnSchema() + QStringLiteral(" AND t.tgname IN ('trg_log_kept','trg_log_kept_truncate')");
}

QStringList SqlLogRefWords(TDbEngine engine) {
    if (Pg(engine)) return {};
    return {QStringLiteral("CREATE VIRTUAL TABLE idx_log_ref_words USING fts5(RefNo, content='T_Log', "
                           "content_rowid='LogID', tokenize='trigram')"),
            QStringLiteral("CREATE TRIGGER trg_log_ref_words AFTER INSERT ON T_Log BEGIN "
                           "INSERT INTO idx_log_ref_words(rowid, RefNo) VALUES (new.LogID, new.RefNo); END"),
            QStringLiteral("INSERT INTO idx_log_ref_words(idx_log_ref_words) VALUES ('rebuild')")};
}

QString SqlLogRefWordsCount(TDbEngine engine) {
    if (Pg(engine)) return QStringLiteral("SELECT 0");
    return QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type='trigger' AND name='trg_log_ref_words'");
}

TLogSource SqlLogSource(TDbEngine engine, const QString& ref, bool wordsThere) {
    const QString log = QStringLiteral("T_Log l");
    const QString number = QStringLiteral("l.LogID");
    if (ref.isEmpty()) return {log, number, {}, {}};
    const bool byWords = !Pg(engine) && wordsThere && ref.size() >= 3 && !ref.contains('%') && !ref.contains('_');
    if (!byWords) return {log, number, SqlLikeNoCase(engine, "l.RefNo", ":r"), "%" + ref + "%"};
    QString phrase = ref;
    phrase.replace('"', QStringLiteral("\"\""));
    return {QStringLiteral("idx_log_ref_words w JOIN T_Log l ON l.LogID=w.rowid"), QStringLiteral("w.rowid"),
            QStringLiteral("w.idx_log_ref_words MATCH :r"), '"' + phrase + '"'};
}

QString SqlTableColumns(TDbEngine engine) {
    if (!Pg(engine))
        return QStringLiteral("SELECT m.name || '.' || p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                              "WHERE m.type='table'");
    return QStringLiteral("SELECT c.relname || '.' || a.attname FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c "
                          "ON c.oid=a.attrelid WHERE ") +
           PgInOwnSchema() + QStringLiteral(" AND c.relkind IN ('r','p') AND a.attnum>0 AND NOT a.attisdropped");
}

QString SqlSchemaExists(TDbEngine) {
    return QStringLiteral("SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname=:s");
}
