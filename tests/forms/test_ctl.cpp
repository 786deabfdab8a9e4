#include "forms/uCtl.h"

#include "support/TestCentre.h"

#include <QComboBox>
#include <gtest/gtest.h>

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
    EXPECT_FALSE(NumOrNull("0").IsNull());
    EXPECT_DOUBLE_EQ(NumOrNull(" 2,500 ").AsDouble(), 2500);
    // Typed but unreadable is still typed: 0, not "nothing entered".
    EXPECT_FALSE(NumOrNull("abc").IsNull());
}

TEST(Ctl, LookupListsShowWhatTheyPromiseWithIdZeroForNone) {
    TTestCentre c;
    const int op = c.addOperator(QStringLiteral("丁师傅"), QStringLiteral("晚班"));
    QComboBox ops;
    EXPECT_EQ(ComboID(&ops), 0);
    FillOperatorCombo(c.dm(), &ops);
    EXPECT_EQ(Items(ops), (QStringList{"(未指定)", "乙师傅 (中班)", "甲师傅 (早班)", "丙司磅 (早班)", "丁师傅 (晚班)"}));
    SetComboID(&ops, op);
    EXPECT_EQ(ComboID(&ops), op);
    SetComboID(&ops, 0);
    EXPECT_EQ(ops.currentText(), QStringLiteral("(未指定)"));
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
    FillWhCombo(c.dm(), &positions);
    EXPECT_EQ(positions.count(), 4);

    QComboBox grains;
    FillGrainCombo(c.dm(), &grains);
    SetComboID(&grains, 3);
    EXPECT_EQ(grains.currentText(), QStringLiteral("玉米"));
    FillShiftCombo(&grains);
    EXPECT_EQ(Items(grains), (QStringList{"早班", "中班", "晚班"}));
}
