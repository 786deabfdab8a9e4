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

bool HasColumn(TDM& dm, const QString& table, const QString& column) {
    try {
        dm.OpenSQL("SELECT " + column + " FROM " + table + " WHERE 1=0");
        return true;
    } catch (const TDbError&) {
        return false;
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
        return QStringLiteral("数据库需要升级（数据表 %1 增加数据列 %2），但未能完成：%3\r\n"
                              "如果是权限不足，请由技术人员用数据库所有者的账号启动一次本程序，完成升级后各电脑即可照常使用。")
            .arg(table, column, DbErrorText(e));
    }
}
}  // namespace

QString UpgradeDatabase(TDM& dm) {
    for (const TAddedColumn& c : kAdded)
        if (const QString refusal = AddTextColumn(dm, c.Table, c.Column, c.MaxLength); !refusal.isEmpty()) return refusal;
    return {};
}

QList<TTableColumns> BeforeUpgrade(QList<TTableColumns> tables) {
    for (TTableColumns& t : tables)
        for (const TAddedColumn& c : kAdded)
            if (t.Table.compare(QLatin1String(c.Table), Qt::CaseInsensitive) == 0)
                t.Columns.removeIf([&](const QString& name) {
                    return name.compare(QLatin1String(c.Column), Qt::CaseInsensitive) == 0;
                });
    return tables;
}
