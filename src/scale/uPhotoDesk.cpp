#include "scale/uPhotoDesk.h"

#include "forms/uCtl.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>

namespace {
constexpr int kGap = 16;
constexpr int kCellGap = 10;
constexpr int kCaptionHeight = 40;  // two lines: the camera and weight, then the time
}  // namespace

TPhotoDesk* TPhotoDesk::Attach(QDialog* dialog, TDM& dm) {
    const QList<TCameraConfig> cameras = LoadCameras();
    if (cameras.isEmpty()) return nullptr;
    return new TPhotoDesk(dialog, dm, cameras);
}

TPhotoDesk::TPhotoDesk(QDialog* dialog, TDM& dm, const QList<TCameraConfig>& cameras)
    : QObject(dialog), cameras_(cameras), root_(PhotoRoot(dm)) {
    pool_.setMaxThreadCount(1);
    const QSize size = dialog->size();
    const int left = size.width();
    for (int i = 0; i < cameras_.size(); ++i) {
        const int x = left + (i % 2) * (kThumbWidth + kCellGap);
        const int y = kGap + (i / 2) * (kThumbHeight + kCaptionHeight + kCellGap);
        auto* thumb = new QLabel(dialog);
        thumb->setGeometry(x, y, kThumbWidth, kThumbHeight);
        thumb->setAlignment(Qt::AlignCenter);
        thumb->setWordWrap(true);
        thumb->setFrameShape(QFrame::Box);
        thumb->setText(QStringLiteral("（尚未抓拍）"));
        thumbs << thumb;
        QLabel* caption = MakeLabel(dialog, cameras_[i].Name, x, y + kThumbHeight + 2, kThumbWidth, kCaptionHeight - 4);
        caption->setWordWrap(true);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        captions << caption;
    }
    const int rows = int((cameras_.size() + 1) / 2);
    status = MakeLabel(dialog, QString(), left, kGap + rows * (kThumbHeight + kCaptionHeight + kCellGap),
                       2 * kThumbWidth + kCellGap, 40);
    status->setWordWrap(true);
    dialog->setFixedSize(left + 2 * kThumbWidth + kCellGap + kGap, size.height());
    CentreOnScreen(dialog);

    connect(&shot_, &TCameraShot::PictureReady, this, [this](int round, const TCameraPicture& picture) {
        const TTake take = open_.value(round);
        Arrived(picture, take.WtKind, take.Kg);
    });
    connect(&shot_, &TCameraShot::Finished, this, [this](int round) {
        open_.remove(round);
        ShowStatus();
    });
}

TPhotoDesk::~TPhotoDesk() {
    pool_.waitForDone();
    if (saved_) return;
    const QMutexLocker lock(&writtenLock_);
    DiscardPhotoFiles(root_, written_);
}

void TPhotoDesk::Take(const QString& wtKind, double kg) {
    const int round = shot_.Shoot(cameras_);
    open_.insert(round, {wtKind, kg});
    if (!taken_.contains(wtKind)) taken_ << wtKind;
    ShowStatus();
}

bool TPhotoDesk::HasTaken(const QString& wtKind) const { return taken_.contains(wtKind); }

// Decoding, downscaling and hashing take tens of milliseconds a picture: they run beside the
// dialog, which only shows the result.
void TPhotoDesk::Arrived(const TCameraPicture& picture, const QString& wtKind, double kg) {
    ++storing_;
    const QString root = root_;
    pool_.start([this, root, picture, wtKind, kg] {
        const TPhoto photo = StorePhoto(root, picture, wtKind, kg);
        if (photo.HasFile()) {
            const QMutexLocker lock(&writtenLock_);
            written_ << photo;
        }
        QMetaObject::invokeMethod(this, [this, photo] { Stored(photo); }, Qt::QueuedConnection);
    });
    ShowStatus();
}

void TPhotoDesk::Stored(const TPhoto& photo) {
    --storing_;
    photos_ << photo;
    const TPhotoCheck check = CheckPhoto(root_, photo);
    Show(photo, check.Jpeg);
    ShowStatus();
    emit PhotoStored(photo);
}

void TPhotoDesk::Show(const TPhoto& photo, const QByteArray& jpeg) {
    for (int i = 0; i < cameras_.size(); ++i) {
        if (cameras_[i].Name != photo.Camera) continue;
        QPixmap pixmap;
        if (!jpeg.isEmpty() && pixmap.loadFromData(jpeg)) {
            thumbs[i]->setPixmap(pixmap.scaled(kThumbWidth - 2, kThumbHeight - 2, Qt::KeepAspectRatio,
                                               Qt::SmoothTransformation));
        } else {
            thumbs[i]->setPixmap({});
            thumbs[i]->setText(photo.Failure.isEmpty() ? NoPictureText(photo.Camera) : photo.Failure);
        }
        captions[i]->setText(QStringLiteral("%1  %2 %3 公斤  %4")
                                 .arg(photo.Camera, photo.WtKind, FmtShortest(photo.Weight),
                                      photo.ShotTime.toString("HH:mm:ss")));
    }
}

void TPhotoDesk::ShowStatus() {
    if (!open_.isEmpty() || storing_ > 0) {
        status->setText(QStringLiteral("正在抓拍…"));
        return;
    }
    QStringList problems;
    for (const TPhoto& p : photos_)
        if (!p.HasFile()) problems << (p.Failure.isEmpty() ? NoPictureText(p.Camera) : p.Failure);
    problems.removeDuplicates();
    status->setText(problems.join("\n"));
}

QList<TPhoto> TPhotoDesk::Finish() {
    QElapsedTimer waited;
    waited.start();
    // Bounded by the cameras' own limit; a little more for the writing of the last pictures.
    while ((!open_.isEmpty() || storing_ > 0) && waited.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 50);
    return photos_;
}

void TPhotoDesk::Saved() { saved_ = true; }
