#include "GenWorld.h"

#include "GenNames.h"
#include "GenWriter.h"

#include "app/uGlobal.h"
#include "data/uDM.h"

#include <cmath>
#include <numbers>

namespace {
const QString kAdd = QStringLiteral("新增");
const QString kEdit = QStringLiteral("修改");

// What a grain type brings: intake moisture, the moisture it is dried to, and its harvests.
struct TGrainHabit {
    const char* Name;
    double Target, Lo, Hi;
    std::vector<TGenSeason> Seasons;
};

const std::vector<TGrainHabit>& Habits() {
    static const std::vector<TGrainHabit> habits = {
        {"稻谷", 14.5, 20, 30, {{192, 225, 1.5}, {275, 320, 2.2}}},
        {"小麦", 13.0, 16, 24, {{148, 180, 3.0}}},
        {"玉米", 14.0, 22, 34, {{255, 325, 2.0}, {326, 365, 0.4}, {1, 60, 0.4}}},
        {"大豆", 13.0, 16, 22, {{268, 298, 0.5}}},
        {"高粱", 14.0, 18, 28, {{250, 282, 0.4}}},
    };
    return habits;
}

// Intake outside every harvest: grain dried for storage, late deliveries.
constexpr double kOffSeason = 0.15;

double SeasonWeight(const TGenSeason& s, int day) {
    if (day < s.FirstDay || day > s.LastDay) return 0;
    const double x = double(day - s.FirstDay + 1) / double(s.LastDay - s.FirstDay + 2);
    return s.Weight * std::sin(std::numbers::pi * x);
}

int Insert(TDM& dm, TGenWriter& w, TStamp at, const QString& table, const QString& sql, const TParams& params) {
    dm.ExecSQLP(sql, params);
    const int id = int(dm.LastInsertId());
    w.Log(at, QStringLiteral("admin"), kAdd, table, QString::number(id), {});
    return id;
}

void AddGrains(TDM& dm, TGenWriter& w, TStamp at) {
    struct TNew {
        const char* Name;
        double Price, Std, Extra, FreeDays, Storage, Rush, ReDry;
    };
    for (const TNew& g : {TNew{"大豆", 130, 13, 10, 30, 1, 50, 50}, TNew{"高粱", 115, 14, 8, 30, 1, 50, 50}}) {
        const int id = Insert(dm, w, at, "T_Grain", "INSERT INTO T_Grain(GrainName,Remark) VALUES(:n,'')",
                              {{"n", QString::fromUtf8(g.Name)}});
        Insert(dm, w, at, "T_FeeStd",
               "INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,RushFee,"
               "ReDryRate) VALUES(:g,:p,:s,:e,:f,:st,:r,:rd)",
               {{"g", id},
                {"p", TValue::Money(g.Price)},
                {"s", g.Std},
                {"e", TValue::Money(g.Extra)},
                {"f", int(g.FreeDays)},
                {"st", TValue::Money(g.Storage)},
                {"r", TValue::Money(g.Rush)},
                {"rd", g.ReDry}});
    }
}

std::vector<TGenGrain> ReadGrains(TDM& dm) {
    const TQuery q = dm.OpenSQL(
        "SELECT f.GrainID,g.GrainName,f.PricePerTon,f.StdMoisture,f.ExtraPerPoint,f.FreeDays,f.StorageFee,f.RushFee,"
        "f.ReDryRate FROM T_FeeStd f JOIN T_Grain g ON g.GrainID=f.GrainID ORDER BY f.FeeID");
    std::vector<TGenGrain> grains;
    for (int r = 0; r < q.RowCount(); ++r) {
        TGenGrain g;
        g.Std = {VarToInt(q.Value(r, 0)),     VarToFloat(q.Value(r, 2)), VarToFloat(q.Value(r, 3)),
                 VarToFloat(q.Value(r, 4)),   VarToInt(q.Value(r, 5)),   VarToFloat(q.Value(r, 6)),
                 VarToFloat(q.Value(r, 7)),   VarToFloat(q.Value(r, 8))};
        g.Name = VarToStr(q.Value(r, 1));
        for (const TGrainHabit& h : Habits())
            if (g.Name == QString::fromUtf8(h.Name)) {
                g.TargetMoisture = h.Target;
                g.MoistureLo = h.Lo;
                g.MoistureHi = h.Hi;
                g.Seasons = h.Seasons;
            }
        grains.push_back(g);
    }
    return grains;
}

void AddPositions(TDM& dm, TGenWriter& w, TStamp at) {
    struct TNew {
        const char* Name;
        const char* Type;
        double Capacity;
    };
    for (const TNew& p : {TNew{"1号湿粮棚", "湿粮区", 80000}, TNew{"2号湿粮棚", "湿粮区", 80000},
                          TNew{"3号干粮仓", "干粮区", 150000}, TNew{"4号干粮仓", "干粮区", 150000},
                          TNew{"5号干粮仓", "干粮区", 150000}, TNew{"东平房仓", "干粮区", 300000},
                          TNew{"西平房仓", "干粮区", 300000}})
        Insert(dm, w, at, "T_Wh", "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES(:n,:t,:c,'')",
               {{"n", QString::fromUtf8(p.Name)}, {"t", QString::fromUtf8(p.Type)}, {"c", p.Capacity}});
}

std::vector<int> ReadIds(TDM& dm, const QString& sql, const TParams& params = {}) {
    const TQuery q = dm.OpenSQLP(sql, params);
    std::vector<int> ids;
    for (int r = 0; r < q.RowCount(); ++r) ids.push_back(VarToInt(q.Value(r, 0)));
    return ids;
}

std::vector<TGenDryer> AddDryers(TDM& dm, TGenWriter& w, TStamp at, TStamp end) {
    // The dryer of a new database went into service long before the history starts.
    const int seeded = VarToInt(dm.ScalarP("SELECT MIN(EquipID) FROM T_Equip"));
    dm.ExecSQLP("UPDATE T_Equip SET StartDate=:d, Remark='' WHERE EquipID=:i",
                {{"d", At(StartOfDay(at) - 30 * kDay)}, {"i", seeded}});
    w.Log(at, QStringLiteral("admin"), kEdit, "T_Equip", QString::number(seeded), {});
    const QStringList models = {QStringLiteral("5HXG-30 批次式循环烘干机"), QStringLiteral("5HSL-15 批次式粮食烘干机"),
                                QStringLiteral("5H-20 低温循环式烘干机")};
    for (int n = 2; n <= 20; ++n) {
        const QString status = n == 5 ? QStringLiteral("停用") : n == 9 ? QStringLiteral("维修") : QStringLiteral("正常");
        Insert(dm, w, at, "T_Equip",
               "INSERT INTO T_Equip(EquipNo,Model,StartDate,Status,Remark) VALUES(:no,:m,:d,:s,'')",
               {{"no", QStringLiteral("HG-%1").arg(n, 3, 10, QChar('0'))},
                {"m", models[n % models.size()]},
                {"d", At(StartOfDay(at) - (30 + n) * kDay)},
                {"s", status}});
    }
    std::vector<TGenDryer> dryers;
    const TQuery q = dm.OpenSQL("SELECT EquipID,Status FROM T_Equip ORDER BY EquipID");
    for (int r = 0; r < q.RowCount(); ++r) {
        const QString status = VarToStr(q.Value(r, 1));
        // A retired dryer served until two years ago; one under repair until ten days ago.
        const TStamp until = status == QStringLiteral("停用")  ? end - 730 * kDay
                             : status == QStringLiteral("维修") ? end - 10 * kDay
                                                                 : end + kDay;
        dryers.push_back({VarToInt(q.Value(r, 0)), until});
    }
    return dryers;
}

void AddStaff(TDM& dm, TGenWriter& w, TStamp at, TGenRandom& r) {
    struct TNew {
        const char* Team;
        const char* Post;
    };
    const TNew posts[] = {{"晚班", "操作工"}, {"早班", "操作工"}, {"中班", "操作工"}, {"晚班", "操作工"},
                          {"中班", "司磅员"}, {"晚班", "司磅员"}, {"早班", "司磅员"}, {"早班", "质检员"},
                          {"中班", "质检员"}, {"早班", "班组长"}, {"中班", "班组长"}, {"晚班", "班组长"}};
    for (const TNew& p : posts)
        Insert(dm, w, at, "T_Operator", "INSERT INTO T_Operator(OpName,Team,Post,Phone) VALUES(:n,:t,:p,:ph)",
               {{"n", PersonName(r)}, {"t", QString::fromUtf8(p.Team)}, {"p", QString::fromUtf8(p.Post)},
                {"ph", Phone(r)}});
}

std::vector<TGenStaff> ReadStaff(TDM& dm, const QString& post) {
    const TQuery q = dm.OpenSQLP("SELECT OpID,Team FROM T_Operator WHERE Post=:p ORDER BY OpID", {{"p", post}});
    std::vector<TGenStaff> staff;
    for (int r = 0; r < q.RowCount(); ++r) staff.push_back({VarToInt(q.Value(r, 0)), VarToStr(q.Value(r, 1))});
    return staff;
}

std::vector<TGenUser> AddUsers(TDM& dm, TGenWriter& w, TStamp at, TGenRandom& r) {
    struct TNew {
        const char* Login;
        const QString& Role;
        bool Active;
    };
    const TNew users[] = {{"manager", Roles::Admin, true},    {"weigh1", Roles::Weigher, true},
                          {"weigh2", Roles::Weigher, true},   {"weigh3", Roles::Weigher, false},
                          {"dryer1", Roles::Operator, true},  {"dryer2", Roles::Operator, true},
                          {"dryer3", Roles::Operator, true},  {"cashier1", Roles::Finance, true},
                          {"cashier2", Roles::Finance, true}, {"viewer1", Roles::Viewer, true}};
    for (const TNew& u : users)
        Insert(dm, w, at, "T_User",
               "INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:n,'123456',:r,:a)",
               {{"l", QString::fromLatin1(u.Login)}, {"n", PersonName(r)}, {"r", u.Role}, {"a", u.Active}});
    const TQuery q = dm.OpenSQL("SELECT LoginName,Role FROM T_User WHERE IsActive=-1 ORDER BY UserID");
    std::vector<TGenUser> read;
    for (int i = 0; i < q.RowCount(); ++i) read.push_back({VarToStr(q.Value(i, 0)), VarToStr(q.Value(i, 1))});
    return read;
}

void AddFarmers(TDM& dm, TGenWriter& w, TStamp at, TGenRandom& r, int count, TGenWorld& world) {
    TStatement insert(dm, "INSERT INTO T_Farmer(Name,Phone,Village,IDCard,Address,CustType,Blacklist,Remark) "
                          "VALUES(:n,:p,:v,:id,:a,:t,:b,:mm)");
    for (int i = 0; i < count; ++i) {
        const double kind = r.Unit();
        const QString village = VillageName(r);
        const QString group = QStringLiteral("%1组").arg(r.Int(1, 12));
        QString name = PersonName(r), type = QStringLiteral("农户代烘"), idCard = IdCard(r);
        double share = 1 + 4 * std::pow(r.Unit(), 3);
        if (kind > 0.97) {
            name = village + QStringLiteral("粮食种植合作社");
            type = QStringLiteral("合作社");
            idCard.clear();
            share = 15;
        } else if (kind > 0.93) {
            name = name.left(1) + QStringLiteral("记粮行");
            type = QStringLiteral("粮商");
            idCard.clear();
            share = 25;
        } else if (kind > 0.929) {
            name = QStringLiteral("本中心自有粮");
            type = QStringLiteral("自有粮");
            idCard.clear();
            share = 10;
        }
        const bool blacklisted = r.Chance(0.01);
        insert.Bind({{"n", name},
                     {"p", Phone(r)},
                     {"v", village + group},
                     {"id", idCard},
                     {"a", TownName(r) + village + QStringLiteral("%1号").arg(r.Int(1, 200))},
                     {"t", type},
                     {"b", blacklisted},
                     {"mm", blacklisted ? QStringLiteral("多次拖欠烘干费") : QString()}});
        insert.Exec();
        const int id = int(dm.LastInsertId());
        w.Log(at, QStringLiteral("admin"), kAdd, "T_Farmer", QString::number(id), {});
        world.Farmers.push_back({id, r.Chance(0.93) ? Plate(r) : QString(), village, type != QStringLiteral("农户代烘")});
        const double weight = blacklisted ? 0.2 : share;
        world.FarmerShares.push_back((world.FarmerShares.empty() ? 0 : world.FarmerShares.back()) + weight);
    }
}
}  // namespace

