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

TEST(Ctl, ParseNumReadsWhatPeopleTypeAndNeverFails) {
    EXPECT_DOUBLE_EQ(ParseNum(" 1,234.5 "), 1234.5);
    EXPECT_DOUBLE_EQ(ParseNum("-12.75"), -12.75);
    EXPECT_DOUBLE_EQ(ParseNum("-1,000"), -1000);
    EXPECT_DOUBLE_EQ(ParseNum("12,345,678,901.25"), 12345678901.25);
    EXPECT_DOUBLE_EQ(ParseNum("1e6"), 1e6);
    EXPECT_DOUBLE_EQ(ParseNum(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseNum("0"), 0);
    // Not a number: 0, whatever it looks like.
    for (const char* bad : {"", "   ", "abc", "12abc", "1 234", "1.2.3", "nan", "inf", "-inf", "1e999", "，"})
        EXPECT_DOUBLE_EQ(ParseNum(QString::fromUtf8(bad)), 0) << bad;
}

TEST(Ctl, NumOrNullTellsBlankFromZero) {
    EXPECT_TRUE(NumOrNull("").IsNull());
    EXPECT_TRUE(NumOrNull("   ").IsNull());
    const TValue zero = NumOrNull("0");
    EXPECT_FALSE(zero.IsNull());
    EXPECT_DOUBLE_EQ(zero.AsDouble(), 0);
    EXPECT_DOUBLE_EQ(NumOrNull(" 2,500 ").AsDouble(), 2500);
    // Typed but unreadable is still typed: 0, not "nothing entered".
    EXPECT_FALSE(NumOrNull("abc").IsNull());
}

TEST(Ctl, ComboIdSelectionAndNone) {
    TTestCentre c;
    const int op = c.addOperator(QStringLiteral("丁师傅"), QStringLiteral("晚班"));
    QComboBox combo;
    EXPECT_EQ(ComboID(&combo), 0);
    FillOperatorCombo(c.dm(), &combo);
    EXPECT_EQ(Items(combo), (QStringList{"(未指定)", "乙师傅 (中班)", "甲师傅 (早班)", "丙司磅 (早班)", "丁师傅 (晚班)"}));
    SetComboID(&combo, op);
    EXPECT_EQ(combo.currentText(), QStringLiteral("丁师傅 (晚班)"));
    EXPECT_EQ(ComboID(&combo), op);
    SetComboID(&combo, 0);
    EXPECT_EQ(combo.currentText(), QStringLiteral("(未指定)"));
    SetComboID(&combo, 9999);
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(ComboID(&combo), 0);
}

TEST(Ctl, LookupListsShowWhatTheyPromise) {
    TTestCentre c;
    const int plain = c.addFarmer(QStringLiteral("张三"), "13800000000");
    const int marked = c.addFarmer(QStringLiteral("李四"), "13900000000", true);
    c.addFarmer(QStringLiteral("王五"), "", true);
    c.addFarmer(QStringLiteral("赵六"));

    QComboBox farmers;
    FillFarmerCombo(c.dm(), &farmers, QStringLiteral("(全部农户)"));
    EXPECT_EQ(Items(farmers), (QStringList{"(全部农户)", "张三  13800000000", "李四  13900000000  [黑名单]",
                                           "王五    [黑名单]", "赵六  "}));
    SetComboID(&farmers, marked);
    EXPECT_EQ(ComboID(&farmers), marked);
    SetComboID(&farmers, 0);
    EXPECT_EQ(farmers.currentIndex(), 0);
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
    EXPECT_EQ(Items(grains), (QStringList{"稻谷", "小麦", "玉米"}));
    SetComboID(&grains, 3);
    EXPECT_EQ(grains.currentText(), QStringLiteral("玉米"));

    QComboBox shifts;
    FillShiftCombo(&shifts);
    EXPECT_EQ(Items(shifts), (QStringList{"早班", "中班", "晚班"}));
}
