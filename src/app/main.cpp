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
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace {
// "--check-start": start as usual, and when the login window stands, say so with the data folder
// and close it; a message box met on the way is said and closed too. The package check runs the
// installed program this way.
void ReportLoginWindowAndLeave(const TAppPaths& paths) {
    QTimer::singleShot(200, [paths] {
        QWidget* shown = QApplication::activeModalWidget();
        if (auto* login = qobject_cast<TfrmLogin*>(shown)) {
            std::printf("login window: %s\ndata folder: %s\n", qPrintable(login->windowTitle()),
                        qPrintable(QDir::toNativeSeparators(paths.AppDir)));
            std::fflush(stdout);
            login->reject();
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(shown)) {
            std::printf("message: %s\n", qPrintable(box->text()));
            std::fflush(stdout);
            box->done(0);
        }
        ReportLoginWindowAndLeave(paths);
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
