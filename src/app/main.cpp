#include "app/uStartup.h"
#include "data/uDM.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Movelkar");
    const TAppPaths paths = TAppPaths::BesideExecutable();
    std::unique_ptr<TDM> dm = PrepareDatabase(paths);
    if (!dm) return 0;
    return 0;
}
