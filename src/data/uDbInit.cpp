#include "data/uDbInit.h"

#include "data/uDM.h"
#include "data/uPassword.h"
#include "data/uDbHealth.h"
#include "data/uSqlDialect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
// Declared type names follow the original schema so that a field's kind can be told from
// them; MEMO carries TEXT as well, so that SQLite keeps memo text as text ("007" stays "007").
// TEXT(n) lengths are checked because SQLite would otherwise store any length.
const TSchema kSchema{
    {
        "CREATE TABLE T_User (UserID INTEGER CONSTRAINT PK_User PRIMARY KEY AUTOINCREMENT, LoginName TEXT(20) NOT NULL CHECK(length(LoginName)<=20), UserName TEXT(20) CHECK(length(UserName)<=20), Pwd TEXT(20) CHECK(length(Pwd)<=20), PwdHash TEXT(128) CHECK(length(PwdHash)<=128), Role TEXT(10) CHECK(length(Role)<=10), IsActive YESNO)",
        "CREATE TABLE T_Grain (GrainID INTEGER CONSTRAINT PK_Grain PRIMARY KEY AUTOINCREMENT, GrainName TEXT(20) NOT NULL CHECK(length(GrainName)<=20), Remark TEXT(100) CHECK(length(Remark)<=100))",
        "CREATE TABLE T_FeeStd (FeeID INTEGER CONSTRAINT PK_Fee PRIMARY KEY AUTOINCREMENT, GrainID LONG, PricePerTon CURRENCY, StdMoisture DOUBLE, ExtraPerPoint CURRENCY, FreeDays LONG, StorageFee CURRENCY, RushFee CURRENCY, ReDryRate DOUBLE)",
        "CREATE TABLE T_Wh (WhID INTEGER CONSTRAINT PK_Wh PRIMARY KEY AUTOINCREMENT, WhName TEXT(20) CHECK(length(WhName)<=20), WhType TEXT(10) CHECK(length(WhType)<=10), Capacity DOUBLE, Remark TEXT(100) CHECK(length(Remark)<=100))",
        "CREATE TABLE T_Equip (EquipID INTEGER CONSTRAINT PK_Equip PRIMARY KEY AUTOINCREMENT, EquipNo TEXT(20) CHECK(length(EquipNo)<=20), Model TEXT(30) CHECK(length(Model)<=30), StartDate DATETIME, Status TEXT(10) CHECK(length(Status)<=10), Remark TEXT(100) CHECK(length(Remark)<=100))",
        "CREATE TABLE T_Operator (OpID INTEGER CONSTRAINT PK_Oper PRIMARY KEY AUTOINCREMENT, OpName TEXT(20) CHECK(length(OpName)<=20), Team TEXT(10) CHECK(length(Team)<=10), Post TEXT(10) CHECK(length(Post)<=10), Phone TEXT(20) CHECK(length(Phone)<=20))",
        "CREATE TABLE T_Farmer (FarmerID INTEGER CONSTRAINT PK_Farmer PRIMARY KEY AUTOINCREMENT, Name TEXT(20) CHECK(length(Name)<=20), Phone TEXT(20) CHECK(length(Phone)<=20), Village TEXT(50) CHECK(length(Village)<=50), IDCard TEXT(20) CHECK(length(IDCard)<=20), Address TEXT(100) CHECK(length(Address)<=100), CustType TEXT(10) CHECK(length(CustType)<=10), Blacklist YESNO, Remark MEMO TEXT)",
        "CREATE TABLE T_Batch (BatchNo TEXT(20) NOT NULL CONSTRAINT PK_Batch PRIMARY KEY CHECK(length(BatchNo)<=20), RegTime DATETIME, CarNo TEXT(15) CHECK(length(CarNo)<=15), FarmerID LONG, GrainID LONG, InMoisture DOUBLE, Impurity DOUBLE, QualityMemo TEXT(100) CHECK(length(QualityMemo)<=100), GrossWt DOUBLE, TareWt DOUBLE, WetNetWt DOUBLE, WhID LONG, TargetMoisture DOUBLE, EstFee CURRENCY, OpID LONG, Team TEXT(10) CHECK(length(Team)<=10), Status TEXT(10) CHECK(length(Status)<=10), VoidMemo MEMO TEXT)",
        "CREATE TABLE T_Drying (DryID INTEGER CONSTRAINT PK_Dry PRIMARY KEY AUTOINCREMENT, BatchNo TEXT(20) CHECK(length(BatchNo)<=20), Round LONG, EquipID LONG, WhInID LONG, StartTime DATETIME, EndTime DATETIME, DryHours DOUBLE, DryTemp DOUBLE, FanGear TEXT(10) CHECK(length(FanGear)<=10), OutMoisture DOUBLE, DryNetWt DOUBLE, LossWt DOUBLE, LossRate DOUBLE, AbnormalMemo TEXT(200) CHECK(length(AbnormalMemo)<=200), OpID LONG)",
        "CREATE TABLE T_Stock (StockID INTEGER CONSTRAINT PK_Stock PRIMARY KEY AUTOINCREMENT, BatchNo TEXT(20) CHECK(length(BatchNo)<=20), WhID LONG, GrainID LONG, FarmerID LONG, Qty DOUBLE, InTime DATETIME, Moisture DOUBLE, Status TEXT(10) CHECK(length(Status)<=10))",
        "CREATE TABLE T_StockMove (MoveID INTEGER CONSTRAINT PK_Move PRIMARY KEY AUTOINCREMENT, BatchNo TEXT(20) CHECK(length(BatchNo)<=20), WhID LONG, MoveType TEXT(10) CHECK(length(MoveType)<=10), Qty DOUBLE, MoveTime DATETIME, OpID LONG, Remark TEXT(100) CHECK(length(Remark)<=100))",
        "CREATE TABLE T_Outbound (OutNo TEXT(20) NOT NULL CONSTRAINT PK_Out PRIMARY KEY CHECK(length(OutNo)<=20), OutType TEXT(10) CHECK(length(OutType)<=10), BatchNo TEXT(20) CHECK(length(BatchNo)<=20), FarmerID LONG, GrainID LONG, OutWt DOUBLE, OutTime DATETIME, Destination TEXT(100) CHECK(length(Destination)<=100), Driver TEXT(20) CHECK(length(Driver)<=20), CarNo TEXT(15) CHECK(length(CarNo)<=15), OpID LONG, Remark TEXT(100) CHECK(length(Remark)<=100))",
        "CREATE TABLE T_Settle (SettleNo TEXT(20) NOT NULL CONSTRAINT PK_Settle PRIMARY KEY CHECK(length(SettleNo)<=20), BatchNo TEXT(20) CHECK(length(BatchNo)<=20), FarmerID LONG, BaseFee CURRENCY, MoistureExtra CURRENCY, StorageFee CURRENCY, ReDryFee CURRENCY, OtherFee CURRENCY, TotalFee CURRENCY, PaidAmt CURRENCY, DebtAmt CURRENCY, Status TEXT(10) CHECK(length(Status)<=10), SettleTime DATETIME, StoreDays LONG, Remark TEXT(200) CHECK(length(Remark)<=200))",
        "CREATE TABLE T_EquipRun (RunID INTEGER CONSTRAINT PK_Run PRIMARY KEY AUTOINCREMENT, EquipID LONG, BatchNo TEXT(20) CHECK(length(BatchNo)<=20), StartTime DATETIME, EndTime DATETIME, RunHours DOUBLE, PowerKWh DOUBLE, Temp DOUBLE, Status TEXT(10) CHECK(length(Status)<=10), FaultMemo MEMO TEXT)",
        "CREATE TABLE T_EquipMaint (MaintID INTEGER CONSTRAINT PK_Maint PRIMARY KEY AUTOINCREMENT, EquipID LONG, MaintType TEXT(10) CHECK(length(MaintType)<=10), MaintDate DATETIME, Content MEMO TEXT, Cost CURRENCY, NextDate DATETIME)",
        "CREATE TABLE T_Log (LogID INTEGER CONSTRAINT PK_Log PRIMARY KEY AUTOINCREMENT, OpTime DATETIME, LoginName TEXT(20) CHECK(length(LoginName)<=20), ActType TEXT(20) CHECK(length(ActType)<=20), TblName TEXT(20) CHECK(length(TblName)<=20), RefNo TEXT(20) CHECK(length(RefNo)<=20), Detail MEMO TEXT)",
        // The pictures of each weighing; the file lies under the photo folder, FilePath relative
        // to it. A take whose camera gave no picture keeps its row with no file.
        "CREATE TABLE T_Photo (PhotoID INTEGER CONSTRAINT PK_Photo PRIMARY KEY AUTOINCREMENT, BatchNo TEXT(20) CHECK(length(BatchNo)<=20), WtKind TEXT(10) CHECK(length(WtKind)<=10), CameraName TEXT(20) CHECK(length(CameraName)<=20), ShotTime DATETIME, Weight DOUBLE, FilePath TEXT(255) CHECK(length(FilePath)<=255), ByteSize LONG, Sha256 TEXT(64) CHECK(length(Sha256)<=64))",
        "CREATE INDEX idx_dry_batch ON T_Drying(BatchNo)",
        "CREATE INDEX idx_stock_batch ON T_Stock(BatchNo)",
        "CREATE INDEX idx_move_batch ON T_StockMove(BatchNo)",
        "CREATE INDEX idx_out_batch ON T_Outbound(BatchNo)",
        "CREATE INDEX idx_settle_batch ON T_Settle(BatchNo)",
        "CREATE INDEX idx_batch_farmer ON T_Batch(FarmerID)",
        "CREATE INDEX idx_batch_status ON T_Batch(Status)",
        "CREATE INDEX idx_run_equip ON T_EquipRun(EquipID)",
        "CREATE INDEX idx_log_time ON T_Log(OpTime)",
        "CREATE INDEX idx_batch_status_no ON T_Batch(Status, BatchNo)",
        "CREATE INDEX idx_batch_no_car ON T_Batch(BatchNo, CarNo, FarmerID)",
        // The live rows alone, holding every column the stock lists and the outbound dialog show,
        // in the order they show them: newest first, and oldest stored first for the warnings.
        "CREATE INDEX idx_stock_live_rows ON T_Stock(StockID, Status, WhID, BatchNo, Qty, FarmerID, GrainID) "
        "WHERE Status IN ('待烘干','在库')",
        "CREATE INDEX idx_stock_live_age ON T_Stock(InTime, StockID, Status, WhID, GrainID, BatchNo, FarmerID, Qty) "
        "WHERE Status IN ('待烘干','在库')",
        "CREATE INDEX idx_out_batch_wt ON T_Outbound(BatchNo, OutWt)",
        "CREATE INDEX idx_out_no_filter ON T_Outbound(OutNo, OutTime, OutType, BatchNo, FarmerID)",
        "CREATE INDEX idx_batch_no_farmer_status ON T_Batch(BatchNo, FarmerID, Status)",
        "CREATE INDEX idx_settle_batch_status ON T_Settle(BatchNo, Status)",
        // The reports read a period's rows from these alone, without touching the tables:
        // daily and monthly figures, the loss analysis, the energy report, the farmer statement.
        "CREATE INDEX idx_batch_regtime ON T_Batch(RegTime, Status, WetNetWt)",
        "CREATE INDEX idx_batch_farmer_wt ON T_Batch(FarmerID, Status, WetNetWt)",
        "CREATE INDEX idx_dry_end ON T_Drying(EndTime, BatchNo, Round, DryNetWt, LossWt, LossRate)",
        "CREATE INDEX idx_dry_start ON T_Drying(StartTime, EquipID, EndTime, DryNetWt)",
        "CREATE INDEX idx_out_time ON T_Outbound(OutTime, OutWt)",
        "CREATE INDEX idx_settle_time ON T_Settle(SettleTime, TotalFee, PaidAmt, DebtAmt)",
        "CREATE INDEX idx_settle_farmer ON T_Settle(FarmerID, TotalFee, PaidAmt, DebtAmt)",
        "CREATE INDEX idx_run_start ON T_EquipRun(StartTime, EquipID, RunHours, PowerKWh)",
        // The log viewer's action filter, newest first, without reading the whole log.
        "CREATE INDEX idx_log_act ON T_Log(ActType)",
        // The weighbridge: a vehicle's last tares as its plate is typed, and a batch's
        // registration rows for its reprinted ticket.
        "CREATE INDEX idx_batch_car ON T_Batch(CarNo, RegTime, BatchNo, TareWt, Status)",
        "CREATE INDEX idx_log_ref ON T_Log(RefNo)",
        "CREATE INDEX idx_photo_batch ON T_Photo(BatchNo, WtKind, ShotTime)",
    },
    {
        "INSERT INTO T_User(LoginName,UserName,Pwd,PwdHash,Role,IsActive) VALUES('admin','系统管理员','',:admin_hash,'管理员',-1)",
        "INSERT INTO T_Grain(GrainName,Remark) VALUES('稻谷','')",
        "INSERT INTO T_Grain(GrainName,Remark) VALUES('小麦','')",
        "INSERT INTO T_Grain(GrainName,Remark) VALUES('玉米','')",
        "INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,RushFee,ReDryRate) VALUES(1,120,15,8,30,1,50,50)",
        "INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,RushFee,ReDryRate) VALUES(2,100,12.5,8,30,1,50,50)",
        "INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,RushFee,ReDryRate) VALUES(3,110,14,8,30,1,50,50)",
        "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES('湿粮暂存区','湿粮区',50000,'烘干前湿粮')",
        "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES('1号干粮仓','干粮区',100000,'')",
        "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES('2号干粮仓','干粮区',100000,'')",
        "INSERT INTO T_Wh(WhName,WhType,Capacity,Remark) VALUES('干粮待发区','干粮区',20000,'出库暂存')",
        "INSERT INTO T_Equip(EquipNo,Model,StartDate,Status,Remark) VALUES('HG-001','批次式粮食烘干机',:today_minus_365,'正常','请按实际设备修改')",
        "INSERT INTO T_Operator(OpName,Team,Post,Phone) VALUES('甲师傅','早班','操作工','')",
        "INSERT INTO T_Operator(OpName,Team,Post,Phone) VALUES('乙师傅','中班','操作工','')",
        "INSERT INTO T_Operator(OpName,Team,Post,Phone) VALUES('丙司磅','早班','司磅员','')",
    }};