double TGenGrain::Weight(int dayOfYear) const {
    double w = 0;
    for (const TGenSeason& s : Seasons) w += SeasonWeight(s, dayOfYear);
    return w;
}

double TGenWorld::IntakeWeight(int dayOfYear) const {
    double w = kOffSeason;
    for (const TGenGrain& g : Grains) w += g.Weight(dayOfYear);
    return w;
}

size_t TGenWorld::PickGrain(TGenRandom& r, int dayOfYear) const {
    std::vector<double> cumulative;
    double total = 0;
    for (const TGenGrain& g : Grains) {
        // Off season the grain is rice or maize from the farmers' own stores, any type now and then.
        total += g.Weight(dayOfYear) + kOffSeason * (g.Seasons.size() > 1 ? 0.4 : 0.05);
        cumulative.push_back(total);
    }
    return r.PickCumulative(cumulative);
}

const TGenStaff& TGenWorld::OnShift(const std::vector<TGenStaff>& staff, TGenRandom& r, int secondOfDay) const {
    const QString shift = ShiftAt(secondOfDay);
    std::vector<size_t> on;
    for (size_t i = 0; i < staff.size(); ++i)
        if (staff[i].Team == shift) on.push_back(i);
    return on.empty() ? r.Pick(staff) : staff[r.Pick(on)];
}

