#include "data/uDbUpgrade.h"

#include "data/uDM.h"
#include "data/uDbInit.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"

namespace {
struct TAddedColumn {
    const char* Table;
    const char* Column;
    int MaxLength;
};
// Where account passwords are kept as hashes.
constexpr TAddedColumn kAdded[] = {{"T_User", "PwdHash", 128}};

// Whether the database already answers a statement that reads what the upgrade would add.
bool Answers(TDM& dm, const QString& probe) {
    try {
        dm.OpenSQL(probe);
        return true;
    } catch (const TDbError&) {
        return false;
    }
}

bool HasColumn(TDM& dm, const QString& table, const QString& column) {
    return Answers(dm, "SELECT " + column + " FROM " + table + " WHERE 1=0");
}

bool HasTable(TDM& dm, const QString& table) { return Answers(dm, "SELECT 1 FROM " + table + " WHERE 1=0"); }

const QStringList& AddedTables() {
    static const QStringList tables{QStringLiteral("T_Photo")};
    return tables;
}

QString Refused(const QString& what, const TDbError& e) {
    return QStringLiteral("数据库需要升级（%1），但未能完成：%2\r\n"
                          "如果是权限不足，请由技术人员用数据库所有者的账号启动一次本程序，完成升级后各电脑即可照常使用。")
        .arg(what, DbErrorText(e));
}

QString AddTable(TDM& dm, const QString& table) {
    if (HasTable(dm, table)) return {};
    try {
        TTransaction tx(dm);
        for (const QString& statement : TableStatements(dm.Engine(), table)) dm.ExecSQLP(statement);
        tx.Commit();
        return {};
    } catch (const TDbError& e) {
        // Another station started at the same moment may have added it.
        if (HasTable(dm, table)) return {};
        return Refused(QStringLiteral("增加数据表 %1").arg(table), e);
    }
}

QString AddTextColumn(TDM& dm, const QString& table, const QString& column, int maxLength) {
    if (HasColumn(dm, table, column)) return {};
    try {
        dm.ExecSQLP(SqlAddTextColumn(dm.Engine(), table, column, maxLength));
        return {};
    } catch (const TDbError& e) {
        // Another station started at the same moment may have added it.
        if (HasColumn(dm, table, column)) return {};
        return Refused(QStringLiteral("数据表 %1 增加数据列 %2").arg(table, column), e);
    }
}
}  // namespace

QString UpgradeDatabase(TDM& dm) {
    for (const TAddedColumn& c : kAdded)
        if (const QString refusal = AddTextColumn(dm, c.Table, c.Column, c.MaxLength); !refusal.isEmpty()) return refusal;
    for (const QString& table : AddedTables())
        if (QString refusal = AddTable(dm, table); !refusal.isEmpty()) return refusal;
    return {};
}

QList<TTableColumns> BeforeUpgrade(QList<TTableColumns> tables) {
    tables.removeIf([](const TTableColumns& t) { return AddedTables().contains(t.Table, Qt::CaseInsensitive); });
    for (TTableColumns& t : tables)
        for (const TAddedColumn& c : kAdded)
            if (t.Table.compare(QLatin1String(c.Table), Qt::CaseInsensitive) == 0)
                t.Columns.removeIf([&](const QString& name) {
                    return name.compare(QLatin1String(c.Column), Qt::CaseInsensitive) == 0;
                });
    return tables;
}
