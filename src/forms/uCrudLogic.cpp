#include "forms/uCrudLogic.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uPassword.h"
#include "data/uSqlDialect.h"

#include <QStringList>
#include <array>
#include <cmath>
#include <limits>

namespace {
const QString kUserTable = QStringLiteral("T_User");
const QString kLastAdmin = QStringLiteral("至少保留一个启用的管理员账号");
const QString kReferenced = QStringLiteral("删除失败，该记录可能已被业务单据引用：");

bool IsUserTable(const TCrudDef& def) { return def.TableName.compare(kUserTable, Qt::CaseInsensitive) == 0; }

// Which business records keep a master row's key. The schema has no reference constraints,
// so a deleted farmer, grain type, position, dryer or operator would leave these records
// pointing at nothing (and a batch's fees computed from no fee standard).
struct TReference {
    const char* master;
    const char* table;
    const char* column;
    const char* what;
};

const std::array<TReference, 19> kReferences{{
    {"T_Farmer", "T_Batch", "FarmerID", "批次"},
    {"T_Farmer", "T_Stock", "FarmerID", "库存"},
    {"T_Farmer", "T_Outbound", "FarmerID", "出库单"},
    {"T_Farmer", "T_Settle", "FarmerID", "结算单"},
    {"T_Grain", "T_Batch", "GrainID", "批次"},
    {"T_Grain", "T_Stock", "GrainID", "库存"},
    {"T_Grain", "T_Outbound", "GrainID", "出库单"},
    {"T_Grain", "T_FeeStd", "GrainID", "收费标准"},
    {"T_Wh", "T_Batch", "WhID", "批次"},
    {"T_Wh", "T_Drying", "WhInID", "烘干记录"},
    {"T_Wh", "T_Stock", "WhID", "库存"},
    {"T_Wh", "T_StockMove", "WhID", "库存流水"},
    {"T_Equip", "T_Drying", "EquipID", "烘干记录"},
    {"T_Equip", "T_EquipRun", "EquipID", "设备运行记录"},
    {"T_Equip", "T_EquipMaint", "EquipID", "保养维修记录"},
    {"T_Operator", "T_Batch", "OpID", "批次"},
    {"T_Operator", "T_Drying", "OpID", "烘干记录"},
    {"T_Operator", "T_StockMove", "OpID", "库存流水"},
    {"T_Operator", "T_Outbound", "OpID", "出库单"},
}};

// Accounts are checked over the whole table (a login name once, an administrator left): two
// stations saving accounts at the same moment take turns.
void TakeTurnsOnAccounts(TDM& dm) {
    if (const QString lock = SqlLockTableForWriters(dm.Engine(), "T_User"); !lock.isEmpty()) dm.ExecSQLP(lock);
}

int ActiveAdmins(TDM& dm) {
    return VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_User WHERE Role='管理员' AND IsActive=-1"));
}

// An integer field whose text is a number too large for the table's 32-bit columns.
bool IntegerOutOfRange(const TColDef& col, const TValue& entered) {
    if (col.Kind != ckInteger) return false;
    const double d = std::nearbyint(ParseNum(entered.AsText()));
    return d < std::numeric_limits<qint32>::min() || d > std::numeric_limits<qint32>::max();
}

bool IsNumber(const TColDef& col) { return col.Kind == ckInteger || col.Kind == ckDecimal || col.Kind == ckMoney; }

// The first entry the user has to correct; no message when all are acceptable.
TSaveOutcome CheckEntries(const TCrudDef& def, const QList<TColDef>& cols, const TFieldValues& entered) {
    for (int i = 0; i < cols.size(); ++i) {
        const TColDef& col = cols[i];
        const TValue v = entered.value(col.EditField);
        const QString text = v.AsText().trimmed();
        const bool isText = col.Kind == ckText || col.Kind == ckMemo;
        if (col.Required && isText && text.isEmpty()) return {false, QStringLiteral("请填写：") + col.Caption, i, {}};
        const bool unpicked = col.LookupSQL.isEmpty() ? text.isEmpty() : VarToInt(v) == 0;
        if (col.Required && col.Kind == ckChoice && unpicked)
            return {false, QStringLiteral("请选择：") + col.Caption, i, {}};
        if (IsNumber(col))
            if (const TNumEntry n = CheckNum(text, col.Range, col.Caption); !n.Ok()) return {false, n.Refusal, i, {}};
        if (IntegerOutOfRange(col, v)) return {false, QStringLiteral("数值超出范围：") + col.Caption, i, {}};
        if (isText)
            if (const QString tooLong = TextEntryRefusal(def.TableName, col.EditField, col.Caption, text);
                !tooLong.isEmpty())
                return {false, tooLong, i, {}};
    }
    return {};
}

int FieldIndex(const QList<TColDef>& cols, const QString& editField) {
    for (int i = 0; i < cols.size(); ++i)
        if (cols[i].EditField.compare(editField, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

// Login names must stay unique (the login and the operation log name users by them), and
// the centre must keep an active administrator who can maintain the accounts.
TSaveOutcome CheckAccount(TDM& dm, const QList<TColDef>& cols, const TValue& key, const TFieldValues& stored) {
    const qint64 userId = key.IsNull() ? 0 : key.AsInt64();
    const QString login = stored.value("LoginName").AsText();
    if (VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_User WHERE trim(LoginName)=:l AND UserID<>:k",
                            {{"l", login}, {"k", userId}})) > 0)
        return {false, QStringLiteral("登录名已存在"), FieldIndex(cols, "LoginName"), {}};

    if (key.IsNull()) return {};
    const TQuery now = dm.OpenSQLP("SELECT Role, IsActive FROM T_User WHERE UserID=:k", {{"k", userId}});
    const bool wasActiveAdmin =
        !now.IsEmpty() && VarToStr(now.Field("Role")) == Roles::Admin && now.Field("IsActive").AsBool();
    const bool staysActiveAdmin = stored.value("Role").AsText() == Roles::Admin && stored.value("IsActive").AsBool();
    if (wasActiveAdmin && !staysActiveAdmin && ActiveAdmins(dm) < 2)
        return {false, kLastAdmin, FieldIndex(cols, stored.value("IsActive").AsBool() ? "Role" : "IsActive"), {}};
    return {};
}

bool RowExists(TDM& dm, const TCrudDef& def, const TValue& key) {
    return !dm.ScalarP("SELECT 1 FROM " + def.TableName + " WHERE " + def.KeyField + "=:k", {{"k", key}}).IsNull();
}
}  // namespace

TColDef MakeCol(const QString& listField, const QString& editField, const QString& caption, TColKind kind,
                int width, bool required, const QString& lookupSQL, const QString& items,
                const TValue& defaultValue) {
    return TColDef{listField, editField, caption, kind, width, required, lookupSQL, items, defaultValue};
}

TColDef MakeNumCol(const QString& listField, const QString& editField, const QString& caption, TColKind kind,
                   int width, TNumRange range, bool required) {
    TColDef col = MakeCol(listField, editField, caption, kind, width, required);
    col.Range = range;
    return col;
}

TSqlText BuildListSql(TDbEngine engine, const TCrudDef& def, const QString& keyword) {
    TSqlText out{def.ListSQL, {}, {}};
    const QString kw = keyword.trimmed();
    QStringList terms;
    if (!kw.isEmpty())
        for (const TColDef& col : def.Cols)
            if (!col.EditField.isEmpty() && col.Kind == ckText) terms << SqlLikeNoCase(engine, col.EditField, ":kw");
    if (!terms.isEmpty()) {
        const bool hasWhere = def.ListSQL.toUpper().contains(" WHERE ");
        out.Sql += (hasWhere ? " AND (" : " WHERE (") + terms.join(" OR ") + ")";
        out.Params.push_back({"kw", "%" + kw + "%"});
    }
    if (!def.SortSql.isEmpty()) {
        out.Sql += " ORDER BY " + def.SortSql;
        return out;
    }
    // The order names result columns ("r.RunID DESC" is the column RunID), so the grid can page by it;
    // the table's own key is never null.
    for (const QString& term : def.OrderBy.split(',', Qt::SkipEmptyParts)) {
        const QString column = term.trimmed().section('.', -1);
        const bool key = column.section(' ', 0, 0).compare(def.KeyField, Qt::CaseInsensitive) == 0;
        out.Order << (key ? column + QStringLiteral(" NOT NULL") : column);
    }
    return out;
}

int DisplayChars(int widthPx) { return int(std::nearbyint(widthPx / 7.5)) + 1; }

QList<TColDef> EditedCols(const TCrudDef& def) {
    QList<TColDef> cols;
    for (const TColDef& col : def.Cols)
        if (!col.EditField.isEmpty() && col.EditField.compare(def.KeyField, Qt::CaseInsensitive) != 0) cols << col;
    return cols;
}

QString EditText(const TColDef& col, const TValue& stored) {
    if (stored.IsNull()) return {};
    switch (col.Kind) {
    case ckInteger: return QString::number(stored.AsInt64());
    case ckDecimal: return FmtNum(stored.AsDouble(), 3);
    case ckMoney: return FmtMoney(stored.AsDouble());
    default: return stored.AsText();
    }
}

TValue StoredValue(const TColDef& col, const TValue& entered) {
    const QString text = entered.AsText().trimmed();
    switch (col.Kind) {
    case ckText:
    case ckMemo: return text;
    case ckInteger:
        if (text.isEmpty()) return {};
        return qint64(std::nearbyint(ParseNum(text)));
    case ckDecimal: return NumOrNull(text);
    case ckMoney:
        if (text.isEmpty()) return {};
        return TValue::Money(ParseNum(text));
    case ckDate: return QDateTime(entered.AsDateTime().date(), QTime(0, 0));
    case ckDateTime: return entered.AsDateTime();
    case ckYesNo: return entered.AsBool();
    case ckChoice:
        if (col.LookupSQL.isEmpty()) return text;
        return VarToInt(entered);
    }
    return {};
}

TSqlText BuildSaveSql(const TCrudDef& def, const TValue& key, const TFieldValues& stored) {
    QStringList names, markers, assignments;
    TSqlText out;
    for (const TColDef& col : EditedCols(def)) {
        names << col.EditField;
        markers << ":" + col.EditField;
        assignments << col.EditField + "=:" + col.EditField;
        out.Params.push_back({col.EditField, stored.value(col.EditField)});
    }
    if (key.IsNull()) {
        out.Sql = "INSERT INTO " + def.TableName + "(" + names.join(",") + ") VALUES(" + markers.join(",") + ")";
    } else {
        out.Sql = "UPDATE " + def.TableName + " SET " + assignments.join(",") + " WHERE " + def.KeyField + "=:wkey";
        out.Params.push_back({"wkey", key});
    }
    return out;
}

TRowStamp CrudRowStamp(const TCrudDef& def, const TValue& key, const TQuery& row) {
    QList<TStampCol> read;
    for (const TColDef& col : EditedCols(def)) read.push_back({col.EditField, col.Caption});
    return StampRow(row, def.TableName, def.KeyField, key, read);
}

TSaveOutcome SaveCrudRow(TDM& dm, const TCrudDef& def, const TValue& key, const TFieldValues& entered,
                         const TCrudSaveExtra& extra) {
    const QList<TColDef> cols = EditedCols(def);
    if (TSaveOutcome refused = CheckEntries(def, cols, entered); !refused.Message.isEmpty()) return refused;
    const bool setsPassword = def.SetsPassword && (key.IsNull() || !extra.NewPassword.isEmpty() ||
                                                   !extra.ConfirmPassword.isEmpty());
    const QString passwordRefusal =
        setsPassword ? NewPasswordRefusal(extra.NewPassword, extra.ConfirmPassword) : QString();

    TFieldValues stored;
    for (const TColDef& col : cols) stored.insert(col.EditField, StoredValue(col, entered.value(col.EditField)));

    const bool isNew = key.IsNull();
    TValue savedKey = key;
    try {
        // Worked out before the accounts are locked: the hash is slow on purpose.
        const QString newHash =
            setsPassword && passwordRefusal.isEmpty() ? PasswordHash(extra.NewPassword) : QString();
        TTransaction tx(dm);
        if (IsUserTable(def)) {
            TakeTurnsOnAccounts(dm);
            if (TSaveOutcome refused = CheckAccount(dm, cols, key, stored); !refused.Message.isEmpty()) return refused;
        }
        // The password boxes come after the fields.
        if (!passwordRefusal.isEmpty()) return {false, passwordRefusal, kPasswordField, {}};
        // Saving over a row deleted meanwhile would change nothing yet report success.
        if (!isNew && !RowExists(dm, def, key))
            return {false, QStringLiteral("保存失败：该记录已不存在，可能已被删除"), -1, {}};
        if (!isNew)
            if (const QString changed = ChangedSinceRead(dm, extra.Read); !changed.isEmpty())
                return {false, changed, -1, {}};
        const TSqlText statement = BuildSaveSql(def, key, stored);
        dm.ExecSQLP(statement.Sql, statement.Params);
        if (isNew) savedKey = dm.LastInsertId();
        if (setsPassword)
            dm.ExecSQLP("UPDATE " + def.TableName + " SET PwdHash=:h,Pwd='' WHERE " + def.KeyField + "=:k",
                        {{"h", newHash}, {"k", savedKey}});
        dm.WriteLog(isNew ? QStringLiteral("新增") : QStringLiteral("修改"), def.TableName, savedKey.AsText(), {});
        tx.Commit();
    } catch (const TDbError& e) {
        return {false, DbFailureText(QStringLiteral("保存失败："), e), -1, {}};
    }
    return {true, {}, -1, savedKey};
}

QString ReferencesTo(TDM& dm, const QString& table, qint64 key) {
    QStringList found;
    for (const TReference& ref : kReferences) {
        if (table.compare(QLatin1String(ref.master), Qt::CaseInsensitive) != 0) continue;
        const int n = VarToInt(dm.ScalarP(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2=:k")
                                              .arg(QLatin1String(ref.table), QLatin1String(ref.column)),
                                          {{"k", key}}));
        if (n > 0) found << QStringLiteral("%1 %2 条").arg(QString::fromUtf8(ref.what)).arg(n);
    }
    return found.join(QStringLiteral("、"));
}

QString DeleteRefusal(TDM& dm, const TCrudDef& def, qint64 key, const TSession& session) {
    if (IsUserTable(def)) {
        if (key == 1) return QStringLiteral("内置管理员账号不可删除");
        if (key == session.UserID) return QStringLiteral("不能删除当前登录账号");
        const QString role = VarToStr(dm.ScalarP("SELECT Role FROM T_User WHERE UserID=:i", {{"i", key}}));
        // Counted over active administrators, whether or not this account is one of them.
        if (role == Roles::Admin && ActiveAdmins(dm) < 2) return kLastAdmin;
    }
    const QString refs = ReferencesTo(dm, def.TableName, key);
    return refs.isEmpty() ? QString() : kReferenced + refs;
}

QString DeleteCrudRow(TDM& dm, const TCrudDef& def, qint64 key, const QString& name, const TSession& session) {
    try {
        TTransaction tx(dm);
        if (IsUserTable(def)) TakeTurnsOnAccounts(dm);
        // A registration referring to the row holds it (SqlForKeyShare) until it has saved; the
        // references are counted once it has.
        if (dm.OpenSQLP("SELECT " + def.KeyField + " FROM " + def.TableName + " WHERE " + def.KeyField + "=:i" +
                            SqlForUpdate(dm.Engine()),
                        {{"i", key}})
                .IsEmpty())
            return {};
        if (const QString refusal = DeleteRefusal(dm, def, key, session); !refusal.isEmpty()) return refusal;
        dm.ExecSQLP("DELETE FROM " + def.TableName + " WHERE " + def.KeyField + "=:i", {{"i", key}});
        dm.WriteLog(QStringLiteral("删除"), def.TableName, QString::number(key), name);
        tx.Commit();
    } catch (const TDbError& e) {
        // References are counted above; what the database refuses here is a lock, a full disk, a
        // reference made by another program and the like, said behind the same words.
        return DbFailureText(kReferenced, e);
    }
    return {};
}
