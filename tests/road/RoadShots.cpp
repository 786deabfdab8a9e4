#include "road/RoadShots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

TShots::TShots() : dir_(qEnvironmentVariable("MOVELKAR_SCREENSHOTS")) {
    if (On()) QDir().mkpath(dir_);
}

void TShots::Take(QWidget* window, const QString& name) const {
    if (!On()) return;
    QApplication::processEvents();
    const QString path = QDir(dir_).filePath(name + ".png");
    EXPECT_TRUE(window->grab().save(path)) << qPrintable(path);
}

void TShots::TakePdfPage(const QString& pdfPath, const QString& name) const {
    if (!On()) return;
    const int exitCode = QProcess::execute(
        "pdftoppm", {"-png", "-r", "80", "-f", "1", "-l", "1", "-singlefile", pdfPath, QDir(dir_).filePath(name)});
    EXPECT_EQ(exitCode, 0) << "pdftoppm " << qPrintable(pdfPath);
}

void TShots::TakeShown(QWidget* window, const QString& name) const {
    if (!On()) return;
    window->show();
    // A file dialog reads its folder in the background before it lists it.
    QTest::qWait(300);
    Take(window, name);
    window->close();
}
