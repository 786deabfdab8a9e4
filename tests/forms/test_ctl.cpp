#include "forms/uCtl.h"

#include "support/TestCentre.h"

#include <QComboBox>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace {
QStringList Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
    return items;
}
}  // namespace

TEST(Ctl, ParseNumAndNumOrNullReadWhatPeopleType) {
    const std::vector<std::pair<QString, double>> good{
        {" 1,234.5 ", 1234.5}, {"-12.75", -12.75}, {"-1,000", -1000}, {"12,345,678,901.25", 12345678901.25},
        {"1e6", 1e6}, {".5", 0.5}};
    for (const auto& [text, value] : good) EXPECT_DOUBLE_EQ(ParseNum(text), value) << qPrintable(text);
    // Not a number: 0, whatever it looks like.
    for (const char* bad : {"", "   ", "abc", "12abc", "1 234", "1.2.3", "nan", "inf", "-inf", "1e999", "，"})
        EXPECT_DOUBLE_EQ(ParseNum(QString::fromUtf8(bad)), 0) << bad;

    EXPECT_TRUE(NumOrNull("   ").IsNull());
    EXPECT_DOUBLE_EQ(NumOrNull(" 2,500 ").AsDouble(), 2500);
    // Typed but unreadable is still typed: 0, not "nothing entered".
    EXPECT_FALSE(NumOrNull("abc").IsNull());

    // What a Chinese input method types reads as the plain forms, in the previews too.
    EXPECT_DOUBLE_EQ(ParseNum("１２，０００．５"), 12000.5);
    EXPECT_DOUBLE_EQ(ParseNum("－５"), -5);
    EXPECT_DOUBLE_EQ(ParseNum("　１２。５　"), 12.5);
}

TEST(Ctl, NumberBoxesRefuseWhatIsNoNumberOrOutOfRangeWithTheirCaption) {
    const QString caption = QStringLiteral("入库水分(%)");
    const QString notNumber = QStringLiteral("请输入有效的数字：入库水分(%)");
    const QString outOfRange = QStringLiteral("数值超出范围：入库水分(%)");
    auto refusal = [&](const QString& text, TNumRange range) { return CheckNum(text, range, caption).Refusal; };

    for (const QString& junk : {QString("abc"), QString("12abc"), QString("nan"), QString("inf"), QString("-inf"),
                                QString("0x10"), QString("1 2"), QString(10000, 'x')})
        EXPECT_EQ(refusal(junk, TNumRange::Unbounded), notNumber) << junk.left(20).toStdString();
    for (const QString& huge : {QString("1e308"), QString("1e309"), QString("1e-320"), QString("1e-400"),
                                QString(10000, '9')})
        EXPECT_EQ(refusal(huge, TNumRange::Percent), outOfRange) << huge.left(20).toStdString();
    EXPECT_EQ(refusal("1e308", TNumRange::Unbounded), "");
    EXPECT_EQ(refusal("1e-320", TNumRange::Unbounded), outOfRange) << "finer than anything measured";
    EXPECT_GT(CheckNum(QString(10000, '9'), TNumRange::Weight, caption).Value, 1e6);
    EXPECT_LT(CheckNum("-" + QString(10000, '9'), TNumRange::Weight, caption).Value, 0);
    EXPECT_EQ(refusal("e5", TNumRange::Unbounded), notNumber);

    // Blank boxes are nothing, not 0: the caller decides whether the box is required.
    for (const QString& blank : {QString(""), QString("  "), QString("　")}) {
        const TNumEntry e = CheckNum(blank, TNumRange::NetWeight, caption);
        EXPECT_TRUE(e.Ok() && e.IsBlank() && e.OrNull().IsNull());
    }
    const TNumEntry zero = CheckNum("-0", TNumRange::Percent, caption);
    EXPECT_TRUE(zero.Ok());
    EXPECT_FALSE(std::signbit(zero.Value)) << "-0 is stored as 0";

    // Each range at its edges: percent below 100, a weight that must be there above 0.01 kg.
    const std::vector<std::tuple<TNumRange, QString, bool>> edges{
        {TNumRange::Percent, "0", true},          {TNumRange::Percent, "99.99", true},
        {TNumRange::Percent, "100", false},       {TNumRange::Percent, "－0.5", false},
        {TNumRange::ReDryRate, "1000", true},     {TNumRange::ReDryRate, "1000.01", false},
        {TNumRange::Weight, "0", true},           {TNumRange::Weight, "1,000,000", true},
        {TNumRange::Weight, "1000000.1", false},  {TNumRange::NetWeight, "0.01", false},
        {TNumRange::NetWeight, "0.02", true},     {TNumRange::NetWeight, "1e6", true},
        {TNumRange::Money, "100000000", true},    {TNumRange::Money, "1e15", false},
        {TNumRange::Money, "-0.01", false},       {TNumRange::Hours, "1000", true},
        {TNumRange::Hours, "1000.5", false},      {TNumRange::Temperature, "－５０", true},
        {TNumRange::Temperature, "-50.1", false}, {TNumRange::Temperature, "300", true},
        {TNumRange::Temperature, "301", false},   {TNumRange::Days, "3651", false},
    };
    for (const auto& [range, text, accepted] : edges)
        EXPECT_EQ(refusal(text, range), accepted ? QString() : outOfRange) << text.toStdString();
}

