#include "GenWriter.h"

namespace {
const char* const kInsertSql[] = {
    "INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,Impurity,QualityMemo,GrossWt,TareWt,"
    "WetNetWt,WhID,TargetMoisture,EstFee,OpID,Team,Status,VoidMemo) VALUES(:no,:t,:car,:f,:g,:m,:imp,:qm,:gross,"
    ":tare,:net,:wh,:target,:fee,:op,:team,:st,:void)",
    "INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,EndTime,DryHours,DryTemp,FanGear,OutMoisture,"
    "DryNetWt,LossWt,LossRate,AbnormalMemo,OpID) VALUES(:b,:r,:e,:w,:st,:et,:dh,:temp,:fan,:om,:dn,:lw,:lr,:ab,:op)",
    "INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) VALUES(:b,:w,:g,:f,:q,:t,:m,:s)",
    "INSERT INTO T_StockMove(BatchNo,WhID,MoveType,Qty,MoveTime,OpID,Remark) VALUES(:b,:w,:mt,:q,:t,:op,:mm)",
    "INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime,Destination,Driver,CarNo,OpID,"
    "Remark) VALUES(:no,:tp,:b,:f,:g,:w,:t,:dest,:dr,:car,:op,:mm)",
    "INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,MoistureExtra,StorageFee,ReDryFee,OtherFee,TotalFee,"
    "PaidAmt,DebtAmt,Status,SettleTime,StoreDays,Remark) VALUES(:no,:b,:f,:bf,:mf,:sf,:rf,:of,:tf,:pa,:da,:st,:tm,"
    ":sd,:mm)",
    "INSERT INTO T_EquipRun(EquipID,BatchNo,StartTime,EndTime,RunHours,PowerKWh,Temp,Status,FaultMemo) "
    "VALUES(:e,:b,:st,:et,:h,:kwh,:temp,:s,:memo)",
    "INSERT INTO T_EquipMaint(EquipID,MaintType,MaintDate,Content,Cost,NextDate) VALUES(:e,:tp,:d,:c,:cost,:next)",
    "INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) VALUES(:t,:u,:a,:tb,:r,:d)",
    "INSERT INTO T_Photo(BatchNo,WtKind,CameraName,ShotTime,Weight,FilePath,ByteSize,Sha256) "
    "VALUES(:b,:k,:c,:t,:w,:f,:s,:h)",
};
static_assert(std::size(kInsertSql) == size_t(TGenTable::Count_));

constexpr qint64 kRowsPerCommit = 200000;
}  // namespace

TGenWriter::TGenWriter(TDM& dm) : dm_(dm) {
    for (size_t i = 0; i < inserts_.size(); ++i)
        inserts_[i] = std::make_unique<TStatement>(dm_, QString::fromUtf8(kInsertSql[i]));
    dm_.BeginTrans();
}

void TGenWriter::Insert(TGenTable table, const TParams& params) {
    TStatement& st = *inserts_[size_t(table)];
    st.Bind(params);
    st.Exec();
    ++pending_;
}

void TGenWriter::Log(TStamp at, const QString& user, const QString& action, const QString& table,
                     const QString& refNo, const QString& detail) {
    Insert(TGenTable::Log,
           {{"t", At(at)}, {"u", user}, {"a", action}, {"tb", table}, {"r", refNo}, {"d", detail}});
}

void TGenWriter::MaybeCommit() {
    if (pending_ < kRowsPerCommit) return;
    dm_.CommitTrans();
    dm_.BeginTrans();
    pending_ = 0;
}

void TGenWriter::Finish() {
    dm_.CommitTrans();
    pending_ = 0;
}
