#include "data/uSqlDialect.h"
#include "forms/uCrudLogic.h"
#include "forms/uDefs.h"
#include "support/TestCentre.h"
#include "workflow/uBatch.h"
#include "workflow/uDrying.h"
#include "workflow/uSaveLock.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {
QStringList Names(TDM& dm, const TSqlText& list, int col = 1) {
    const TQuery q = dm.OpenSQLP(list.OrderedSql(dm.Engine()), list.Params);
    QStringList names;
    for (int r = 0; r < q.RowCount(); ++r) names << VarToStr(q.Value(r, col));
    return names;
}

void AddBatch(TDM& dm, const QString& no, int farmer) {
    dm.ExecSQLP("INSERT INTO T_Batch(BatchNo,FarmerID,GrainID,WhID,OpID,Status) VALUES(:n,:f,2,1,1,'待烘干')",
                {{"n", no}, {"f", farmer}});
}

int AddUser(TTestCentre& c, const QString& login, const QString& role, bool active) {
    c.dm().ExecSQLP("INSERT INTO T_User(LoginName,UserName,Pwd,Role,IsActive) VALUES(:l,:l,'pw',:r,:a)",
                    {{"l", login}, {"r", role}, {"a", active}});
    return int(c.dm().LastInsertId());
}

TFieldValues UserEntry(const QString& login, const QString& role, bool active) {
    return {{"LoginName", login}, {"UserName", "张"}, {"Role", role}, {"IsActive", active}};
}
}  // namespace

TEST(CrudList, KeywordIsOneBoundPatternOverTheTextColumns) {
    TTestCentre c;
    c.addFarmer("O'Brien");
    c.addFarmer("张三", "139");
    c.addFarmer("李四", "100%");
    TCrudDef grains = DefGrain();
    grains.ListSQL += " WHERE GrainID>1";
    const std::vector<std::tuple<TCrudDef, QString, QStringList>> cases{
        {DefFarmer(), "'", {"O'Brien"}},
        {DefFarmer(), "' OR 1=1 --", {}},
        {DefFarmer(), " 张 ", {"张三"}},
        {DefFarmer(), "%", {"O'Brien", "张三", "李四"}},  // a typed % is a wildcard
        {DefFeeStd(), "稻", {"稻谷", "小麦", "玉米"}},     // no searched text column: nothing filtered
        {grains, "米", {"玉米"}},
    };
    for (const auto& [def, keyword, names] : cases) {
        QStringList found = Names(c.dm(), BuildListSql(c.dm().Engine(), def, keyword)), wanted = names;
        found.sort();
        wanted.sort();
        EXPECT_EQ(found, wanted) << keyword.toStdString();
    }
}