// The server keeps the same tables with its own type names: date-times as timestamp, money as
// numeric(19,4), yes/no as smallint -1/0, and text compared byte by byte (collation "C") as the
// file does, which number ranges and the grids' paging rely on.
QString ForServer(const QString& statement) {
    static const QList<std::pair<QRegularExpression, QString>> types{
        {QRegularExpression(R"(INTEGER CONSTRAINT (\w+) PRIMARY KEY AUTOINCREMENT)"),
         R"(integer GENERATED BY DEFAULT AS IDENTITY CONSTRAINT \1 PRIMARY KEY)"},
        {QRegularExpression(R"(\bDATETIME\b)"), "timestamp"},
        {QRegularExpression(R"(\bCURRENCY\b)"), "numeric(19,4)"},
        {QRegularExpression(R"(\bYESNO\b)"), "smallint"},
        {QRegularExpression(R"(\bDOUBLE\b)"), "double precision"},
        {QRegularExpression(R"(\bLONG\b)"), "integer"},
        {QRegularExpression(R"(\bMEMO TEXT\b)"), R"(text COLLATE "C")"},
        {QRegularExpression(R"(\bTEXT\(\d+\))"), R"(text COLLATE "C")"},
    };
    if (!statement.startsWith("CREATE TABLE")) return statement;
    QString s = statement;
    for (const auto& [pattern, replacement] : types) s.replace(pattern, replacement);
    return s;
}

