#include "scale/uPhotoView.h"

#include "forms/uCtl.h"
#include "forms/uMsg.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
constexpr int kThumbWidth = 400;
constexpr int kThumbHeight = 225;
}  // namespace

TfrmBatchPhotos::TfrmBatchPhotos(TDM& dm, const QString& batchNo, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("过磅照片 - ") + batchNo);
    ApplyFormFont(this);
    const QString root = PhotoRoot(dm);
    const QList<TPhoto> photos = BatchPhotos(dm, batchNo);

    auto* inner = new QWidget;
    auto* grid = new QGridLayout(inner);
    const QStringList kinds{kWtKindGross, kWtKindTare};
    for (int col = 0; col < kinds.size(); ++col) {
        auto* head = new QLabel(kinds[col], inner);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, col);
        int row = 1;
        for (const TPhoto& p : photos) {
            if (p.WtKind != kinds[col]) continue;
            const TPhotoCheck check = CheckPhoto(root, p);
            QImage image;
            if (check.State == TPhotoState::Ok) image.loadFromData(check.Jpeg);
            auto* picture = new QLabel(inner);
            picture->setFixedSize(kThumbWidth, kThumbHeight);
            picture->setAlignment(Qt::AlignCenter);
            picture->setFrameShape(QFrame::Box);
            if (!image.isNull()) {
                picture->setPixmap(QPixmap::fromImage(
                    image.scaled(kThumbWidth - 2, kThumbHeight - 2, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
                picture->setCursor(Qt::PointingHandCursor);
                picture->installEventFilter(this);
            } else {
                picture->setText(check.Text);
            }
            const QString title = QStringLiteral("%1  %2  %3 公斤  %4")
                                      .arg(p.WtKind, p.Camera, FmtShortest(p.Weight),
                                           p.ShotTime.toString("yyyy-MM-dd HH:mm:ss"));
            grid->addWidget(picture, row++, col);
            grid->addWidget(new QLabel(title, inner), row++, col);
            shown << picture;
            images_ << image;
            titles_ << title;
        }
    }
    if (photos.isEmpty()) grid->addWidget(new QLabel(QStringLiteral("该批次没有过磅照片"), inner), 1, 0, 1, 2);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(inner);
    scroll->setWidgetResizable(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    resize(2 * kThumbWidth + 80, 640);
    CentreOnScreen(this);
}

bool TfrmBatchPhotos::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease)
        if (const qsizetype i = shown.indexOf(qobject_cast<QLabel*>(watched)); i >= 0) Enlarge(int(i));
    return QDialog::eventFilter(watched, event);
}

void TfrmBatchPhotos::Enlarge(int index) {
    if (index < 0 || index >= images_.size() || images_[index].isNull()) return;
    auto* big = new QDialog(this);
    big->setAttribute(Qt::WA_DeleteOnClose);
    big->setWindowTitle(titles_[index]);
    auto* label = new QLabel(big);
    label->setPixmap(QPixmap::fromImage(images_[index]));
    auto* layout = new QVBoxLayout(big);
    layout->addWidget(label);
    big->show();
}

void OpenBatchPhotos(TDM& dm, const QString& batchNo, QWidget* owner) {
    if (batchNo.isEmpty()) return;
    std::unique_ptr<TfrmBatchPhotos> dlg;
    if (!RunGuarded([&] { dlg = std::make_unique<TfrmBatchPhotos>(dm, batchNo, owner); },
                    QStringLiteral("无法打开过磅照片：")))
        return;
    dlg->exec();
}