TEST(CrudSave, EachKindIsStoredAsItsColumnExpects) {
    TTestCentre c;
    const TFieldValues fee{{"GrainID", 2},        {"PricePerTon", " 1,234.5 "}, {"StdMoisture", "13.25"},
                           {"ExtraPerPoint", ""}, {"FreeDays", "2.5"},          {"StorageFee", "０．５"},
                           {"RushFee", "0"},      {"ReDryRate", "  "}};
    const TSaveOutcome saved = SaveCrudRow(c.dm(), DefFeeStd(), {}, fee);
    ASSERT_TRUE(saved.Saved) << saved.Message.toStdString();
    EXPECT_EQ(saved.Key.AsInt64(), 4);
    const TQuery row = c.dm().OpenSQLP("SELECT * FROM T_FeeStd WHERE FeeID=4", {});
    EXPECT_DOUBLE_EQ(row.Field("PricePerTon").AsDouble() + row.Field("StdMoisture").AsDouble(), 1234.5 + 13.25);
    EXPECT_TRUE(row.Field("ExtraPerPoint").IsNull() && row.Field("ReDryRate").IsNull() && !row.Field("RushFee").IsNull());
    EXPECT_EQ(VarToInt(row.Field("FreeDays")), 2);  // halves go to even
    EXPECT_DOUBLE_EQ(row.Field("StorageFee").AsDouble(), 0.5) << "typed with a Chinese input method";
    ASSERT_TRUE(SaveCrudRow(c.dm(), DefFeeStd(), 4, {{"GrainID", 2}, {"FreeDays", "3.5"}}).Saved);
    EXPECT_EQ(VarToInt(c.scalar("SELECT FreeDays FROM T_FeeStd WHERE FeeID=4")), 4);
    EXPECT_TRUE(c.scalar("SELECT PricePerTon FROM T_FeeStd WHERE FeeID=4").IsNull());

    const int farmerNo = VarToInt(SaveCrudRow(c.dm(), DefFarmer(), {},
                                              {{"Name", "  王五 "}, {"Phone", "   "}, {"Blacklist", true},
                                               {"CustType", ""}, {"Remark", "\n 老客户 \n"}})
                                      .Key);
    const TParams farmer{{"i", farmerNo}};
    EXPECT_EQ(c.rows("SELECT Name,Remark,COALESCE(Phone,'null'),Blacklist FROM T_Farmer WHERE FarmerID=:i", farmer),
              "王五/老客户//-1");
    SaveCrudRow(c.dm(), DefFarmer(), farmerNo, {{"Name", "王五"}, {"Blacklist", false}});
    EXPECT_EQ(VarToInt(c.scalar("SELECT Blacklist FROM T_Farmer WHERE FarmerID=:i", farmer)), 0);

    // A date-only field keeps the day, not the hour the picker was opened at.
    const QDateTime picked(QDate(2025, 3, 3), QTime(14, 5, 9));
    ASSERT_TRUE(SaveCrudRow(c.dm(), DefEquipMaint(), {},
                            {{"EquipID", 1}, {"MaintType", "保养"}, {"MaintDate", picked}, {"NextDate", picked}})
                    .Saved);
    EXPECT_EQ(VarToStr(c.scalar("SELECT MaintDate FROM T_EquipMaint")), "2025-03-03 00:00:00");
    ASSERT_TRUE(SaveCrudRow(c.dm(), DefEquipRun(), {}, {{"EquipID", 1}, {"StartTime", picked}}).Saved);
    EXPECT_EQ(VarToStr(c.scalar("SELECT StartTime FROM T_EquipRun")), "2025-03-03 14:05:09");
    EXPECT_EQ(c.logActions(), (QStringList{"新增", "修改", "新增", "修改", "新增", "新增"}));
}