// The server's numbering counters (see TDM::NextNo); the file needs none.
const char* const kCounterTable =
    R"(CREATE TABLE T_Counter (Prefix text COLLATE "C" NOT NULL, Day text COLLATE "C" NOT NULL, Seq integer NOT NULL, PRIMARY KEY (Prefix, Day)))";

void MakeFolder(const QString& path) {
    if (QFileInfo(path).isDir()) return;
    if (!QDir().mkpath(path)) throw TDbError(QStringLiteral("无法创建文件夹：") + QDir::toNativeSeparators(path));
}

void RunAll(TDM& dm, const QStringList& statements) {
    const TParams today{{"today_minus_365", QDateTime(QDate::currentDate().addDays(-365), QTime(0, 0))}};
    const TParams admin{{"admin_hash", QString::fromLatin1(kStartingAdminHash)}};
    for (const QString& raw : statements) {
        const QString statement = raw.trimmed();
        if (statement.isEmpty()) continue;
        try {
            dm.ExecSQLP(statement, statement.contains(":today_minus_365") ? today
                                   : statement.contains(":admin_hash")    ? admin
                                                                          : TParams{});
        } catch (const TDbError& e) {
            throw TDbError(e.Message() + "  >>>  " + statement, e.Info());
        }
    }
}

void RemoveDatabaseFile(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + "-journal");
}