int TGenWorld::PickDryer(TGenRandom& r, TStamp at) const {
    for (;;) {
        const TGenDryer& d = r.Pick(Dryers);
        if (at < d.Until) return d.ID;
    }
}

QString TGenWorld::PickUser(TGenRandom& r, const QString& role) const {
    std::vector<size_t> matching;
    for (size_t i = 0; i < Users.size(); ++i)
        if (Users[i].Role == role) matching.push_back(i);
    return Users[r.Pick(matching)].Login;
}

QString ShiftAt(int secondOfDay) {
    const int hour = secondOfDay / 3600;
    if (hour >= 6 && hour < 14) return QStringLiteral("早班");
    if (hour >= 14 && hour < 22) return QStringLiteral("中班");
    return QStringLiteral("晚班");
}

TGenWorld CreateWorld(TDM& dm, TGenWriter& w, TGenRandom& r, TStamp setUpAt, TStamp end, int farmers) {
    TGenWorld world;
    AddGrains(dm, w, setUpAt);
    world.Grains = ReadGrains(dm);
    AddPositions(dm, w, setUpAt);
    world.WetWh = ReadIds(dm, "SELECT WhID FROM T_Wh WHERE WhType=:t ORDER BY WhID", {{"t", QStringLiteral("湿粮区")}});
    world.DryWh = ReadIds(dm, "SELECT WhID FROM T_Wh WHERE WhType=:t ORDER BY WhID", {{"t", QStringLiteral("干粮区")}});
    world.Dryers = AddDryers(dm, w, setUpAt, end);
    AddStaff(dm, w, setUpAt, r);
    world.Weighers = ReadStaff(dm, QStringLiteral("司磅员"));
    world.Operators = ReadStaff(dm, QStringLiteral("操作工"));
    world.Users = AddUsers(dm, w, setUpAt, r);
    AddFarmers(dm, w, setUpAt, r, farmers, world);
    return world;
}
