#include "support/TestCentre.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"

#include <gtest/gtest.h>

namespace {
const QDateTime kStart(QDate(2025, 3, 5), QTime(8, 0));
const QDateTime kEnd(QDate(2025, 3, 5), QTime(14, 30));

QString NotNumber(const QString& caption) { return QStringLiteral("请输入有效的数字：") + caption; }
QString OutOfRange(const QString& caption) { return QStringLiteral("数值超出范围：") + caption; }

// What people type into the number boxes at harvest time. The expected outcome of a box is
// either its refusal or "=" followed by what is stored ("=" alone: nothing).
const QString kLongDigits(10000, '9');
const QString kLongText(10000, 'x');
const QStringList kTyped{"abc", "", " ", "1,200", "１２３", "－５", "1e308", "1e-320", "nan", "inf", "-0", kLongDigits,
                         kLongText};

bool Stores(const QString& outcome) { return outcome.startsWith('='); }

TBatchInput Load(int farmerId) {
    return {.RegTime = kStart.addDays(-1), .CarNo = "苏A12345", .FarmerID = farmerId, .GrainID = 1, .WhID = 1,
            .TargetMoisture = "14.5", .InMoisture = "18", .GrossWt = "12000", .TareWt = "2000",
            .WetNetWt = "10000", .EstFee = "1440"};
}

QString Registered(TTestCentre& c) {
    return TBatchLogic(c.dm()).Save(Load(c.addFarmer("张三"))).BatchNo;
}

TDispatchInput Dispatch(const QString& batchNo) {
    return {.BatchNo = batchNo, .EquipID = 1, .WhInID = 1, .StartTime = kStart, .OpID = 2,
            .TargetMoisture = "14", .DryTemp = "60", .FanGear = "中档"};
}

QString Dispatched(TTestCentre& c) {
    const QString no = Registered(c);
    EXPECT_TRUE(TDispatchLogic(c.dm()).Save(Dispatch(no)).Saved());
    return no;
}

TRoundEndInput Unloaded() {
    return {.EndTime = kEnd, .OutMoisture = "14", .DryNetWt = "8650", .DryHours = "6.5", .LossWt = "1350",
            .LossRate = "13.5", .DryWhID = 2};
}

// Every row the saves under test could have written.
int Written(TTestCentre& c) {
    return c.count("T_Batch") + c.count("T_Stock") + c.count("T_Drying") + c.count("T_StockMove") + c.count("T_Log");
}
}  // namespace

TEST(NumberInput, IntakeStoresWhatIsANumberAndRefusesTheRestWritingNothing) {
    TTestCentre c(Roles::Weigher);
    const int farmer = c.addFarmer("张三");
    const QString moisture = "入库水分(%)", gross = "毛重(公斤)", net = "湿粮净重(公斤)";
    const QString noNet = "湿粮净重必须大于0，请检查毛重、皮重";
    const QStringList asMoisture{NotNumber(moisture), "=",           "=",           OutOfRange(moisture),
                                 OutOfRange(moisture), OutOfRange(moisture), OutOfRange(moisture),
                                 OutOfRange(moisture), NotNumber(moisture),  NotNumber(moisture),
                                 "=0",                 OutOfRange(moisture), NotNumber(moisture)};
    const QStringList asGross{NotNumber(gross),  "=",               "=",              "=1200",
                              "=123",            OutOfRange(gross), OutOfRange(gross), OutOfRange(gross),
                              NotNumber(gross),  NotNumber(gross),  "=0",              OutOfRange(gross),
                              NotNumber(gross)};
    const QStringList asNet{NotNumber(net), noNet,          noNet,          "=1200",        "=123",
                            noNet,          OutOfRange(net), OutOfRange(net), NotNumber(net), NotNumber(net),
                            noNet,          OutOfRange(net), NotNumber(net)};
    const struct {
        QString TBatchInput::*box;
        const char* column;
        QStringList outcomes;
        TBatchField focus;
    } boxes[] = {{&TBatchInput::InMoisture, "InMoisture", asMoisture, TBatchField::InMoisture},
                 {&TBatchInput::GrossWt, "GrossWt", asGross, TBatchField::GrossWt},
                 {&TBatchInput::WetNetWt, "WetNetWt", asNet, TBatchField::WetNetWt}};

    TBatchLogic logic(c.dm());
    int tried = 0;
    for (const auto& box : boxes) {
        for (int i = 0; i < kTyped.size(); ++i, ++tried) {
            TBatchInput in = Load(farmer);
            in.*box.box = kTyped[i];
            const QString& outcome = box.outcomes[i];
            const QString typed = kTyped[i].left(12);
            const int before = Written(c);
            const TBatchSaveResult r = logic.Save(in);
            if (Stores(outcome)) {
                ASSERT_TRUE(r.Saved()) << box.column << " " << typed.toStdString() << ": " << r.Refusal.toStdString();
                EXPECT_EQ(VarToStr(c.scalar(QStringLiteral("SELECT %1 FROM T_Batch WHERE BatchNo=:b").arg(box.column),
                                            {{"b", r.BatchNo}})),
                          outcome.mid(1))
                    << box.column << " " << typed.toStdString();
            } else {
                EXPECT_EQ(r.Refusal, outcome) << box.column << " " << typed.toStdString();
                EXPECT_EQ(r.Focus, outcome == noNet ? TBatchField::GrossWt : box.focus);
                EXPECT_EQ(Written(c), before) << box.column << " " << typed.toStdString();
            }
        }
    }
    EXPECT_EQ(tried, 39);

    // A weight or fee no bigger than a typing slip must not become a fee beyond what money holds.
    TBatchInput in = Load(farmer);
    in.EstFee = "1e15";
    EXPECT_EQ(logic.Save(in).Refusal, OutOfRange("预计烘干费(元)"));
    in.EstFee = "100000000.01";
    EXPECT_EQ(logic.Save(in).Refusal, OutOfRange("预计烘干费(元)"));
    in = Load(farmer);
    in.GrossWt = "1e16";
    EXPECT_EQ(logic.Save(in).Focus, TBatchField::GrossWt);
    in = Load(farmer);
    in.Impurity = "１００";
    EXPECT_EQ(logic.Save(in).Refusal, OutOfRange("杂质(%)"));
    in = Load(farmer);
    in.TareWt = "１，０００";
    in.EstFee = "１４４０．５";
    const TBatchSaveResult saved = logic.Save(in);
    ASSERT_TRUE(saved.Saved());
    EXPECT_EQ(c.batchRows("T_Batch", saved.BatchNo, "TareWt,EstFee"), "1000/1440.5");
}

