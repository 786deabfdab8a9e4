// The centre written by gen_data: its records agree with each other and it holds every kind of
// record a benchmark needs. The file is named by MOVELKAR_GENERATED_DB.

#include "support/TestIntegrity.h"

#include "data/uDM.h"

#include <gtest/gtest.h>

TEST(GeneratedCentre, RecordsAgreeHoldEveryKindAndFollowTheNumberingAndFeeRules) {
    const QString path = qEnvironmentVariable("MOVELKAR_GENERATED_DB");
    ASSERT_FALSE(path.isEmpty()) << "MOVELKAR_GENERATED_DB names no file";
    TDM dm(path);
    ASSERT_TRUE(dm.Connect()) << qPrintable(path);
    const QStringList faults = IntegrityFaults(dm);
    EXPECT_TRUE(faults.isEmpty()) << qPrintable(faults.join('\n'));

    QStringList present;
    for (const QString& kind : {"Batch WHERE Status='待烘干'", "Batch WHERE Status='烘干中'", "Batch WHERE Status='在库'",
                                "Batch WHERE Status='待结算'", "Batch WHERE Status='已完结'", "Batch WHERE Status='已作废'",
                                "Settle WHERE Status='已结清'", "Settle WHERE Status='部分欠款'", "Settle WHERE Status='挂账'",
                                "User WHERE Role='管理员'", "User WHERE Role='司磅员'", "User WHERE Role='操作工'",
                                "User WHERE Role='财务'", "User WHERE Role='查询员'"})
        present << "SELECT COUNT(*) FROM T_" + kind;
    present << "SELECT COUNT(*) FROM (SELECT BatchNo FROM T_Drying GROUP BY BatchNo HAVING MAX(Round)>=2)"
            << "SELECT COUNT(*) FROM (SELECT BatchNo FROM T_Outbound GROUP BY BatchNo HAVING COUNT(*)>=2)"
            // Outbound that leaves grain in store, and batches voided both before and after drying.
            << "SELECT COUNT(*) FROM T_Batch b WHERE b.Status='在库' AND EXISTS (SELECT 1 FROM T_Outbound o WHERE o.BatchNo=b.BatchNo)"
            << "SELECT COUNT(*) FROM T_Batch b WHERE b.Status='已作废' AND EXISTS (SELECT 1 FROM T_Drying d WHERE d.BatchNo=b.BatchNo)"
            << "SELECT COUNT(*) FROM T_Batch b WHERE b.Status='已作废' AND NOT EXISTS (SELECT 1 FROM T_Drying d WHERE d.BatchNo=b.BatchNo)"
            << "SELECT COUNT(*) FROM T_EquipRun WHERE BatchNo IS NULL" << "SELECT COUNT(*) FROM T_EquipMaint"
            << "SELECT COUNT(*) FROM T_Log WHERE ActType='登录'"
            << "SELECT COUNT(*) FROM T_Settle WHERE StorageFee>0 AND ReDryFee>0 AND MoistureExtra>0";
    for (const QString& sql : present) EXPECT_GT(VarToInt(dm.ScalarP(sql)), 0) << qPrintable(sql);

    const char* const broken[] = {
        // Prefix, the day of the document and a sequence that counts from 001 each day.
        "SELECT COUNT(*) FROM T_Batch WHERE BatchNo NOT GLOB 'PC[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]*' "
        "OR substr(BatchNo,3,8)<>strftime('%Y%m%d',RegTime)",
        "SELECT COUNT(*) FROM T_Outbound WHERE OutNo NOT GLOB 'CK[0-9]*' OR substr(OutNo,3,8)<>strftime('%Y%m%d',OutTime)",
        "SELECT COUNT(*) FROM T_Settle WHERE SettleNo NOT GLOB 'JS[0-9]*' OR "
        "substr(SettleNo,3,8)<>strftime('%Y%m%d',SettleTime)",
        "SELECT COUNT(*) FROM (SELECT substr(BatchNo,1,10) AS d, COUNT(*) AS n, MAX(CAST(substr(BatchNo,11) AS INTEGER)) "
        "AS hi FROM T_Batch GROUP BY d) WHERE n<>hi",
        // The fee items follow the grain's standard: base per wet ton, surcharge per point above the
        // standard moisture, storage per ton for the days beyond the free ones, re-dry per extra round.
        "SELECT COUNT(*) FROM T_Settle s JOIN T_Batch b ON b.BatchNo=s.BatchNo JOIN T_FeeStd f ON f.GrainID=b.GrainID "
        "WHERE abs(s.BaseFee-round(b.WetNetWt/1000*f.PricePerTon,2))>0.005 "
        "OR abs(s.MoistureExtra-round(max(b.InMoisture-f.StdMoisture,0)*b.WetNetWt/1000*f.ExtraPerPoint,2))>0.005 "
        "OR s.StoreDays<>max(CAST(julianday(s.SettleTime)-julianday(b.RegTime) AS INTEGER)-f.FreeDays,0) "
        "OR abs(s.StorageFee-round(s.StoreDays*b.WetNetWt/1000*f.StorageFee,2))>0.005 "
        "OR abs(s.ReDryFee-round(((SELECT COUNT(*) FROM T_Drying d WHERE d.BatchNo=b.BatchNo)-1)*"
        "b.WetNetWt/1000*f.PricePerTon*f.ReDryRate/100,2))>0.005",
        // History runs forward: counters and the log follow time.
        "SELECT COUNT(*) FROM T_Log a JOIN T_Log b ON b.LogID=a.LogID+1 WHERE b.OpTime<a.OpTime",
    };
    for (const char* sql : broken) EXPECT_EQ(VarToInt(dm.ScalarP(QString::fromUtf8(sql))), 0) << sql;
}
