#include "app/uGlobal.h"
#include "app/uLocale.h"
#include "app/uLogin.h"
#include "app/uMain.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uMsg.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Movelkar");
    InstallChineseInterface(app);
    const TAppPaths paths = TAppPaths::BesideExecutable();
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
    return QApplication::exec();
}
