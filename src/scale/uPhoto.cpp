#include "scale/uPhoto.h"

#include "data/uDM.h"
#include "scale/uScaleSettings.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSettings>

namespace {
QString Sha256Of(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray Downscaled(const QByteArray& jpeg) {
    QImage image;
    if (!image.loadFromData(jpeg)) return {};
    if (image.width() > kPhotoMaxWidth)
        image = image.scaledToWidth(kPhotoMaxWidth, Qt::SmoothTransformation);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", kPhotoQuality)) return {};
    return out;
}

TPhoto FromRow(const TQuery& q, int r) {
    TPhoto p;
    p.WtKind = q.Value(r, "WtKind").AsText();
    p.Camera = q.Value(r, "CameraName").AsText();
    p.ShotTime = q.Value(r, "ShotTime").AsDateTime();
    p.Weight = q.Value(r, "Weight").AsDouble();
    p.FilePath = q.Value(r, "FilePath").AsText();
    p.ByteSize = q.Value(r, "ByteSize").AsInt64();
    p.Sha256 = q.Value(r, "Sha256").AsText();
    return p;
}
}  // namespace

namespace {
QString NamedPhotoFolder() {
    return QSettings(ScaleIniPath(), QSettings::IniFormat).value("photos/folder").toString().trimmed();
}
}  // namespace

bool PhotoFolderNamed() { return !NamedPhotoFolder().isEmpty(); }

QString PhotoRoot(const TDM& dm) {
    const QString iniDir = QFileInfo(ScaleIniPath()).absolutePath();
    const QString named = NamedPhotoFolder();
    if (!named.isEmpty()) return QDir::cleanPath(QDir(iniDir).absoluteFilePath(named));
    const QString base = dm.Engine() == TDbEngine::SQLite ? QFileInfo(dm.DbPath()).absolutePath() : iniDir;
    return QDir::cleanPath(base + "/Photos");
}

TPhoto StorePhoto(const QString& root, const TCameraPicture& picture, const QString& wtKind, double weight) {
    TPhoto p;
    p.WtKind = wtKind;
    p.Camera = picture.Camera;
    p.ShotTime = picture.ShotTime.isValid() ? picture.ShotTime : QDateTime::currentDateTime();
    p.Weight = weight;
    if (!picture.Ok()) {
        p.Failure = picture.Failure;
        return p;
    }
    const QByteArray jpeg = Downscaled(picture.Jpeg);
    if (jpeg.isEmpty()) {
        p.Failure = QStringLiteral("相机 %1 返回的不是图片").arg(picture.Camera);
        return p;
    }
    const QString folder = p.ShotTime.toString("yyyy/MM");
    const QString name = QStringLiteral("%1-%2-%3.jpg")
                             .arg(p.ShotTime.toString("yyyyMMdd-HHmmss-zzz"), wtKind == kWtKindTare ? "T" : "G")
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QString relative = folder + "/" + name;
    const QString full = root + "/" + relative;
    const QString failure = QStringLiteral("照片未能保存（%1）：").arg(QDir::toNativeSeparators(full));
    if (!QDir().mkpath(root + "/" + folder)) {
        p.Failure = failure + QStringLiteral("无法访问照片文件夹");
        return p;
    }
    QSaveFile f(full);
    if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size() || !f.commit()) {
        p.Failure = failure + f.errorString();
        return p;
    }
    p.FilePath = relative;
    p.ByteSize = jpeg.size();
    p.Sha256 = Sha256Of(jpeg);
    return p;
}

void InsertPhotos(TDM& dm, const QString& batchNo, const QList<TPhoto>& photos) {
    for (const TPhoto& p : photos) {
        const bool file = p.HasFile();
        dm.ExecSQLP("INSERT INTO T_Photo(BatchNo,WtKind,CameraName,ShotTime,Weight,FilePath,ByteSize,Sha256) "
                    "VALUES(:b,:k,:c,:t,:w,:f,:s,:h)",
                    {{"b", batchNo},
                     {"k", p.WtKind},
                     {"c", p.Camera.left(20)},
                     {"t", p.ShotTime},
                     {"w", p.Weight},
                     {"f", file ? TValue(p.FilePath) : TValue()},
                     {"s", file ? TValue(p.ByteSize) : TValue()},
                     {"h", file ? TValue(p.Sha256) : TValue()}});
    }
}

void DiscardPhotoFiles(const QString& root, const QList<TPhoto>& photos) {
    for (const TPhoto& p : photos)
        if (p.HasFile()) QFile::remove(root + "/" + p.FilePath);
}

QList<TPhoto> BatchPhotos(TDM& dm, const QString& batchNo) {
    const TQuery q = dm.OpenSQLP("SELECT WtKind, CameraName, ShotTime, Weight, FilePath, ByteSize, Sha256 FROM T_Photo "
                                 "WHERE BatchNo=:b ORDER BY ShotTime, PhotoID",
                                 {{"b", batchNo}});
    QList<TPhoto> photos;
    for (int r = 0; r < q.RowCount(); ++r) photos << FromRow(q, r);
    return photos;
}

int BatchPhotoCount(TDM& dm, const QString& batchNo) {
    return VarToInt(
        dm.ScalarP("SELECT COUNT(*) FROM T_Photo WHERE BatchNo=:b AND FilePath IS NOT NULL", {{"b", batchNo}}));
}

TPhotoCheck CheckPhoto(const QString& root, const TPhoto& photo) {
    if (!photo.HasFile()) return {TPhotoState::NotShot, {}, NoPictureText(photo.Camera)};
    QFile f(root + "/" + photo.FilePath);
    if (!f.open(QIODevice::ReadOnly)) return {TPhotoState::Missing, {}, QStringLiteral("照片缺失")};
    const QByteArray bytes = f.readAll();
    if (bytes.size() != photo.ByteSize || Sha256Of(bytes) != photo.Sha256)
        return {TPhotoState::Changed, {}, QStringLiteral("照片已被改动")};
    return {TPhotoState::Ok, bytes, {}};
}

QString PhotoBackupNote(const QString& root, bool named) {
    const QFileInfo folder(root);
    // A folder beside the database appears with the first picture; a named one is made by
    // whoever shares it, so its absence here means this station cannot see it.
    if ((named || folder.exists()) && !(folder.isDir() && folder.isReadable() && folder.isExecutable()))
        return QStringLiteral("照片文件夹 %1 无法访问，本次备份不含照片，也无法确认照片是否完好。"
                              "请检查共享文件夹的连接和权限，并在能访问它的电脑上另行备份照片文件夹。")
            .arg(QDir::toNativeSeparators(root));
    qint64 files = 0, bytes = 0;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        ++files;
        bytes += it.fileInfo().size();
    }
    if (files == 0) return {};
    return QStringLiteral("过磅照片不在数据库中，请另行备份照片文件夹：%1（%2 个文件，共 %3 MB）")
        .arg(QDir::toNativeSeparators(root))
        .arg(files)
        .arg(QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1));
}
