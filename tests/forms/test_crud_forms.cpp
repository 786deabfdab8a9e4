#include "forms/uCrud.h"
#include "forms/uCrudEdit.h"
#include "forms/uDefs.h"
#include "forms/uGrid.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTableView>
#include <gtest/gtest.h>

namespace {
void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QStringList Buttons(const TfrmCrud& w) {
    QStringList enabled;
    for (QPushButton* b : {w.AddButton(), w.EditButton(), w.DeleteButton()})
        if (b->isEnabled()) enabled << b->text();
    return enabled;
}

int RowOf(TfrmCrud& w, const QString& name) {
    return w.Model()->FindRow([&](int r) { return w.Model()->Value(r, 1).AsText() == name; });
}
}  // namespace

TEST(CrudWindow, OneWindowPerTitleThatKeepsTheRowExportsDeletesOnlyWhenAskedAndEditsUntilSaved) {
    TTestCentre c;
    TTestPrompter prompter;
    TCrudDef locked = DefFarmer(), keep = DefGrain();
    locked.ReadOnly = true;
    keep.AllowDelete = false;
    TfrmCrud lockedWindow(c.dm(), locked), noDelete(c.dm(), keep);
    lockedWindow.BuildUI();
    noDelete.BuildUI();
    EXPECT_EQ(Buttons(lockedWindow), QStringList{});
    EXPECT_EQ(Buttons(noDelete), (QStringList{"新增", "编辑"}));

    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName,Remark) VALUES('荞麦','')");
    TfrmCrud* w = OpenCrud(c.dm(), DefGrain());
    EXPECT_EQ(OpenCrud(c.dm(), DefGrain()), w);
    w->Grid()->selectRow(RowOf(*w, "玉米"));
    w->RefreshList();
    EXPECT_EQ(w->CurrentRow(), RowOf(*w, "玉米"));

    w->Grid()->selectRow(RowOf(*w, "稻谷"));
    w->DoDelete();
    EXPECT_TRUE(prompter.Questions.isEmpty());
    EXPECT_TRUE(prompter.LastText().startsWith("删除失败")) << prompter.LastText().toStdString();
    w->Grid()->selectRow(RowOf(*w, "荞麦"));
    w->DoDelete();  // answered No
    EXPECT_EQ(prompter.Questions.value(0), "确认删除【荞麦】？删除后不可恢复。");
    EXPECT_EQ(prompter.QuestionDefaults.at(0), TDefaultAnswer::No);  // Enter must not delete
    EXPECT_EQ(w->Model()->rowCount(), 4);
    prompter.AnswerYes();
    w->DoDelete();
    EXPECT_EQ(RowOf(*w, "荞麦"), -1);
    EXPECT_EQ(c.logActions(), QStringList{"删除"});

    w->KeywordBox()->setText("麦");
    EXPECT_EQ(w->Model()->rowCount(), 1);
    const QString path = c.paths().AppDir + "grains.csv";
    prompter.AnswerSaveAs(path);
    w->DoExport();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QStringDecoder("GB18030").decode(file.readAll()), QString("编号,粮种名称,备注\r\n2,小麦,\r\n"));

    w->DoClose();
    FlushDeletes();
    TfrmCrud* again = OpenCrud(c.dm(), DefGrain());
    EXPECT_EQ(again->KeywordBox()->text(), "");
    again->DoClose();
    FlushDeletes();

    // The edit dialog loads its row, and a refused save keeps it open with what was typed.
    TfrmCrudEdit fee(c.dm(), DefFeeStd(), 2);
    fee.BuildUI();
    EXPECT_EQ(fee.Field("GrainID")->Combo->currentText() + fee.Field("PricePerTon")->Edit->text(), "小麦100.00");

    TfrmCrudEdit user(c.dm(), DefUser(), {});
    user.BuildUI();
    user.Field("LoginName")->Edit->setText("wang");
    user.Field("Role")->Combo->setCurrentText("财务");
    user.NewPassword()->setText("abc");
    user.ConfirmPassword()->setText("abd");
    user.DoSave();
    EXPECT_EQ(prompter.LastText(), "两次输入的新密码不一致");
    EXPECT_NE(user.result(), QDialog::Accepted);
    EXPECT_EQ(user.Field("LoginName")->Edit->text(), "wang");
    user.ConfirmPassword()->setText("abc");
    user.DoSave();
    EXPECT_EQ(user.result(), QDialog::Accepted);
    EXPECT_EQ(user.KeyValue(), c.scalar("SELECT UserID FROM T_User WHERE LoginName='wang' AND Role='财务' AND IsActive=-1"));
}