void BuildInto(const QString& path, const TSchema& schema) {
    TDM dm(path, TOpenMode::CreateNew);
    dm.Connect();
    TTransaction tx(dm);
    CreateSchema(dm, schema, true);
    tx.Commit();
}

int TableCount(TDM& dm) { return VarToInt(dm.ScalarP(SqlTableCount(dm.Engine()))); }

void EnsureServerDatabase(const TDbConfig& config, const TSchema& schema) {
    // A station's user may only read the catalog and work on the rows: a schema that holds
    // tables (this system's or, refused later, another's) is left exactly as it is.
    {
        TDM look(config, TOpenMode::Inspect);
        look.Connect();
        if (TableCount(look) > 0) return;
    }
    TDM dm(config, TOpenMode::CreateNew);
    dm.Connect();
    TTransaction tx(dm);
    // Stations started together on an empty database: one creates the tables, the others
    // wait here and then find them made.
    dm.ExecSQLP("SELECT pg_advisory_xact_lock(4661)");
    if (TableCount(dm) > 0) return;
    CreateSchema(dm, schema, true);
    tx.Commit();
}
}  // namespace

const TSchema& MovelkarSchema() { return kSchema; }

QStringList SchemaStatements(TDbEngine engine, const TSchema& schema) {
    if (engine == TDbEngine::SQLite) return schema.Statements;
    QStringList statements;
    for (const QString& statement : schema.Statements) statements << ForServer(statement);
    statements << kCounterTable;
    return statements;
}

