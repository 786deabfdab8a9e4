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

TEST(Ctl, NumbersAreReadAsPeopleTypeThemAndRefusedWithTheirCaptionWhenNoNumberOrOutOfRange) {
    // What a Chinese input method types reads as the plain forms, in the previews too.
    const std::vector<std::pair<QString, double>> read{
        {" 1,234.5 ", 1234.5}, {"-1,000", -1000}, {"12,345,678,901.25", 12345678901.25}, {"1e6", 1e6}, {".5", 0.5},
        {"１２，０００．５", 12000.5}, {"－５", -5}, {"　１２。５　", 12.5}};
    for (const auto& [text, value] : read) EXPECT_DOUBLE_EQ(ParseNum(text), value) << qPrintable(text);
    // Not a number: 0, whatever it looks like.
    for (const char* bad : {"", "   ", "abc", "12abc", "1 234", "1.2.3", "nan", "inf", "-inf", "1e999", "，"})
        EXPECT_DOUBLE_EQ(ParseNum(QString::fromUtf8(bad)), 0) << bad;
    EXPECT_TRUE(NumOrNull("   ").IsNull());
    EXPECT_DOUBLE_EQ(NumOrNull(" 2,500 ").AsDouble(), 2500);
    EXPECT_FALSE(NumOrNull("abc").IsNull()) << "typed but unreadable is still typed: 0, not nothing entered";

    const QString caption = QStringLiteral("入库水分(%)");
    const QString nan = QStringLiteral("请输入有效的数字：入库水分(%)"), out = QStringLiteral("数值超出范围：入库水分(%)");
    const QString nines(10000, '9');
    const std::vector<std::tuple<TNumRange, QString, QString>> checked{
        {TNumRange::Unbounded, "abc", nan},         {TNumRange::Unbounded, "12abc", nan},
        {TNumRange::Unbounded, "nan", nan},         {TNumRange::Unbounded, "-inf", nan},
        {TNumRange::Unbounded, "0x10", nan},        {TNumRange::Unbounded, "1 2", nan},
        {TNumRange::Unbounded, "e5", nan},          {TNumRange::Unbounded, QString(10000, 'x'), nan},
        {TNumRange::Unbounded, "1e308", ""},        {TNumRange::Unbounded, "1e-320", out},  // finer than measured
        {TNumRange::Percent, "1e309", out},         {TNumRange::Percent, "1e-400", out},
        {TNumRange::Percent, nines, out},           {TNumRange::Percent, "0", ""},
        {TNumRange::Percent, "99.99", ""},          {TNumRange::Percent, "100", out},
        {TNumRange::Percent, "－0.5", out},         {TNumRange::ReDryRate, "1000", ""},
        {TNumRange::ReDryRate, "1000.01", out},     {TNumRange::Weight, "0", ""},
        {TNumRange::Weight, "1,000,000", ""},       {TNumRange::Weight, "1000000.1", out},
        {TNumRange::NetWeight, "0.01", out},        {TNumRange::NetWeight, "0.02", ""},
        {TNumRange::NetWeight, "1e6", ""},          {TNumRange::Money, "100000000", ""},
        {TNumRange::Money, "1e15", out},            {TNumRange::Money, "-0.01", out},
        {TNumRange::Hours, "1000", ""},             {TNumRange::Hours, "1000.5", out},
        {TNumRange::Temperature, "－５０", ""},     {TNumRange::Temperature, "-50.1", out},
        {TNumRange::Temperature, "300", ""},        {TNumRange::Temperature, "301", out},
        {TNumRange::Days, "3651", out},
    };
    for (const auto& [range, text, refusal] : checked)
        EXPECT_EQ(CheckNum(text, range, caption).Refusal, refusal) << text.left(20).toStdString();
    EXPECT_GT(CheckNum(nines, TNumRange::Weight, caption).Value, 1e6);
    EXPECT_LT(CheckNum("-" + nines, TNumRange::Weight, caption).Value, 0);
    // Blank boxes are nothing, not 0: the caller decides whether the box is required.
    for (const QString& blank : {QString(""), QString("  "), QString("　")}) {
        const TNumEntry e = CheckNum(blank, TNumRange::NetWeight, caption);
        EXPECT_TRUE(e.Ok() && e.IsBlank() && e.OrNull().IsNull());
    }
    EXPECT_FALSE(std::signbit(CheckNum("-0", TNumRange::Percent, caption).Value)) << "-0 is stored as 0";
}

TEST(Ctl, LookupListsShowWhatTheyPromiseWithIdZeroForNone) {
    TTestCentre c;
    c.addOperator("戊师傅", "倒班");
    const int op = c.addOperator("丁师傅", "晚班");
    const int plain = c.addFarmer("张三", "13800000000");
    c.addFarmer("李四", "13900000000", true);
    c.addFarmer("王五", "", true);
    c.addEquip("HG-002", "维修");
    c.addEquip("HG-003", "停用");
    c.dm().ExecSQLP("INSERT INTO T_Equip(EquipNo,Model,Status) VALUES('HG-004','无状态',NULL)");
    QComboBox ops, farmers, dryers, positions;
    EXPECT_EQ(ComboID(&ops), 0);
    FillOperatorCombo(c.dm(), &ops);
    FillFarmerCombo(c.dm(), &farmers, "(全部农户)");
    FillEquipCombo(c.dm(), &dryers);
    FillWhCombo(c.dm(), &positions, "湿粮区");
    // Shifts in the order of the working day, not of their character codes; others after.
    EXPECT_EQ(Items(ops), (QStringList{"(未指定)", "甲师傅 (早班)", "丙司磅 (早班)", "乙师傅 (中班)", "丁师傅 (晚班)",
                                       "戊师傅 (倒班)"}));
    EXPECT_EQ(Items(farmers), (QStringList{"(全部农户)", "张三  13800000000", "李四  13900000000  [黑名单]", "王五    [黑名单]"}));
    EXPECT_EQ(Items(dryers), (QStringList{"HG-001 批次式粮食烘干机", "HG-002 测试机"}));
    EXPECT_EQ(Items(positions), QStringList{"湿粮暂存区(湿粮区)"});
    SetComboID(&ops, op);
    EXPECT_EQ(ComboID(&ops), op);
    SetComboID(&ops, 9999);
    EXPECT_EQ(ComboID(&ops), 0);
    // Filling again replaces the items rather than adding to them.
    FillFarmerCombo(c.dm(), &farmers);
    EXPECT_EQ(farmers.count(), 3);
    EXPECT_EQ(farmers.itemData(0).toInt(), plain);
}