// Whatever is refused is refused by its caption, points at its field and writes nothing, not even
// a log line.
TEST(CrudSave, RefusedEntriesNameTheirFieldAndWriteNothing) {
    TTestCentre c;
    const QString price = "烘干单价(元/吨)";
    const struct {
        TCrudDef def;
        TValue key;
        TFieldValues entry;
        QString message;
        int field;
    } cases[] = {
        {DefUser(), {}, UserEntry("  ", "", true), "请填写：登录名", 0},
        {DefUser(), {}, UserEntry("wang", "", true), "请选择：角色", 2},
        {DefUser(), {}, UserEntry(" admin ", Roles::Weigher, true), "登录名已存在", 0},
        {DefUser(), 1, UserEntry("admin", Roles::Admin, false), "至少保留一个启用的管理员账号", 3},
        {DefUser(), 1, UserEntry("admin", Roles::Finance, true), "至少保留一个启用的管理员账号", 2},
        {DefGrain(), 99, {{"GrainName", "荞麦"}}, "保存失败：该记录已不存在，可能已被删除", -1},
        {DefFeeStd(), {}, {{"GrainID", 0}, {"PricePerTon", ""}}, "请选择：粮种", 0},
        {DefFeeStd(), {}, {{"GrainID", 1}, {"PricePerTon", "abc"}}, "请输入有效的数字：" + price, 1},
        // A price beyond what currency holds would otherwise come back as a large negative number.
        {DefFeeStd(), {}, {{"GrainID", 1}, {"PricePerTon", "1e15"}}, "数值超出范围：" + price, 1},
        {DefFeeStd(), {}, {{"GrainID", 1}, {"FreeDays", "9e12"}}, "数值超出范围：免费堆放(天)", 4},
        {DefFeeStd(), {}, {{"GrainID", 1}, {"StdMoisture", "100"}}, "数值超出范围：标准水分(%)", 2},
        {DefFeeStd(), {}, {{"GrainID", 1}, {"ReDryRate", "1000.5"}}, "数值超出范围：返烘费率(%)", 7},
        {DefFeeStd(), {}, {{"GrainID", 1}, {"RushFee", "-1"}}, "数值超出范围：加急费(元/次)", 6},
        {DefEquipRun(), {}, {{"EquipID", 1}, {"Temp", "1e308"}}, "数值超出范围：烘干温度(℃)", -2},
        {DefEquipRun(), {}, {{"EquipID", 1}, {"RunHours", "1001"}}, "数值超出范围：运行时长(小时)", -2},
        {DefEquipMaint(), {}, {{"EquipID", 1}, {"Cost", "1e15"}}, "数值超出范围：费用(元)", -2},
        // A text longer than its column is refused before the database sees it.
        {DefWh(), {}, {{"WhName", QString(21, QChar(0x4ed3))}, {"WhType", "干粮区"}}, "仓位名称最多 20 个字", 0},
    };
    const auto written = [&] {
        return c.count("T_User") + c.count("T_FeeStd") + c.count("T_Grain") + c.count("T_EquipRun") +
               c.count("T_EquipMaint") + c.count("T_Wh") + c.count("T_Log");
    };
    const int before = written();
    for (const auto& k : cases) {
        const TSaveOutcome out = SaveCrudRow(c.dm(), k.def, k.key, k.entry);
        EXPECT_EQ(out.Message, k.message);
        if (k.field != -2) EXPECT_EQ(out.Field, k.field) << k.message.toStdString();
    }
    EXPECT_EQ(written(), before);
    EXPECT_EQ(VarToStr(c.scalar("SELECT Role FROM T_User WHERE UserID=1")), Roles::Admin);

    // What people type into 烘干单价 and is stored; a blank required number is stored as null.
    for (const auto& [text, stored] : std::vector<std::pair<QString, QString>>{
             {"", ""}, {"１,２００", "1200"}, {"-0", "0"}, {"100000000", "100000000"}}) {
        const TSaveOutcome out = SaveCrudRow(c.dm(), DefFeeStd(), {}, {{"GrainID", 1}, {"PricePerTon", text}});
        ASSERT_TRUE(out.Saved) << text.toStdString() << ": " << out.Message.toStdString();
        EXPECT_EQ(VarToStr(c.scalar("SELECT PricePerTon FROM T_FeeStd WHERE FeeID=:k", {{"k", out.Key}})), stored);
    }
    EXPECT_TRUE(SaveCrudRow(c.dm(), DefFeeStd(), {}, {{"GrainID", 1}, {"ReDryRate", "1000"}}).Saved);
    EXPECT_TRUE(SaveCrudRow(c.dm(), DefWh(), {}, {{"WhName", "三号仓"}, {"WhType", "干粮区"}, {"Capacity", "5,000,000"}}).Saved);

    // Keeping one's own login name is no duplicate; with a second active administrator the first
    // may be switched off, and then the second may not lose the role.
    const int second = AddUser(c, "boss", Roles::Admin, true);
    EXPECT_TRUE(SaveCrudRow(c.dm(), DefUser(), second, UserEntry("boss", Roles::Admin, true)).Saved);
    EXPECT_TRUE(SaveCrudRow(c.dm(), DefUser(), 1, UserEntry("admin", Roles::Admin, false)).Saved);
    EXPECT_EQ(SaveCrudRow(c.dm(), DefUser(), second, UserEntry("boss", Roles::Viewer, true)).Message,
              "至少保留一个启用的管理员账号");
    EXPECT_EQ(SaveCrudRow(c.dm(), DefUser(), 1, UserEntry("boss", Roles::Admin, false)).Message, "登录名已存在");
}

