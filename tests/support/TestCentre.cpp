#include "support/TestCentre.h"

#include "data/uDbInit.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"

#include <QHash>
#include <QSettings>

namespace {
int Insert(TDM& dm, const QString& sql, const TParams& params) {
    dm.ExecSQLP(sql, params);
    return int(dm.LastInsertId());
}
}  // namespace

TTestCentre::TTestCentre(const QString& role) : paths_{dir_.path() + "/"}, db_(paths_.DbPath()) {
    db_.WriteStationIni(paths_.StationIni());
    // The day's automatic copy runs only in the tests about it, which turn it on.
    QSettings(paths_.StationIni(), QSettings::IniFormat).setValue("backup/Auto", false);
    EnsureDatabase(paths_.Database(), paths_.BackupDir());
    dm_ = std::make_unique<TDM>(paths_.Database());
    dm_->Connect();
    loginAs(role);
}

void TTestCentre::loginAs(const QString& role) {
    const QString login = role == Roles::Admin ? QStringLiteral("admin") : "u_" + QString::number(Roles::All.indexOf(role));
    int id = VarToInt(scalar("SELECT UserID FROM T_User WHERE LoginName=:l", {{"l", login}}));
    if (id == 0)
        id = Insert(*dm_, "INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:n,'pw',:r,-1)",
                    {{"l", login}, {"n", role + "甲"}, {"r", role}});
    Session = MakeSession(id, login, VarToStr(scalar("SELECT UserName FROM T_User WHERE UserID=:i", {{"i", id}})), role);
    dm_->SetLogUser(login);
}

QStringList TTestCentre::logActions() {
    return rows("SELECT ActType FROM T_Log ORDER BY LogID").split("; ", Qt::SkipEmptyParts);
}

int TTestCentre::count(const QString& table, const QString& where, const TParams& params) {
    return VarToInt(scalar("SELECT COUNT(*) FROM " + table + " WHERE " + where, params));
}

TValue TTestCentre::scalar(const QString& sql, const TParams& params) { return dm_->ScalarP(sql, params); }

QString TTestCentre::rows(const QString& sql, const TParams& params) {
    const TQuery q = dm_->OpenSQLP(sql, params);
    QStringList lines;
    for (int r = 0; r < q.RowCount(); ++r) {
        QStringList values;
        for (int col = 0; col < q.ColumnCount(); ++col) values << VarToStr(q.Value(r, col));
        lines << values.join('/');
    }
    return lines.join("; ");
}

QString TTestCentre::batchRows(const QString& table, const QString& batchNo, const QString& columns,
                               const QString& where) {
    // Keys grow with each row saved: by number, or by today's sequence in a document number.
    static const QHash<QString, QString> keys{
        {"T_Batch", "BatchNo"},  {"T_Stock", "StockID"},   {"T_Drying", "DryID"}, {"T_StockMove", "MoveID"},
        {"T_Outbound", "OutNo"}, {"T_Settle", "SettleNo"}, {"T_EquipRun", "RunID"}, {"T_Log", "LogID"},
        {"T_Photo", "PhotoID"}};
    return rows("SELECT " + columns + " FROM " + table + " WHERE BatchNo=:b AND " + where + " ORDER BY " +
                    keys.value(table, "1"),
                {{"b", batchNo}});
}

void TTestCentre::refuseWrites(const QString& table, const QString& event, const QString& message) {
    const QString name = "refuse_" + table.toLower(), on = " BEFORE " + event + " ON " + table;
    if (dm_->Engine() != TDbEngine::PostgreSQL)
        return dm_->ExecSQLP("CREATE TRIGGER " + name + on + " BEGIN SELECT RAISE(ABORT,'" + message + "'); END");
    dm_->ExecSQLP("CREATE FUNCTION " + name + "() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION '" + message +
                  "'; END $$ LANGUAGE plpgsql");
    dm_->ExecSQLP("CREATE TRIGGER " + name + on + " FOR EACH ROW EXECUTE FUNCTION " + name + "()");
}

void TTestCentre::allowWrites(const QString& table) {
    const QString name = "refuse_" + table.toLower();
    if (dm_->Engine() != TDbEngine::PostgreSQL) return dm_->ExecSQLP("DROP TRIGGER " + name);
    dm_->ExecSQLP("DROP TRIGGER " + name + " ON " + table);
    dm_->ExecSQLP("DROP FUNCTION " + name + "()");
}

int TTestCentre::addFarmer(const QString& name, const QString& phone, bool blacklisted) {
    return Insert(*dm_, "INSERT INTO T_Farmer(Name,Phone,Blacklist,CustType) VALUES(:n,:p,:b,'农户代烘')",
                  {{"n", name}, {"p", phone}, {"b", blacklisted}});
}

int TTestCentre::addOperator(const QString& name, const QString& team) {
    return Insert(*dm_, "INSERT INTO T_Operator(OpName,Team,Post,Phone) VALUES(:n,:t,'操作工','')", {{"n", name}, {"t", team}});
}

int TTestCentre::addWh(const QString& name, const QString& zoneType, double capacity) {
    return Insert(*dm_, "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES(:n,:t,:c,'')",
                  {{"n", name}, {"t", zoneType}, {"c", capacity}});
}

int TTestCentre::addEquip(const QString& no, const QString& status) {
    return Insert(*dm_, "INSERT INTO T_Equip(EquipNo,Model,Status) VALUES(:n,'测试机',:s)", {{"n", no}, {"s", status}});
}

QString TTestCentre::registeredBatch(double wetKg, int wetWhId) {
    const QString net = FmtShortest(wetKg);
    const TBatchSaveResult r = TBatchLogic(*dm_).Save({.RegTime = QDateTime::currentDateTime().addDays(-1),
                                                       .FarmerID = addFarmer(QStringLiteral("张三")), .GrainID = 1,
                                                       .WhID = wetWhId, .InMoisture = "20", .GrossWt = net, .WetNetWt = net});
    if (!r.Saved()) throw TDbError(r.Refusal);
    return r.BatchNo;
}

TDriedBatch TTestCentre::driedBatch(double wetKg, double dryKg, int dryWhId) {
    TDriedBatch b{.BatchNo = registeredBatch(wetKg)};
    const QDateTime start = QDateTime::currentDateTime().addSecs(-6 * 3600);
    if (!TDispatchLogic(*dm_).Save({.BatchNo = b.BatchNo, .EquipID = 1, .WhInID = 1, .StartTime = start}).Saved())
        throw TDbError(QStringLiteral("派工失败"));
    const std::optional<TOpenRound> round = TDryEndLogic(*dm_).LoadOpenRound(b.BatchNo);
    const TRoundEndResult passed = TDryEndLogic(*dm_).Pass(
        *round, {.EndTime = start.addSecs(3600), .OutMoisture = "14", .DryNetWt = FmtShortest(dryKg), .DryWhID = dryWhId});
    if (!passed.Saved()) throw TDbError(passed.Refusal);
    const TParams batch{{"b", b.BatchNo}};
    b.WetRow = VarToInt(scalar("SELECT MIN(StockID) FROM T_Stock WHERE BatchNo=:b", batch));
    b.DryRow = VarToInt(scalar("SELECT MAX(StockID) FROM T_Stock WHERE BatchNo=:b", batch));
    return b;
}
