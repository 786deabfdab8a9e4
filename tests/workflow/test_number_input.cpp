#include "WorkflowCase.h"

namespace {
QString NotNumber(const QString& caption) { return QStringLiteral("请输入有效的数字：") + caption; }
QString OutOfRange(const QString& caption) { return QStringLiteral("数值超出范围：") + caption; }

// What people type into the number boxes at harvest time, one of each kind; every other spelling
// reads as the number boxes themselves are shown to read it.
const QStringList kTyped{"abc", "", "1,200", "１２３", "－５", "1e308", "-0"};

// Every row the saves under test could write.
int Written(TTestCentre& c) {
    return c.count("T_Batch") + c.count("T_Stock") + c.count("T_Drying") + c.count("T_StockMove") + c.count("T_Log");
}

// Types each entry of kTyped into one box: `attempt` saves with it and answers with the refusal,
// or "=" followed by what was stored. A refused attempt must leave no row behind.
void ExpectEachTyped(TTestCentre& c, const char* box, const QStringList& outcomes,
                     const std::function<QString(const QString&)>& attempt) {
    ASSERT_EQ(outcomes.size(), kTyped.size());
    for (int i = 0; i < kTyped.size(); ++i) {
        const int before = Written(c);
        const QString outcome = attempt(kTyped[i]);
        EXPECT_EQ(outcome, outcomes[i]) << box << " typed as " << kTyped[i].left(12).toStdString();
        if (!outcome.startsWith('=')) EXPECT_EQ(Written(c), before) << box << " " << kTyped[i].left(12).toStdString();
    }
}

QString Stored(TTestCentre& c, const QString& sql, const TValue& key) {
    return "=" + VarToStr(c.scalar(sql, {{"k", key}}));
}
}  // namespace

TEST(NumberInput, IntakeStoresWhatIsANumberAndRefusesTheRestWritingNothing) {
    TTestCentre c(Roles::Weigher);
    const int farmer = c.addFarmer("张三");
    TBatchLogic logic(c.dm());
    const QString m = "入库水分(%)", g = "毛重(公斤)", n = "湿粮净重(公斤)";
    const QString noNet = "湿粮净重必须大于0，请检查毛重、皮重";
    const auto box = [&](QString TBatchInput::*field, const QString& column, TBatchField focus) {
        return [&, field, column, focus](const QString& typed) {
            TBatchInput in = Load(farmer);
            in.*field = typed;
            const TBatchSaveResult r = logic.Save(in);
            if (r.Saved()) return Stored(c, "SELECT " + column + " FROM T_Batch WHERE BatchNo=:k", r.BatchNo);
            EXPECT_EQ(r.Focus, r.Refusal == noNet ? TBatchField::GrossWt : focus) << r.Refusal.toStdString();
            return r.Refusal;
        };
    };
    ExpectEachTyped(c, "入库水分", {NotNumber(m), "=", OutOfRange(m), OutOfRange(m), OutOfRange(m), OutOfRange(m), "=0"},
                    box(&TBatchInput::InMoisture, "InMoisture", TBatchField::InMoisture));
    ExpectEachTyped(c, "毛重", {NotNumber(g), "=", "=1200", "=123", OutOfRange(g), OutOfRange(g), "=0"},
                    box(&TBatchInput::GrossWt, "GrossWt", TBatchField::GrossWt));
    ExpectEachTyped(c, "湿粮净重", {NotNumber(n), noNet, "=1200", "=123", noNet, OutOfRange(n), noNet},
                    box(&TBatchInput::WetNetWt, "WetNetWt", TBatchField::WetNetWt));

    // A fee or weight typed wrong must not become a fee beyond what money holds.
    const auto refusalWith = [&](QString TBatchInput::*field, const QString& typed) {
        TBatchInput in = Load(farmer);
        in.*field = typed;
        return logic.Save(in).Refusal;
    };
    EXPECT_EQ(refusalWith(&TBatchInput::EstFee, "100000000.01"), OutOfRange("预计烘干费(元)"));
    EXPECT_EQ(refusalWith(&TBatchInput::Impurity, "１００"), OutOfRange("杂质(%)"));
    TBatchInput in = Load(farmer);
    in.TareWt = "１，０００";
    in.EstFee = "１４４０．５";
    const TBatchSaveResult saved = logic.Save(in);
    ASSERT_TRUE(saved.Saved());
    EXPECT_EQ(c.batchRows("T_Batch", saved.BatchNo, "TareWt,EstFee"), "1000/1440.5");
}

