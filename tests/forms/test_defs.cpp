#include "forms/uCrudEdit.h"
#include "forms/uCtl.h"
#include "forms/uDefs.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QComboBox>
#include <gtest/gtest.h>

namespace {
QList<TCrudDef> AllDefs() {
    return {DefGrain(), DefFeeStd(), DefWh(),     DefEquip(),     DefOperator(),
            DefFarmer(), DefUser(),  DefEquipRun(), DefEquipMaint()};
}
}  // namespace

TEST(Defs, EveryDefinitionMatchesItsQueryAndTableAndListsShowNamesWhereIdsAreStored) {
    TTestCentre c;
    for (const TCrudDef& def : AllDefs()) {
        SCOPED_TRACE(def.Title.toStdString());
        const TSqlText list = BuildListSql(c.dm().Engine(), def, "x");
        const TQuery q = c.dm().OpenSQLP(list.OrderedSql(c.dm().Engine()), list.Params);
        ASSERT_EQ(q.ColumnCount(), def.Cols.size());
        EXPECT_EQ(q.ColumnName(0), def.KeyField);
        QStringList edited{def.KeyField};
        for (int i = 0; i < def.Cols.size(); ++i) {
            EXPECT_EQ(q.ColumnIndex(def.Cols[i].ListField), i) << def.Cols[i].ListField.toStdString();
            if (!def.Cols[i].EditField.isEmpty()) edited << def.Cols[i].EditField;
        }
        EXPECT_NO_THROW(c.dm().OpenSQL("SELECT " + edited.join(',') + " FROM " + def.TableName + " WHERE 1=0"));
    }

    // Lists show names and yes/no words where ids and flags are stored.
    TTestPrompter prompter;
    c.addFarmer("张三", "139", true);
    const auto list = [&](const TCrudDef& def) { return c.dm().OpenSQL(BuildListSql(c.dm().Engine(), def, "").OrderedSql(c.dm().Engine())); };
    EXPECT_EQ(VarToStr(list(DefFarmer()).Field("BlackName")), "是");
    const TQuery users = list(DefUser());
    EXPECT_EQ(VarToStr(users.Field("ActiveName")), "是");
    EXPECT_EQ(users.ColumnIndex("Pwd"), -1);
    EXPECT_EQ(users.ColumnIndex("PwdHash"), -1);

    // Operators come shift by shift in the day's order, searched or not.
    const TSqlText searched = BuildListSql(c.dm().Engine(), DefOperator(), "师傅");
    const TQuery ops = c.dm().OpenSQLP(searched.OrderedSql(c.dm().Engine()), searched.Params);
    ASSERT_EQ(ops.RowCount(), 2);
    EXPECT_EQ(VarToStr(ops.Value(0, 1)) + VarToStr(ops.Value(1, 1)), "甲师傅乙师傅");

    // A dryer out of service is still offered for its running and maintenance records.
    const int retired = c.addEquip("HG-009", "停用");
    TfrmCrudEdit run(c.dm(), DefEquipRun(), {});
    run.BuildUI();
    EXPECT_EQ(run.Field("EquipID")->Combo->count(), 2);
    SetComboID(run.Field("EquipID")->Combo, retired);
    EXPECT_EQ(run.Field("EquipID")->Combo->currentText(), "HG-009");

    // A fee standard whose grain type is gone shows no grain and must be given one again.
    c.dm().ExecSQLP("DELETE FROM T_Grain WHERE GrainID=3");
    EXPECT_EQ(VarToStr(list(DefFeeStd()).Value(2, 1)), "");
    TfrmCrudEdit fee(c.dm(), DefFeeStd(), 3);
    fee.BuildUI();
    EXPECT_EQ(fee.Field("GrainID")->Combo->currentIndex(), -1);
    fee.DoSave();
    EXPECT_EQ(prompter.LastText(), "请选择：粮种");
}