TEST(CrudDelete, RowsInUseAndAccountsThatMustStayAreKept) {
    TTestCentre c;
    const TCrudDef users = DefUser();
    const int boss = AddUser(c, "boss", Roles::Admin, true);
    const int retired = AddUser(c, "retired", Roles::Admin, false);
    c.loginAs(Roles::Finance);
    EXPECT_EQ(DeleteRefusal(c.dm(), users, 1, Session), "内置管理员账号不可删除");
    EXPECT_EQ(DeleteRefusal(c.dm(), users, Session.UserID, Session), "不能删除当前登录账号");
    // Two active administrators: one of them may go, then the last one may not, nor an inactive one.
    EXPECT_EQ(DeleteCrudRow(c.dm(), users, retired, "retired", Session), "");
    c.dm().ExecSQLP("UPDATE T_User SET IsActive=0 WHERE UserID=1");
    EXPECT_EQ(DeleteRefusal(c.dm(), users, boss, Session), "至少保留一个启用的管理员账号");
    const int dormant = AddUser(c, "dormant", Roles::Admin, false);
    EXPECT_EQ(DeleteCrudRow(c.dm(), users, dormant, "dormant", Session), "至少保留一个启用的管理员账号");
    const int clerk = AddUser(c, "clerk", Roles::Weigher, true);
    EXPECT_EQ(DeleteCrudRow(c.dm(), users, clerk, "clerk", Session), "");
    EXPECT_EQ(c.count("T_User", "UserID IN (:a,:b)", {{"a", boss}, {"b", dormant}}), 2);
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE LogID=2")), "clerk");

    const int used = c.addFarmer("张三");
    const int unused = c.addFarmer("李四");
    AddBatch(c.dm(), "PC20250303001", used);
    AddBatch(c.dm(), "PC20250303002", used);
    c.dm().ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty) VALUES('PC20250303001',2,2,:f,500)",
                    {{"f", used}});
    EXPECT_EQ(DeleteCrudRow(c.dm(), DefFarmer(), used, "张三", Session),
              "删除失败，该记录可能已被业务单据引用：批次 2 条、库存 1 条");
    EXPECT_EQ(ReferencesTo(c.dm(), "T_Grain", 2), "批次 2 条、库存 1 条、收费标准 1 条");
    EXPECT_EQ(ReferencesTo(c.dm(), "T_Wh", 1), "批次 2 条");
    c.dm().ExecSQLP("INSERT INTO T_EquipRun(EquipID) VALUES(1)");
    EXPECT_EQ(DeleteRefusal(c.dm(), DefEquip(), 1, Session), "删除失败，该记录可能已被业务单据引用：设备运行记录 1 条");
    // What the database itself refuses keeps the same opening, with its reason after it.
    c.refuseWrites("T_Farmer", "DELETE", "记录被锁定");
    EXPECT_EQ(DeleteCrudRow(c.dm(), DefFarmer(), unused, "李四", Session),
              "删除失败，该记录可能已被业务单据引用：记录被锁定");
    c.allowWrites("T_Farmer");
    EXPECT_EQ(DeleteCrudRow(c.dm(), DefFarmer(), unused, "李四", Session), "");
    EXPECT_EQ(c.count("T_Farmer"), 1);
    EXPECT_EQ(c.logActions(), (QStringList{"删除", "删除", "删除"}));
}

