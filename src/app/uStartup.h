#pragma once
// The fixed places of the system's files, and getting the database ready at start-up.

#include <QString>
#include <memory>

class TDM;
struct TSchema;

// Everything lives beside the executable: no configuration moves it.
struct TAppPaths {
    QString AppDir;  // with a trailing separator

    static TAppPaths BesideExecutable();
    QString DbPath() const { return AppDir + "Data/Movelkar.mdb"; }
    QString BackupDir() const { return AppDir + "Backup"; }
    QString InitErrorLog() const { return AppDir + "init_error.log"; }
};

// Creates the database when missing and connects to it. A failure is shown in an error box
// (creation failures also go to init_error.log) and gives nullptr: the process then ends.
std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths);
std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths, const TSchema& schema);
