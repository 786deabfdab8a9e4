#include "forms/uGrid.h"
#include "reports/ReportWorld.h"
#include "reports/uLog.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {
void Log(TTestCentre& c, const QDateTime& at, const QString& user, const QString& action, const QString& ref) {
    c.dm().ExecSQLP("INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) VALUES(:t,:u,:a,'T_Batch',:r,'')",
                    {{"t", at}, {"u", user}, {"a", action}, {"r", ref}});
}

// The log numbers the viewer lists, in its order.
QStringList Listed(TTestCentre& c, const TLogFilter& filter) {
    QStringList ids;
    for (const QString& row : ReportRows(c.dm(), LogQuery(c.dm(), filter))) ids << row.section('|', 0, 0);
    return ids;
}

QStringList Listed(TQueryModel* model) {
    QStringList ids;
    for (int r = 0; r < model->rowCount(); ++r) ids << VarToStr(model->Value(r, 0));
    return ids;
}

void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}
}  // namespace

TEST(LogViewer, FiltersByDaysWholeActionWordsAndPartsOfUserAndReference) {
    TTestCentre c;
    Log(c, At(2025, 3, 1, 0, 0, 0), "admin", "登录", "admin");                      // 1
    Log(c, At(2025, 3, 1, 8), "weigher1", "收粮登记", "PC20250301001");              // 2
    Log(c, At(2025, 3, 2, 12), "admin", "作废", "PC20250301001");                    // 3
    Log(c, At(2025, 3, 2, 23, 59, 59), "finance", "作废结算", "JS20250302001");      // 4
    Log(c, At(2025, 3, 3, 0, 0, 0), "weigher2", "出库", "CK20250303001");            // 5
    Log(c, At(2025, 2, 28, 23, 59, 59), "oper1", "派工上机", "PC20250228001");       // 6
    Log(c, At(2025, 3, 3, 10), "Admin", "修改", "O'Neil");                           // 7

    EXPECT_EQ(Listed(c, {}), (QStringList{"7", "6", "5", "4", "3", "2", "1"})) << "newest first";
    EXPECT_EQ(Listed(c, {.UseDates = false, .From = QDate(2030, 1, 1), .To = QDate(2030, 1, 1)}).size(), 7)
        << "the dates apply only when ticked";
    EXPECT_EQ(Listed(c, {.UseDates = true, .From = QDate(2025, 3, 1), .To = QDate(2025, 3, 2)}),
              (QStringList{"4", "3", "2", "1"}))
        << "the last day counts up to 23:59:59";

    EXPECT_EQ(Listed(c, {.Action = "作废"}), QStringList{"3"}) << "not 作废结算";
    EXPECT_EQ(Listed(c, {.Action = "全部"}).size(), 7);
    EXPECT_EQ(Listed(c, {.User = " eigh "}), (QStringList{"5", "2"}));
    EXPECT_EQ(Listed(c, {.User = "admin"}), (QStringList{"7", "3", "1"}));
    EXPECT_EQ(Listed(c, {.Action = "作废", .User = "adm", .Ref = "PC2025"}), QStringList{"3"});

    // Typed text is a value, never part of the statement: a quote finds the reference holding it.
    EXPECT_EQ(Listed(c, {.Ref = "O'Neil"}), QStringList{"7"});
    EXPECT_EQ(Listed(c, {.User = "x' OR '1'='1"}), QStringList{});
    EXPECT_EQ(Listed(c, {.Ref = "%"}).size(), 7) << "% is the wildcard of the search";
    EXPECT_EQ(Listed(c, {.Ref = "PC2025030_001"}), QStringList({"3", "2"}));
    EXPECT_EQ(Listed(c, {.Ref = "pc202503"}), QStringList({"3", "2"})) << "either case, as typed";
    EXPECT_EQ(Listed(c, {.Ref = "0303"}), QStringList{"5"});
    EXPECT_EQ(Listed(c, {.Ref = "JS"}), QStringList{"4"}) << "two characters";
    Log(c, At(2025, 3, 4, 9), "admin", "修改", "张\"三\"的车");  // 8
    EXPECT_EQ(Listed(c, {.Ref = "\"三\"的"}), QStringList{"8"});
    EXPECT_EQ(Listed(c, {.Ref = "三的"}), QStringList{});

    // More matches than a screen holds arrive newest first, screen by screen, without gaps or repeats.
    QStringList expected;
    {
        TTransaction tx(c.dm());
        for (int i = 1; i <= 600; ++i) Log(c, At(2025, 3, 5, 8), "admin", "修改", "CKX" + QString::number(i));
        tx.Commit();
    }
    for (int id = 608; id >= 9; --id) expected << QString::number(id);
    TQueryModel model(c.dm());
    model.Open(LogQuery(c.dm(), {.Ref = "ckx"}));
    EXPECT_EQ(model.rowCount(), 256);
    model.FindRow([](int) { return false; });
    EXPECT_EQ(Listed(&model), expected);
}

TEST(LogViewer, WindowRequeriesOnEachChoiceAndOnEnterAndSearchesAnewWhenOpenedAgain) {
    TTestCentre c;
    TTestPrompter prompter;
    const QDate today = QDate::currentDate();
    Log(c, QDateTime(today.addDays(-40), QTime(9, 0)), "admin", "登录", "admin");
    Log(c, QDateTime(today, QTime(23, 59, 59)), "weigher1", "收粮登记", "PC1");
    QWidget owner;
    OpenLogViewer(c.dm(), &owner);
    auto* w = owner.findChild<TfrmLog*>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Listed(w->Result()), (QStringList{"2", "1"})) << "opening lists the log at once";
    w->chkDate->click();
    EXPECT_EQ(Listed(w->Result()), QStringList{"2"}) << "the last 30 days up to tonight";
    w->dtp1->setDate(today.addDays(-41));
    EXPECT_EQ(Listed(w->Result()), (QStringList{"2", "1"}));
    w->cbAction->setCurrentText("收粮登记");
    EXPECT_EQ(Listed(w->Result()), QStringList{"2"});
    w->cbAction->setCurrentIndex(0);
    w->edtUser->setText("weigher");
    EXPECT_EQ(Listed(w->Result()), (QStringList{"2", "1"})) << "typing alone does not search";
    PressEnter(w->edtUser);
    EXPECT_EQ(Listed(w->Result()), QStringList{"2"});

    Log(c, QDateTime(today, QTime(10, 0)), "weigher1", "出库", "CK1");
    OpenLogViewer(c.dm(), &owner);
    EXPECT_EQ(owner.findChildren<TfrmLog*>().size(), 1);
    EXPECT_EQ(Listed(w->Result()), (QStringList{"3", "2"}));
    EXPECT_TRUE(prompter.Shown.empty());
}
