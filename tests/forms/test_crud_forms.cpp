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
#include <QPlainTextEdit>
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

TEST(CrudWindow, ReadOnlySessionsAndDefinitionsOfferNoChanges) {
    TTestCentre c(Roles::Viewer);
    TfrmCrud viewer(c.dm(), DefFarmer());
    viewer.BuildUI();
    EXPECT_EQ(Buttons(viewer), QStringList{});

    c.loginAs(Roles::Admin);
    TCrudDef locked = DefFarmer();
    locked.ReadOnly = true;
    TfrmCrud lockedWindow(c.dm(), locked);
    lockedWindow.BuildUI();
    EXPECT_EQ(Buttons(lockedWindow), QStringList{});

    TCrudDef keep = DefGrain();
    keep.AllowDelete = false;
    TfrmCrud noDelete(c.dm(), keep);
    noDelete.BuildUI();
    EXPECT_EQ(Buttons(noDelete), (QStringList{"新增", "编辑"}));
}

TEST(CrudWindow, OneWindowPerTitleKeepingTheRow) {
    TTestCentre c;
    TTestPrompter prompter;
    TfrmCrud* w = OpenCrud(c.dm(), DefGrain());
    EXPECT_EQ(OpenCrud(c.dm(), DefGrain()), w);
    EXPECT_EQ(w->Model()->rowCount(), 3);

    w->Grid()->selectRow(RowOf(*w, "玉米"));
    w->RefreshList();
    EXPECT_EQ(w->CurrentRow(), RowOf(*w, "玉米"));
    w->KeywordBox()->setText("麦");
    EXPECT_EQ(w->Model()->rowCount(), 1);
    EXPECT_EQ(w->Model()->Value(0, 1).AsText(), "小麦");

    const QString path = c.paths().AppDir + "grains.csv";
    prompter.AnswerSaveAs(path);
    w->DoExport();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringDecoder gb("GB18030");
    EXPECT_EQ(QString(gb(file.readAll())), "编号,粮种名称,备注\r\n2,小麦,\r\n");
    EXPECT_TRUE(prompter.ProposedFileNames.value(0).startsWith("粮种管理"));

    w->DoClose();
    FlushDeletes();
    TfrmCrud* again = OpenCrud(c.dm(), DefGrain());
    EXPECT_EQ(again->KeywordBox()->text(), "");
    again->DoClose();
    FlushDeletes();
}

TEST(CrudWindow, DeleteAsksByNameAndRefusesRowsInUse) {
    TTestCentre c;
    TTestPrompter prompter;
    c.dm().ExecSQLP("INSERT INTO T_Grain(GrainName,Remark) VALUES('荞麦','')");
    TfrmCrud w(c.dm(), DefGrain());
    w.BuildUI();
    w.RefreshList();

    w.Grid()->selectRow(RowOf(w, "稻谷"));
    w.DoDelete();
    EXPECT_TRUE(prompter.Questions.isEmpty());
    EXPECT_EQ(prompter.LastText(), "删除失败，该记录可能已被业务单据引用：收费标准 1 条");

    w.Grid()->selectRow(RowOf(w, "荞麦"));
    w.DoDelete();  // answered No
    EXPECT_EQ(prompter.Questions.value(0), "确认删除【荞麦】？删除后不可恢复。");
    EXPECT_EQ(prompter.QuestionDefaults.at(0), TDefaultAnswer::No);  // Enter must not delete
    EXPECT_EQ(w.Model()->rowCount(), 4);
    prompter.AnswerYes();
    w.DoDelete();
    EXPECT_EQ(w.Model()->rowCount(), 3);
    EXPECT_EQ(RowOf(w, "荞麦"), -1);
    EXPECT_EQ(c.logActions(), QStringList{"删除"});
}

TEST(CrudEditDialog, LoadsTheRow) {
    TTestCentre c;
    TfrmCrudEdit fee(c.dm(), DefFeeStd(), 2);
    fee.BuildUI();
    EXPECT_EQ(fee.Field("GrainID")->Combo->currentText(), "小麦");
    EXPECT_EQ(fee.Field("PricePerTon")->Edit->text(), "100.00");
    EXPECT_EQ(fee.Field("StdMoisture")->Edit->text(), "12.5");
    EXPECT_EQ(fee.Field("FreeDays")->Edit->text(), "30");
}

TEST(CrudEditDialog, SaveRefusesMissingFieldsAndStaysOpen) {
    TTestCentre c;
    TTestPrompter prompter;
    TfrmCrudEdit user(c.dm(), DefUser(), {});
    user.BuildUI();
    EXPECT_TRUE(user.Field("IsActive")->Check->isChecked());
    user.Field("LoginName")->Edit->setText("  ");
    user.DoSave();
    EXPECT_EQ(prompter.LastText(), "请填写：登录名");
    EXPECT_NE(user.result(), QDialog::Accepted);

    user.Field("LoginName")->Edit->setText("wang");
    user.Field("Role")->Combo->setCurrentText("财务");
    user.DoSave();
    EXPECT_EQ(user.result(), QDialog::Accepted);
    EXPECT_EQ(c.count("T_User", "LoginName='wang' AND Role='财务' AND IsActive=-1"), 1);
    EXPECT_EQ(user.KeyValue().AsInt64(), VarToInt(c.scalar("SELECT UserID FROM T_User WHERE LoginName='wang'")));
}
