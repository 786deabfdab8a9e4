#pragma once
// What a database made by an earlier version of the program lacks is added at start-up, once,
// so that existing files and servers keep working with their data.

#include <QString>
#include <QStringList>

struct TSchema;

class TDM;

// Adds what is missing (now: T_User.PwdHash, where account passwords are kept as hashes, and
// T_Photo, the pictures of each weighing).
// Empty when the database is ready; else the message to show, e.g. when the station's database
// account may not change tables and the owner has to start the program once first.
QString UpgradeDatabase(TDM& dm);

// The schema's tables a database must already hold before the upgrade: those it adds itself
// are not missing from an earlier version's file.
QStringList TablesBeforeUpgrade(const TSchema& schema);
