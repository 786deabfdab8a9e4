#pragma once
// A grain-drying centre for tests: a temporary folder with a fresh database, a connected
// data module and a logged-in session.

#include "app/uGlobal.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "support/TestEngine.h"

#include <QTemporaryDir>
#include <memory>

// A batch dried in one round: its wet row (retired by the drying) and its dry row in store.
struct TDriedBatch {
    QString BatchNo;
    int WetRow = 0, DryRow = 0;
};

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
    // The rows of a query as "a/b; a/b".
    QString rows(const QString& sql, const TParams& params = {});
    // A batch's rows of a table, oldest first, as "a/b; a/b" of the given comma-separated columns.
    QString batchRows(const QString& table, const QString& batchNo, const QString& columns,
                      const QString& where = "1=1");

    // Makes every insert or update (event "INSERT" / "UPDATE") of a table fail with the message,
    // as a full disk or a locked record would, until allowWrites.
    void refuseWrites(const QString& table, const QString& event, const QString& message);
    void allowWrites(const QString& table);

    int addFarmer(const QString& name, const QString& phone = {}, bool blacklisted = false);
    int addOperator(const QString& name, const QString& team);
    int addWh(const QString& name, const QString& zoneType, double capacity = 100000);
    int addEquip(const QString& no, const QString& status = QStringLiteral("正常"));

    // A load of 稻谷 registered into a wet-grain position, waiting for the dryer.
    QString registeredBatch(double wetKg, int wetWhId = 1);
    // A load registered, dispatched and passed in its first round into a dry-grain position.
    TDriedBatch driedBatch(double wetKg, double dryKg, int dryWhId = 2);

private:
    QTemporaryDir dir_;
    TAppPaths paths_;
    TTestDatabase db_;
    std::unique_ptr<TDM> dm_;
};