// Two stations at the same rows: the second save waits for the first and then sees what it left.
TEST(CrudStations, TheSecondStationSeesTheFirstStationsWorkInsteadOfOverwritingIt) {
    TTestCentre c;
    TDM other(c.paths().Database());
    other.Connect();
    const bool server = c.dm().Engine() == TDbEngine::PostgreSQL;
    c.dm().ExecSQLP(server ? "SET lock_timeout='200ms'" : "PRAGMA busy_timeout=200");
    const QString locked = QStringLiteral("数据库正被其他程序或其他电脑占用，请稍后重试");

    // Two administrators switched off at the same moment: the second finds itself the last one.
    const int boss = AddUser(c, "boss", Roles::Admin, true);
    other.BeginTrans();
    if (server) other.ExecSQLP("LOCK TABLE T_User IN SHARE ROW EXCLUSIVE MODE");
    other.ExecSQLP("UPDATE T_User SET IsActive=0 WHERE UserID=:b", {{"b", boss}});
    EXPECT_EQ(SaveCrudRow(c.dm(), DefUser(), 1, UserEntry("admin", Roles::Admin, false)).Message, "保存失败：" + locked);
    other.CommitTrans();
    EXPECT_EQ(SaveCrudRow(c.dm(), DefUser(), 1, UserEntry("admin", Roles::Admin, false)).Message,
              "至少保留一个启用的管理员账号");
    EXPECT_EQ(VarToInt(c.scalar("SELECT COUNT(*) FROM T_User WHERE Role='管理员' AND IsActive=-1")), 1);

    // An edit dialog opened before another station saved the same row is refused naming what
    // changed, and the other station's change stays; read again, it saves.
    const int farmer = c.addFarmer("张三", "139");
    const int clerk = AddUser(c, "clerk", Roles::Finance, true);
    const auto read = [&](const TCrudDef& def, int key) {
        return CrudRowStamp(def, key, c.dm().OpenSQLP("SELECT * FROM " + def.TableName + " WHERE " + def.KeyField + "=:k",
                                                      {{"k", key}}));
    };
    const struct {
        TCrudDef def;
        int key;
        TFieldValues mine;
        QString theirs, changed, kept;
    } edits[] = {
        {DefFarmer(), farmer, {{"Name", "张三"}, {"Phone", "138"}}, "UPDATE T_Farmer SET Village='东村' WHERE FarmerID=:k",
         "改动了：村组/单位", "SELECT Phone||Village FROM T_Farmer WHERE FarmerID=:k"},
        {DefUser(), clerk, UserEntry("clerk", Roles::Viewer, true), "UPDATE T_User SET Role='操作工' WHERE UserID=:k",
         "改动了：角色", "SELECT Role FROM T_User WHERE UserID=:k"},
    };
    for (const auto& k : edits) {
        const TRowStamp stamp = read(k.def, k.key);
        other.ExecSQLP(k.theirs, {{"k", k.key}});
        const QString kept = VarToStr(c.scalar(k.kept, {{"k", k.key}}));
        const TSaveOutcome out = SaveCrudRow(c.dm(), k.def, k.key, k.mine, {stamp, {}, {}});
        EXPECT_EQ(out.Message, QStringLiteral("该记录已被其他电脑修改（") + k.changed + "），请关闭后重新打开再保存");
        EXPECT_EQ(VarToStr(c.scalar(k.kept, {{"k", k.key}})), kept);
        EXPECT_TRUE(SaveCrudRow(c.dm(), k.def, k.key, k.mine, {read(k.def, k.key), {}, {}}).Saved);
    }

    // A deletion and a registration using the same farmer: whichever goes first, no batch is left
    // referring to a deleted farmer. A registration holding the farmer makes the deletion wait.
    TBatchInput load{.RegTime = QDateTime::currentDateTime(), .FarmerID = farmer, .GrainID = 1, .WhID = 1,
                     .GrossWt = "12000", .TareWt = "2000", .WetNetWt = "10000", .EstFee = "0"};
    other.BeginTrans();
    ASSERT_TRUE(LockReferencedRow(other, "T_Farmer", "FarmerID", load.FarmerID));
    EXPECT_EQ(DeleteCrudRow(c.dm(), DefFarmer(), farmer, "张三", Session), "删除失败，该记录可能已被业务单据引用：" + locked);
    AddBatch(other, "PC20250303001", farmer);
    other.CommitTrans();
    EXPECT_EQ(DeleteCrudRow(c.dm(), DefFarmer(), farmer, "张三", Session), "删除失败，该记录可能已被业务单据引用：批次 1 条");

    // A deletion holding another farmer makes the registration wait, and then find it gone.
    load.FarmerID = c.addFarmer("李四");
    other.BeginTrans();
    other.ExecSQLP("SELECT FarmerID FROM T_Farmer WHERE FarmerID=:f" + SqlForUpdate(other.Engine()), {{"f", load.FarmerID}});
    other.ExecSQLP("DELETE FROM T_Farmer WHERE FarmerID=:f", {{"f", load.FarmerID}});
    EXPECT_EQ(TBatchLogic(c.dm()).Save(load).Refusal, "保存失败：" + locked);
    other.CommitTrans();
    const TBatchSaveResult refused = TBatchLogic(c.dm()).Save(load);
    EXPECT_EQ(refused.Refusal, "所选的农户/客户已被其他电脑删除，请重新选择");
    EXPECT_EQ(refused.Focus, TBatchField::Farmer);
    EXPECT_EQ(c.count("T_Batch"), 1);

    // A dispatch into a position deleted meanwhile is refused alike.
    const int wh = c.addWh("临时湿粮区", "湿粮区");
    other.ExecSQLP("DELETE FROM T_Wh WHERE WhID=:w", {{"w", wh}});
    EXPECT_EQ(TDispatchLogic(c.dm())
                  .Save({.BatchNo = "PC20250303001", .EquipID = 1, .WhInID = wh, .StartTime = QDateTime::currentDateTime()})
                  .Refusal,
              "所选的仓位已被其他电脑删除，请重新选择");
    EXPECT_EQ(c.count("T_Drying"), 0);
    EXPECT_EQ(c.logActions(), (QStringList{"修改", "修改"}));
}
