#pragma once
// Which folder holds the centre's data (Data/, Backup/, Photos/, Movelkar.ini, init_error.log).
// Run from where it was built, the program keeps everything beside its executable. Installed
// from the package, its program folder is not writable by the staff, so the data lives in one
// shared folder that every user of the group "movelkar" may write.

#include <QString>

inline constexpr const char* kSharedDataDir = "/var/lib/movelkar";
// The technician may name another shared folder here: [paths] DataDir=/srv/movelkar
inline constexpr const char* kSystemIni = "/etc/movelkar/Movelkar.ini";

struct TDataDir {
    QString Dir;          // with a trailing separator
    bool Shared = false;  // the installed program's shared folder
};

// The folder for a program whose executable lies in exeDir. Only a program in a system program
// folder (/usr/bin, /usr/local/bin) is an installed one; only it reads systemIni.
TDataDir ChooseDataDir(const QString& exeDir, const QString& systemIni = QString::fromUtf8(kSystemIni));

// The running program's folder. On its first call in a shared folder, the process's file-creation
// mask is opened to the group, so that a database or backup one user makes stays writable by the
// others; the folder is made when missing (the package makes it, but a technician may move it).
TDataDir ProgramDataDir();

// The database engine makes its files readable by the group only, whatever the mask; in the
// shared folder the database must be writable by every member of the group. Nothing elsewhere.
void OpenToGroup(const QString& path);
