#pragma once
// The station's cameras, up to four, in Movelkar.ini ([Camera1]…[Camera4]: name, url, user).
// A camera's password never goes into the ini file nor the log: it is read from a file only the
// station's own system user may read (password_file=, by default ~/.movelkar/cameraN.pass).

#include <QList>
#include <QString>

struct TCameraConfig {
    int Slot = 0;          // 1…4, the [CameraN] it comes from
    QString Name;          // "车头", "车尾"; the slot number when none is given
    QString Url;           // the camera's HTTP snapshot address, answering one JPEG
    QString User;
    QString PasswordFile;  // where the password is kept; empty: the default
    QString Password;      // read from PasswordFile, never written back to the ini
    QString PasswordProblem;  // why the password could not be used; empty when fine or not needed

    bool Enabled() const { return !Url.trimmed().isEmpty(); }
};

constexpr int kCameraSlots = 4;

// The default password file of a slot: ~/.movelkar/cameraN.pass.
QString DefaultCameraPasswordFile(int slot);

// The password in a file, or why it is not used: missing, unreadable, or readable by other
// users (a password others can read is no longer a secret; chmod 600 mends it).
struct TCameraSecret {
    QString Password;
    QString Problem;
};
TCameraSecret ReadCameraPassword(const QString& path);

// The cameras set in the station's Movelkar.ini (the file ScaleIniPath names), only those with
// an address, each with its password read.
QList<TCameraConfig> LoadCameras();
// Writes the four slots (name, url, user, password_file); an empty text when written,
// otherwise why not.
QString SaveCameras(const QList<TCameraConfig>& cameras);
// Writes a password into its file, readable by this user only.
QString SaveCameraPassword(const QString& path, const QString& password);