TEST(NumberInput, DispatchAndEndOfRoundRefuseFiguresOutsideTheirRange) {
    TTestCentre c(Roles::Operator);
    TDispatchLogic logic(c.dm());
    const QString waiting = Registered(c);
    const QString t = "目标水分(%)", d = "烘干温度(℃)";
    const struct {
        QString TDispatchInput::*field;
        QString typed, refusal;
        TDispatchField focus;
    } boxes[] = {{&TDispatchInput::TargetMoisture, "abc", NotNumber(t), TDispatchField::TargetMoisture},
                 {&TDispatchInput::TargetMoisture, "１２３", OutOfRange(t), TDispatchField::TargetMoisture},
                 {&TDispatchInput::TargetMoisture, "－５", OutOfRange(t), TDispatchField::TargetMoisture},
                 {&TDispatchInput::DryTemp, "1,200", OutOfRange(d), TDispatchField::DryTemp},
                 {&TDispatchInput::DryTemp, "1e308", OutOfRange(d), TDispatchField::DryTemp}};
    for (const auto& b : boxes) {
        TDispatchInput in = Dispatch(waiting);
        in.*b.field = b.typed;
        const TDispatchResult r = logic.Save(in);
        EXPECT_EQ(r.Refusal, b.refusal) << qPrintable(b.typed);
        EXPECT_EQ(r.Focus, b.focus) << qPrintable(b.typed);
    }
    EXPECT_EQ(Written(c), 3) << "nothing but the registration";

    // A target of 0 clears the batch's target, as an empty box does; a temperature may be below zero.
    TDispatchInput in = Dispatch(waiting);
    in.TargetMoisture = "-0";
    in.DryTemp = "－５";
    ASSERT_TRUE(logic.Save(in).Saved());
    EXPECT_EQ(c.batchRows("T_Batch", waiting, "TargetMoisture IS NULL"), "1");
    EXPECT_EQ(c.batchRows("T_Drying", waiting, "DryTemp"), "-5");

    // The end of a round refuses moisture and weights no scale could show.
    TDryEndLogic end(c.dm());
    const QString m = "烘后水分(%)", w = "烘后净重(公斤)";
    const QString noMoisture = "请填写烘后水分", noDry = "烘后净重必须大于0";
    QString drying = waiting;
    const auto pass = [&](QString TRoundEndInput::*field) {
        return [&, field](const QString& typed) {
            TRoundEndInput in = Unloaded();
            in.*field = typed;
            const TRoundEndResult r = end.Pass(end.LoadOpenRound(drying).value(), in);
            if (!r.Saved()) return r.Refusal;
            const QString outcome = "=" + c.batchRows("T_Stock", drying, "Qty", "Status='在库'");
            drying = Dispatched(c);
            return outcome;
        };
    };
    ExpectEachTyped(c, "烘后水分", {NotNumber(m), noMoisture, OutOfRange(m), OutOfRange(m), noMoisture, OutOfRange(m),
                                   noMoisture},
                    pass(&TRoundEndInput::OutMoisture));
    ExpectEachTyped(c, "烘后净重", {NotNumber(w), noDry, "=1200", "=123", noDry, OutOfRange(w), noDry},
                    pass(&TRoundEndInput::DryNetWt));

    // A failed round needs no moisture, but what is typed must still be a moisture; the worked-out
    // figures stay editable and are held to their ranges as well.
    const TOpenRound round = end.LoadOpenRound(drying).value();
    TRoundEndInput wet = Unloaded();
    wet.OutMoisture = "１２３";
    EXPECT_EQ(end.Fail(round, wet).Refusal, OutOfRange(m));
    const auto refusalWith = [&](QString TRoundEndInput::*field, const QString& typed) {
        TRoundEndInput in = Unloaded();
        in.*field = typed;
        return end.Pass(round, in).Refusal;
    };
    EXPECT_EQ(refusalWith(&TRoundEndInput::DryHours, "1e308"), OutOfRange("烘干时长(小时)"));
    EXPECT_EQ(refusalWith(&TRoundEndInput::LossRate, "100"), OutOfRange("损耗率(%)"));
    EXPECT_EQ(refusalWith(&TRoundEndInput::LossWt, "abc"), NotNumber("损耗重量(公斤)"));
    EXPECT_EQ(refusalWith(&TRoundEndInput::AbnormalMemo, QString(201, QChar(0x9709))), "异常记录最多 200 个字");
    TRoundEndInput typed = Unloaded();
    typed.OutMoisture = "１３．５";
    typed.DryNetWt = "８，６５０";
    ASSERT_TRUE(end.Pass(round, typed).Saved());
    EXPECT_EQ(c.batchRows("T_Stock", drying, "Qty,Moisture", "Status='在库'"), "8650/13.5");
}
