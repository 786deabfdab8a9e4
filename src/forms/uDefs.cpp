#include "forms/uDefs.h"

namespace {
const char* const kEquipLookup = "SELECT EquipID,EquipNo FROM T_Equip ORDER BY EquipID";

TCrudDef Def(const QString& title, const QString& table, const QString& key, const QString& listSql,
             const QString& orderBy, const QList<TColDef>& cols) {
    TCrudDef def;
    def.Title = title;
    def.TableName = table;
    def.KeyField = key;
    def.ListSQL = listSql;
    def.OrderBy = orderBy;
    def.Cols = {MakeCol(key, {}, QStringLiteral("编号"), ckInteger, 50)};
    def.Cols += cols;
    return def;
}
}  // namespace

TCrudDef DefGrain() {
    return Def("粮种管理", "T_Grain", "GrainID", "SELECT GrainID, GrainName, Remark FROM T_Grain", "GrainID",
               {MakeCol("GrainName", "GrainName", "粮种名称", ckText, 120, true),
                MakeCol("Remark", "Remark", "备注", ckText, 200)});
}

TCrudDef DefFeeStd() {
    return Def("烘干收费标准", "T_FeeStd", "FeeID",
               "SELECT f.FeeID, g.GrainName, f.PricePerTon, f.StdMoisture, f.ExtraPerPoint, f.FreeDays, "
               "f.StorageFee, f.RushFee, f.ReDryRate FROM T_FeeStd f LEFT JOIN T_Grain g ON f.GrainID=g.GrainID",
               "f.FeeID",
               {MakeCol("GrainName", "GrainID", "粮种", ckChoice, 90, true,
                        "SELECT GrainID,GrainName FROM T_Grain ORDER BY GrainID"),
                MakeNumCol("PricePerTon", "PricePerTon", "烘干单价(元/吨)", ckMoney, 120, TNumRange::Money, true),
                MakeNumCol("StdMoisture", "StdMoisture", "标准水分(%)", ckDecimal, 100, TNumRange::Percent, true),
                MakeNumCol("ExtraPerPoint", "ExtraPerPoint", "超1水加价(元/吨)", ckMoney, 130, TNumRange::Money),
                MakeNumCol("FreeDays", "FreeDays", "免费堆放(天)", ckInteger, 100, TNumRange::Days),
                MakeNumCol("StorageFee", "StorageFee", "超期仓储(元/吨/天)", ckMoney, 140, TNumRange::Money),
                MakeNumCol("RushFee", "RushFee", "加急费(元/次)", ckMoney, 110, TNumRange::Money),
                MakeNumCol("ReDryRate", "ReDryRate", "返烘费率(%)", ckDecimal, 100, TNumRange::ReDryRate)});
}

TCrudDef DefWh() {
    return Def("仓位管理", "T_Wh", "WhID", "SELECT WhID, WhName, WhType, Capacity, Remark FROM T_Wh", "WhID",
               {MakeCol("WhName", "WhName", "仓位名称", ckText, 130, true),
                MakeCol("WhType", "WhType", "仓位类型", ckChoice, 90, true, {}, "湿粮区;干粮区"),
                MakeNumCol("Capacity", "Capacity", "容量(公斤)", ckDecimal, 110, TNumRange::Capacity),
                MakeCol("Remark", "Remark", "备注", ckText, 200)});
}

TCrudDef DefEquip() {
    return Def("烘干机设备台账", "T_Equip", "EquipID",
               "SELECT EquipID, EquipNo, Model, StartDate, Status, Remark FROM T_Equip", "EquipID",
               {MakeCol("EquipNo", "EquipNo", "设备编号", ckText, 100, true),
                MakeCol("Model", "Model", "型号规格", ckText, 160),
                MakeCol("StartDate", "StartDate", "投产日期", ckDate, 100),
                MakeCol("Status", "Status", "状态", ckChoice, 80, false, {}, "正常;维修;停用"),
                MakeCol("Remark", "Remark", "备注", ckText, 180)});
}

TCrudDef DefOperator() {
    TCrudDef def =
        Def("班组操作员管理", "T_Operator", "OpID", "SELECT OpID, OpName, Team, Post, Phone FROM T_Operator", {},
            {MakeCol("OpName", "OpName", "姓名", ckText, 100, true),
             MakeCol("Team", "Team", "班组", ckChoice, 80, false, {}, ShiftNames().join(';')),
             MakeCol("Post", "Post", "岗位", ckChoice, 90, false, {}, "操作工;司磅员;质检员;班组长"),
             MakeCol("Phone", "Phone", "电话", ckText, 120)});
    def.SortSql = ShiftOrderSql("Team") + ",OpID";
    return def;
}