TEST(NumberInput, DispatchRefusesTemperaturesAndTargetsOutsideTheirRange) {
    TTestCentre c(Roles::Operator);
    const QString target = "目标水分(%)", temp = "烘干温度(℃)";
    // A target of 0 clears the batch's target, as an empty box does.
    const QStringList asTarget{NotNumber(target),  "=", "=", OutOfRange(target), OutOfRange(target),
                               OutOfRange(target), OutOfRange(target), OutOfRange(target), NotNumber(target),
                               NotNumber(target),  "=", OutOfRange(target), NotNumber(target)};
    const QStringList asTemp{NotNumber(temp), "=",             "=",             OutOfRange(temp), "=123",
                             "=-5",           OutOfRange(temp), OutOfRange(temp), NotNumber(temp), NotNumber(temp),
                             "=0",            OutOfRange(temp), NotNumber(temp)};
    const struct {
        QString TDispatchInput::*box;
        QString stored;
        QStringList outcomes;
        TDispatchField focus;
    } boxes[] = {
        {&TDispatchInput::TargetMoisture, "SELECT TargetMoisture FROM T_Batch WHERE BatchNo=:b", asTarget,
         TDispatchField::TargetMoisture},
        {&TDispatchInput::DryTemp, "SELECT DryTemp FROM T_Drying WHERE BatchNo=:b", asTemp, TDispatchField::DryTemp}};

    TDispatchLogic logic(c.dm());
    QString waiting = Registered(c);
    for (const auto& box : boxes) {
        for (int i = 0; i < kTyped.size(); ++i) {
            TDispatchInput in = Dispatch(waiting);
            in.*box.box = kTyped[i];
            const QString& outcome = box.outcomes[i];
            const int before = Written(c);
            const TDispatchResult r = logic.Save(in);
            if (Stores(outcome)) {
                ASSERT_TRUE(r.Saved()) << kTyped[i].left(12).toStdString() << ": " << r.Refusal.toStdString();
                EXPECT_EQ(VarToStr(c.scalar(box.stored, {{"b", waiting}})), outcome.mid(1));
                waiting = Registered(c);
            } else {
                EXPECT_EQ(r.Refusal, outcome) << kTyped[i].left(12).toStdString();
                EXPECT_EQ(r.Focus, box.focus);
                EXPECT_EQ(Written(c), before);
                EXPECT_EQ(VarToStr(c.scalar("SELECT Status FROM T_Batch WHERE BatchNo=:b", {{"b", waiting}})), "待烘干");
            }
        }
    }
}

