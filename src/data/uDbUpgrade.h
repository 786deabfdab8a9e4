#pragma once
// What a database made by an earlier version of the program lacks is added at start-up, once,
// so that existing files and servers keep working with their data.

#include <QList>
#include <QString>

class TDM;
struct TTableColumns;

// Adds what is missing (now: T_User.PwdHash, where account passwords are kept as hashes, and
// T_Photo, the pictures of each weighing).
// Empty when the database is ready; else the message to show, e.g. when the station's database
// account may not change tables and the owner has to start the program once first.
QString UpgradeDatabase(TDM& dm);

// The schema's columns less those UpgradeDatabase adds: what an earlier version's database must
// already hold before the upgrade runs.
QList<TTableColumns> BeforeUpgrade(QList<TTableColumns> tables);
