#pragma once
// A grain-drying centre for tests: a temporary folder with a fresh database, a connected
// data module and a logged-in session.

#include "app/uGlobal.h"
#include "app/uStartup.h"
#include "data/uDM.h"

#include <QTemporaryDir>
#include <memory>

class TTestCentre {
public:
    explicit TTestCentre(const QString& role = Roles::Admin);

    TDM& dm() { return *dm_; }
    const TAppPaths& paths() const { return paths_; }
    // Logs in as a user of the given role (creating that user when needed).
    void loginAs(const QString& role);

    // The action words of the operation log, oldest first.
    QStringList logActions();
    int count(const QString& table, const QString& where = "1=1", const TParams& params = {});
    TValue scalar(const QString& sql, const TParams& params = {});
    // A batch's rows of a table, oldest first, as "a/b; a/b" of the given comma-separated columns.
    QString batchRows(const QString& table, const QString& batchNo, const QString& columns,
                      const QString& where = "1=1");

    int addFarmer(const QString& name, const QString& phone = {}, bool blacklisted = false);
    int addOperator(const QString& name, const QString& team);
    int addWh(const QString& name, const QString& zoneType, double capacity = 100000);
    int addEquip(const QString& no, const QString& status = QStringLiteral("正常"));

private:
    QTemporaryDir dir_;
    TAppPaths paths_;
    std::unique_ptr<TDM> dm_;
};