QStringList TableStatements(TDbEngine engine, const QString& table) {
    QStringList statements;
    const QString created = "CREATE TABLE " + table + " (";
    const QString indexed = " ON " + table + "(";
    for (const QString& statement : kSchema.Statements)
        if (statement.startsWith(created) || (statement.startsWith("CREATE INDEX ") && statement.contains(indexed)))
            statements << (engine == TDbEngine::SQLite ? statement : ForServer(statement));
    return statements;
}

void CreateSchema(TDM& dm, const TSchema& schema, bool withStartingRows) {
    RunAll(dm, SchemaStatements(dm.Engine(), schema));
    if (SchemaTables(schema).contains("T_Log")) RunAll(dm, SqlLogGuard(dm.Engine()) + SqlLogRefWords(dm.Engine()));
    if (withStartingRows) RunAll(dm, schema.StartingRows);
}

QList<TTableColumns> SchemaColumns(TDbEngine engine, const TSchema& schema) {
    static const QRegularExpression head(QStringLiteral(R"(^\s*CREATE\s+TABLE\s+(\w+)\s*\()"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression constraint(QStringLiteral(R"(^(PRIMARY|CONSTRAINT|UNIQUE|CHECK|FOREIGN)\b)"),
                                               QRegularExpression::CaseInsensitiveOption);
    QList<TTableColumns> tables;
    for (const QString& statement : SchemaStatements(engine, schema)) {
        const QRegularExpressionMatch m = head.match(statement);
        if (!m.hasMatch()) continue;
        TTableColumns table{m.captured(1), {}};
        // The column definitions are the parts between commas outside parentheses.
        int depth = 0;
        QString part;
        const QString body = statement.mid(m.capturedEnd());
        for (const QChar c : body) {
            if (c == '(') ++depth;
            if (c == ')' && depth-- == 0) break;
            if (c == ',' && depth == 0) {
                if (const QString p = part.trimmed(); !p.isEmpty() && !constraint.match(p).hasMatch())
                    table.Columns << p.section(' ', 0, 0);
                part.clear();
                continue;
            }
            part += c;
        }
        if (const QString p = part.trimmed(); !p.isEmpty() && !constraint.match(p).hasMatch())
            table.Columns << p.section(' ', 0, 0);
        tables << table;
    }
    return tables;
}

QStringList MovelkarIndexes() {
    QStringList indexes;
    for (const QString& statement : kSchema.Statements)
        if (statement.startsWith("CREATE INDEX "))
            indexes << QString(statement).replace("CREATE INDEX ", "CREATE INDEX IF NOT EXISTS ");
    return indexes;
}

void EnsureDatabase(const TDbConfig& config, const QString& backupDir, const TSchema& schema) {
    if (!config.IsPostgres()) {
        EnsureDatabase(config.Path, backupDir, schema);
        return;
    }
    MakeFolder(backupDir);
    EnsureServerDatabase(config, schema);
}

void EnsureDatabase(const QString& dbPath, const QString& backupDir, const TSchema& schema) {
    if (QFileInfo::exists(dbPath)) return;
    MakeFolder(QFileInfo(dbPath).absolutePath());
    MakeFolder(backupDir);

    // Built under another name and moved into place only when complete, so that a failed
    // first start leaves nothing that the next start would mistake for a database.
    const QString building = dbPath + ".new";
    RemoveDatabaseFile(building);
    try {
        BuildInto(building, schema);
    } catch (...) {
        RemoveDatabaseFile(building);
        throw;
    }
    if (!QFile::rename(building, dbPath)) {
        RemoveDatabaseFile(building);
        throw TDbError(QStringLiteral("无法创建数据库文件：") + QDir::toNativeSeparators(dbPath));
    }
}