TEST(NumberInput, EndOfRoundRefusesMoistureAndWeightsNoScaleCouldShow) {
    TTestCentre c(Roles::Operator);
    TDryEndLogic logic(c.dm());
    const QString moisture = "烘后水分(%)", dry = "烘后净重(公斤)";
    const QString noMoisture = "请填写烘后水分", noDry = "烘后净重必须大于0";
    const QStringList passMoisture{NotNumber(moisture),  noMoisture,          noMoisture,          OutOfRange(moisture),
                                   OutOfRange(moisture), noMoisture,          OutOfRange(moisture), OutOfRange(moisture),
                                   NotNumber(moisture),  NotNumber(moisture), noMoisture,          OutOfRange(moisture),
                                   NotNumber(moisture)};
    const QStringList passDry{NotNumber(dry), noDry,          noDry,          "=1200",        "=123",
                              noDry,          OutOfRange(dry), OutOfRange(dry), NotNumber(dry), NotNumber(dry),
                              noDry,          OutOfRange(dry), NotNumber(dry)};
    // A failed round may leave its moisture unmeasured.
    const QStringList failMoisture{NotNumber(moisture),  "=", "=", OutOfRange(moisture), OutOfRange(moisture),
                                   OutOfRange(moisture), OutOfRange(moisture), OutOfRange(moisture),
                                   NotNumber(moisture),  NotNumber(moisture), "=0", OutOfRange(moisture),
                                   NotNumber(moisture)};

    QString drying = Dispatched(c);
    for (int i = 0; i < kTyped.size(); ++i) {
        const QString typed = kTyped[i].left(12);
        TRoundEndInput in = Unloaded();
        in.OutMoisture = kTyped[i];
        EXPECT_EQ(logic.Pass(logic.LoadOpenRound(drying).value(), in).Refusal, passMoisture[i]) << typed.toStdString();

        in = Unloaded();
        in.DryNetWt = kTyped[i];
        const int before = Written(c);
        const TRoundEndResult passed = logic.Pass(logic.LoadOpenRound(drying).value(), in);
        if (Stores(passDry[i])) {
            ASSERT_TRUE(passed.Saved()) << typed.toStdString() << ": " << passed.Refusal.toStdString();
            EXPECT_EQ(c.batchRows("T_Stock", drying, "Qty", "Status='在库'"), passDry[i].mid(1));
            drying = Dispatched(c);
        } else {
            EXPECT_EQ(passed.Refusal, passDry[i]) << typed.toStdString();
            EXPECT_EQ(passed.Focus, TRoundField::DryNetWt);
            EXPECT_EQ(Written(c), before);
        }

        in = Unloaded();
        in.OutMoisture = kTyped[i];
        const TOpenRound round = logic.LoadOpenRound(drying).value();
        const TRoundEndResult failed = logic.Fail(round, in);
        if (Stores(failMoisture[i])) {
            ASSERT_TRUE(failed.Saved()) << typed.toStdString() << ": " << failed.Refusal.toStdString();
            EXPECT_EQ(VarToStr(c.scalar("SELECT OutMoisture FROM T_Drying WHERE DryID=:d", {{"d", round.DryID}})),
                      failMoisture[i].mid(1));
        } else {
            EXPECT_EQ(failed.Refusal, failMoisture[i]) << typed.toStdString();
            EXPECT_EQ(failed.Focus, TRoundField::OutMoisture);
        }
    }

    // The worked-out figures stay editable and are held to their ranges as well.
    const TOpenRound round = logic.LoadOpenRound(drying).value();
    TRoundEndInput in = Unloaded();
    in.DryHours = "1e308";
    EXPECT_EQ(logic.Pass(round, in).Refusal, OutOfRange("烘干时长(小时)"));
    in = Unloaded();
    in.LossRate = "100";
    EXPECT_EQ(logic.Fail(round, in).Refusal, OutOfRange("损耗率(%)"));
    in = Unloaded();
    in.LossWt = "abc";
    EXPECT_EQ(logic.Pass(round, in).Refusal, NotNumber("损耗重量(公斤)"));
    in = Unloaded();
    in.AbnormalMemo = QString(201, QChar(0x9709));
    EXPECT_EQ(logic.Pass(round, in).Refusal, "异常记录最多 200 个字");
    in = Unloaded();
    in.OutMoisture = "１３．５";
    in.DryNetWt = "８，６５０";
    ASSERT_TRUE(logic.Pass(round, in).Saved());
    EXPECT_EQ(c.batchRows("T_Stock", drying, "Qty,Moisture", "Status='在库'"), "8650/13.5");
}
