#include "app/uLocale.h"

#include "forms/uMsg.h"
#include "support/TestPrompter.h"

#include <QAbstractButton>
#include <QAbstractFileIconProvider>
#include <QDir>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
// Presses Enter in the question box once it is up, noting what its buttons say.
struct TEnterPresser {
    QString yesText;
    QString defaultText;
    QString title;

    void Arm() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << "no question box is up";
                return;
            }
            yesText = box->button(QMessageBox::Yes)->text();
            title = box->windowTitle();
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        });
    }
};
}  // namespace

TEST(ChineseInterface, StandardButtonsReadChineseAndEnterAnswersYesExceptForDeleteAndVoid) {
    ASSERT_TRUE(InstallChineseInterface(*qApp)) << "Qt's zh_CN translations are installed with the package";
    TEnterPresser enter;

    enter.Arm();
    EXPECT_TRUE(AskYesNo(QStringLiteral("确认第 1 轮烘干合格并入仓？")));
    EXPECT_TRUE(enter.yesText.startsWith(QStringLiteral("是"))) << qPrintable(enter.yesText);
    EXPECT_EQ(enter.defaultText, enter.yesText);
    EXPECT_EQ(enter.title, "确认");

    enter.Arm();
    EXPECT_FALSE(AskYesNo(QStringLiteral("确认删除【荞麦】？删除后不可恢复。"), TDefaultAnswer::No));
    EXPECT_TRUE(enter.defaultText.startsWith(QStringLiteral("否"))) << qPrintable(enter.defaultText);
}

TEST(ChineseInterface, MessageTitlesAndTheFileDialogsTypeColumnReadChinese) {
    ASSERT_TRUE(InstallChineseInterface(*qApp));
    EXPECT_EQ(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), "文件夹");

    TTestPrompter prompter;
    ShowWarn(QStringLiteral("请选择农户/客户"));
    ShowInfo(QStringLiteral("导出完成"));
    ShowError(QStringLiteral("数据库连接失败"));
    QStringList titles;
    for (const auto& shown : prompter.Shown) titles << shown.caption;
    EXPECT_EQ(titles, (QStringList{"警告", "提示", "错误"}));
}