TCrudDef DefFarmer() {
    return Def("农户/客户档案", "T_Farmer", "FarmerID",
               "SELECT FarmerID, Name, Phone, Village, IDCard, Address, CustType, "
               "CASE WHEN Blacklist=-1 THEN '是' ELSE '否' END AS BlackName, Remark FROM T_Farmer",
               "FarmerID DESC",
               {MakeCol("Name", "Name", "姓名/客户", ckText, 100, true),
                MakeCol("Phone", "Phone", "电话", ckText, 120),
                MakeCol("Village", "Village", "村组/单位", ckText, 140),
                MakeCol("IDCard", "IDCard", "身份证号", ckText, 150),
                MakeCol("Address", "Address", "住址", ckText, 180),
                MakeCol("CustType", "CustType", "客户类型", ckChoice, 100, false, {}, "农户代烘;合作社;粮商;自有粮"),
                MakeCol("BlackName", "Blacklist", "黑名单", ckYesNo, 70),
                MakeCol("Remark", "Remark", "备注", ckMemo, 200)});
}

// Passwords are neither listed nor shown: the dialog only sets a new one (see SetsPassword).
TCrudDef DefUser() {
    TCrudDef def =
        Def("系统用户管理", "T_User", "UserID",
            "SELECT UserID, LoginName, UserName, Role, CASE WHEN IsActive=-1 THEN '是' ELSE '否' END AS ActiveName "
            "FROM T_User",
            "UserID",
            {MakeCol("LoginName", "LoginName", "登录名", ckText, 100, true),
             MakeCol("UserName", "UserName", "姓名", ckText, 100),
             MakeCol("Role", "Role", "角色", ckChoice, 90, true, {}, "管理员;司磅员;操作工;财务;查询员"),
             MakeCol("ActiveName", "IsActive", "启用", ckYesNo, 60, false, {}, {}, -1)});
    def.SetsPassword = true;
    return def;
}

TCrudDef DefEquipRun() {
    return Def("设备运行与能耗填报", "T_EquipRun", "RunID",
               "SELECT r.RunID, e.EquipNo, r.BatchNo, r.StartTime, r.EndTime, r.RunHours, r.PowerKWh, r.Temp, "
               "r.Status, r.FaultMemo FROM T_EquipRun r LEFT JOIN T_Equip e ON r.EquipID=e.EquipID",
               "r.RunID DESC",
               {MakeCol("EquipNo", "EquipID", "设备", ckChoice, 110, true, kEquipLookup),
                MakeCol("BatchNo", "BatchNo", "关联批次号", ckText, 130),
                MakeCol("StartTime", "StartTime", "启动时间", ckDateTime, 130),
                MakeCol("EndTime", "EndTime", "停机时间", ckDateTime, 130),
                MakeNumCol("RunHours", "RunHours", "运行时长(小时)", ckDecimal, 110, TNumRange::Hours),
                MakeNumCol("PowerKWh", "PowerKWh", "耗电量(度)", ckDecimal, 100, TNumRange::Energy),
                MakeNumCol("Temp", "Temp", "烘干温度(℃)", ckDecimal, 100, TNumRange::Temperature),
                MakeCol("Status", "Status", "工况", ckChoice, 80, false, {}, "作业;待机;故障"),
                MakeCol("FaultMemo", "FaultMemo", "故障/运行记录", ckMemo, 200)});
}

TCrudDef DefEquipMaint() {
    return Def("设备保养维修记录", "T_EquipMaint", "MaintID",
               "SELECT m.MaintID, e.EquipNo, m.MaintType, m.MaintDate, m.Content, m.Cost, m.NextDate "
               "FROM T_EquipMaint m LEFT JOIN T_Equip e ON m.EquipID=e.EquipID",
               "m.MaintID DESC",
               {MakeCol("EquipNo", "EquipID", "设备", ckChoice, 110, true, kEquipLookup),
                MakeCol("MaintType", "MaintType", "类型", ckChoice, 90, false, {}, "保养;维修;耗材更换"),
                MakeCol("MaintDate", "MaintDate", "日期", ckDate, 100),
                MakeCol("Content", "Content", "内容说明", ckMemo, 220),
                MakeNumCol("Cost", "Cost", "费用(元)", ckMoney, 100, TNumRange::Money),
                MakeCol("NextDate", "NextDate", "下次保养日期", ckDate, 110)});
}
