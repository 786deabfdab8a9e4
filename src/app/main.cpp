#include "app/uGlobal.h"
#include "app/uLocale.h"
#include "app/uLogin.h"
#include "app/uMain.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uMsg.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

namespace {
// "--check-start": start as usual, and when the login window stands, say so with the data folder
// and close it. The package check runs the installed program this way.
void ReportLoginWindowAndLeave(const TAppPaths& paths) {
    QTimer::singleShot(200, [paths] {
        QWidget* login = QApplication::activeModalWidget();
        if (!login) {
            ReportLoginWindowAndLeave(paths);
            return;
        }
        std::printf("login window: %s\ndata folder: %s\n", qPrintable(login->windowTitle()),
                    qPrintable(QDir::toNativeSeparators(paths.AppDir)));
        std::fflush(stdout);
        login->close();
    });
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Movelkar");
    InstallChineseInterface(app);
    const TAppPaths paths = TAppPaths::OfThisProgram();
    if (QApplication::arguments().contains(QStringLiteral("--check-start"))) ReportLoginWindowAndLeave(paths);
    // A restore puts another database file in place; the program then starts over at the login.
    for (;;) {
        std::unique_ptr<TDM> dm = PrepareDatabase(paths);
        if (!dm) return 0;
        try {
            if (!RunLogin(*dm)) return 0;
        } catch (const TDbError& e) {
            ShowError(DbErrorText(e));
            return 0;
        }
        dm->SetLogUser(Session.LoginName);
        TfrmMain frmMain(*dm, paths);
        frmMain.BuildUI();
        frmMain.show();
        const int code = QApplication::exec();
        if (!frmMain.RestartRequested()) return code;
    }
}
