#pragma once
// The loads, rounds and list readings the workflow scenarios share.

#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "support/TestCentre.h"
#include "support/TestIntegrity.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uSettle.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

inline const QDateTime kStart(QDate(2025, 3, 5), QTime(8, 0));
inline const QDateTime kEnd(QDate(2025, 3, 5), QTime(14, 30));

inline QString Today() { return QDate::currentDate().toString("yyyyMMdd"); }

// A complete registration of a 10 t load of 稻谷 at 18 % into the seeded wet-grain position.
inline TBatchInput Load(int farmerId) {
    return {.RegTime = QDateTime(QDate(2025, 3, 5), QTime(9, 30)), .CarNo = " 苏A12345 ", .FarmerID = farmerId,
            .GrainID = 1, .WhID = 1, .Team = "早班", .TargetMoisture = "14.5", .InMoisture = "18",
            .GrossWt = "12000", .TareWt = "2000", .WetNetWt = "10000", .EstFee = "1,440.00"};
}

// A 10 t load at 20 % registered the day before kStart, waiting for the dryer.
inline QString Registered(TTestCentre& c) {
    return TBatchLogic(c.dm())
        .Save({.RegTime = kStart.addDays(-1), .FarmerID = c.addFarmer("张三"), .GrainID = 1, .WhID = 1,
               .InMoisture = "20", .GrossWt = "10000", .WetNetWt = "10000"})
        .BatchNo;
}

inline TDispatchInput Dispatch(const QString& batchNo) {
    return {.BatchNo = batchNo, .EquipID = 1, .WhInID = 1, .StartTime = kStart, .OpID = 2,
            .TargetMoisture = "14", .DryTemp = "60", .FanGear = "中档"};
}

inline QString Dispatched(TTestCentre& c) {
    const QString no = Registered(c);
    EXPECT_TRUE(TDispatchLogic(c.dm()).Save(Dispatch(no)).Saved());
    return no;
}

inline TOpenRound OpenRound(TTestCentre& c, const QString& batchNo) {
    const std::optional<TOpenRound> r = TDryEndLogic(c.dm()).LoadOpenRound(batchNo);
    EXPECT_TRUE(r.has_value());
    return r.value_or(TOpenRound{});
}

inline TRoundEndInput Unloaded(const QString& dry = "8650", const QString& moisture = "14") {
    return {.EndTime = kEnd, .OutMoisture = moisture, .DryNetWt = dry, .DryHours = "6.5", .LossWt = "1350",
            .LossRate = "13.5", .AbnormalMemo = " 正常 ", .DryWhID = 2};
}

// A new grain type; with a fee standard when its figures are given
// ("price,std moisture,per point,free days,storage rate,re-dry rate").
inline int Grain(TTestCentre& c, const QString& standard = {}) {
    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName) VALUES('试验粮')");
    const int id = int(c.dm().LastInsertId());
    if (!standard.isEmpty())
        c.dm().ExecSQLP("INSERT INTO T_FeeStd(GrainID,PricePerTon,StdMoisture,ExtraPerPoint,FreeDays,StorageFee,"
                        "RushFee,ReDryRate) VALUES(:g," + standard.section(',', 0, 4) + ",50," +
                            standard.section(',', 5) + ")",
                        {{"g", id}});
    return id;
}

inline QStringList Column(TQueryModel* model, const QString& column) {
    QStringList values;
    for (int r = 0; r < model->rowCount(); ++r) values << VarToStr(model->Value(r, column));
    return values;
}

inline QStringList Column(TDM& dm, const TSqlText& q, const QString& column) {
    TQueryModel model(dm);
    model.Open(q);
    return Column(&model, column);
}

// A dialog the test cannot reach would wait for a person; this closes it so that the test
// reports the fault instead of hanging.
class TModalCloser {
public:
    TModalCloser() {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened_ = true;
                modal->close();
            }
        });
        timer_.start();
    }
    bool Opened() const { return opened_; }

private:
    QTimer timer_;
    bool opened_ = false;
};
