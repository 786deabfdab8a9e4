#pragma once
// The pictures of each weighing: stored downscaled under the photo folder, recorded in T_Photo
// with their SHA-256, and checked against it wherever shown, so a swapped or removed file
// shows up as such instead of as evidence.

#include "scale/uCameraShot.h"

#include <QDateTime>
#include <QList>
#include <QString>

class TDM;

inline const QString kWtKindGross = QStringLiteral("毛重");
inline const QString kWtKindTare = QStringLiteral("皮重");

// One camera's outcome at one take. A camera that gave no picture still has its record, with no
// file, so the ticket and the batch can say it was not photographed.
struct TPhoto {
    QString WtKind;  // 毛重 / 皮重
    QString Camera;
    QDateTime ShotTime;
    double Weight = 0;  // kilograms on the scale at that moment
    QString FilePath;   // relative to the photo folder, '/' separated; empty: no picture
    qint64 ByteSize = 0;
    QString Sha256;   // lower-case hex
    QString Failure;  // why there is no picture, for the weigher; not stored

    bool HasFile() const { return !FilePath.isEmpty(); }
};

constexpr int kPhotoMaxWidth = 1280;
constexpr int kPhotoQuality = 80;

// The photo folder: `[photos] folder=` of the station's Movelkar.ini (a shared folder for several
// stations; relative to the ini file's folder when not absolute), else Photos beside the
// database file (beside Movelkar.ini for a server database).
QString PhotoRoot(const TDM& dm);

// Writes the picture, at most kPhotoMaxWidth wide, under root/yyyy/MM/. A picture that came but
// cannot be written (a shared folder out of reach) comes back with no file and a Failure
// "照片未能保存：…"; one that never came keeps the camera's failure.
TPhoto StorePhoto(const QString& root, const TCameraPicture& picture, const QString& wtKind, double weight);

// Records the pictures of a registration under its batch; inside the caller's transaction, so
// they are kept exactly when the registration is.
void InsertPhotos(TDM& dm, const QString& batchNo, const QList<TPhoto>& photos);
// Removes the files of pictures that will not be recorded (a cancelled registration).
void DiscardPhotoFiles(const QString& root, const QList<TPhoto>& photos);

// A batch's records in the order taken.
QList<TPhoto> BatchPhotos(TDM& dm, const QString& batchNo);
// How many pictures (files) each of the batches has; one query.
int BatchPhotoCount(TDM& dm, const QString& batchNo);

enum class TPhotoState { Ok, NotShot, Missing, Changed };
struct TPhotoCheck {
    TPhotoState State = TPhotoState::NotShot;
    QByteArray Jpeg;  // the file's bytes when Ok
    QString Text;     // what is shown instead of a picture; empty when Ok
};
// Reads the file and compares it with its recorded size and SHA-256.
TPhotoCheck CheckPhoto(const QString& root, const TPhoto& photo);

// Whether the station's Movelkar.ini names the photo folder (a shared folder for several
// stations) rather than leaving it beside the database.
bool PhotoFolderNamed();

// What the database backup adds: the pictures are files outside the database, so the backup
// names their folder and its size to be copied as well. A named folder this station cannot reach
// is said to be out of reach; empty when a folder of this station's own holds no picture.
QString PhotoBackupNote(const QString& root, bool named);
