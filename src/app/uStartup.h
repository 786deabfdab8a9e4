#pragma once
// The fixed places of the system's files, and getting the database ready at start-up.

#include "data/uDbConfig.h"

#include <QString>
#include <memory>

class TDM;
struct TSchema;

// Every file of the centre lives under one folder: beside the executable in a build tree, the
// shared data folder when installed (uDataDir decides).
struct TAppPaths {
    QString AppDir;  // the data folder, with a trailing separator

    static TAppPaths OfThisProgram();
    QString DbPath() const { return AppDir + "Data/Movelkar.mdb"; }
    // The database file as messages name it, the way the user's file manager shows it.
    static QString DbShownName();
    QString BackupDir() const { return AppDir + "Backup"; }
    QString InitErrorLog() const { return AppDir + "init_error.log"; }
    // This station's own settings (weighbridge, loss allowance, the database it works on).
    QString StationIni() const { return AppDir + "Movelkar.ini"; }
    // The database file, or the server the station's settings name.
    TDbConfig Database() const;
};

// Creates the database when missing, checks it and connects to it. A failure is shown in an
// error box and gives nullptr: the process then ends. Creation failures and every fault the
// check finds also go to init_error.log; a damaged file is left exactly as it was, for the
// technician. A zero-byte file is set aside and a fresh database made, which a warning says.
std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths);
std::unique_ptr<TDM> PrepareDatabase(const TAppPaths& paths, const TSchema& schema);