TEST(Ctl, LookupListsShowWhatTheyPromiseWithIdZeroForNone) {
    TTestCentre c;
    c.addOperator(QStringLiteral("戊师傅"), QStringLiteral("倒班"));
    const int op = c.addOperator(QStringLiteral("丁师傅"), QStringLiteral("晚班"));
    QComboBox ops;
    EXPECT_EQ(ComboID(&ops), 0);
    FillOperatorCombo(c.dm(), &ops);
    // Shifts in the order of the working day, not of their character codes; others after.
    EXPECT_EQ(Items(ops), (QStringList{"(未指定)", "甲师傅 (早班)", "丙司磅 (早班)", "乙师傅 (中班)", "丁师傅 (晚班)",
                                       "戊师傅 (倒班)"}));
    SetComboID(&ops, op);
    EXPECT_EQ(ComboID(&ops), op);
    SetComboID(&ops, 9999);
    EXPECT_EQ(ComboID(&ops), 0);

    const int plain = c.addFarmer(QStringLiteral("张三"), "13800000000");
    c.addFarmer(QStringLiteral("李四"), "13900000000", true);
    c.addFarmer(QStringLiteral("王五"), "", true);
    c.addFarmer(QStringLiteral("赵六"));
    QComboBox farmers;
    FillFarmerCombo(c.dm(), &farmers, QStringLiteral("(全部农户)"));
    EXPECT_EQ(Items(farmers), (QStringList{"(全部农户)", "张三  13800000000", "李四  13900000000  [黑名单]",
                                           "王五    [黑名单]", "赵六  "}));
    // Filling again replaces the items rather than adding to them.
    FillFarmerCombo(c.dm(), &farmers);
    EXPECT_EQ(farmers.count(), 4);
    EXPECT_EQ(farmers.itemData(0).toInt(), plain);

    c.addEquip("HG-002", QStringLiteral("维修"));
    c.addEquip("HG-003", QStringLiteral("停用"));
    c.dm().ExecSQLP("INSERT INTO T_Equip(EquipNo,Model,Status) VALUES('HG-004','无状态',NULL)");
    QComboBox dryers;
    FillEquipCombo(c.dm(), &dryers);
    EXPECT_EQ(Items(dryers), (QStringList{"HG-001 批次式粮食烘干机", "HG-002 测试机"}));

    QComboBox positions;
    FillWhCombo(c.dm(), &positions, QStringLiteral("湿粮区"));
    EXPECT_EQ(Items(positions), QStringList{"湿粮暂存区(湿粮区)"});
}
