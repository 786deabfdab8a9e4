#pragma once
// The cameras at the registration dialog: each take (取毛重, 取皮重, or the save of a weight typed
// by hand) asks every camera at once and goes on without waiting; the pictures are stored in
// the background and shown beside the reading as they come. They belong to the dialog until its
// registration is saved with them; a dialog closed without saving removes their files.

#include "scale/uCameraShot.h"
#include "scale/uPhoto.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

class QDialog;
class QLabel;
class TDM;

class TPhotoDesk : public QObject {
    Q_OBJECT
public:
    // The pictures' panel placed to the right of the dialog, which grows to hold it; nullptr
    // when this station has no camera, and the dialog stays exactly as it was.
    static TPhotoDesk* Attach(QDialog* dialog, TDM& dm);
    ~TPhotoDesk() override;

    // Asks every camera for the weighing of this kind; returns at once.
    void Take(const QString& wtKind, double kg);
    bool HasTaken(const QString& wtKind) const;
    // Waits for the cameras still asked (at most their time limit) and the pictures still being
    // written; then every take's outcome, for the save.
    QList<TPhoto> Finish();
    // The registration was saved with them: they stay.
    void Saved();

    TCameraShot& Shot() { return shot_; }
    const QList<TPhoto>& Photos() const { return photos_; }
    QList<QLabel*> thumbs;    // one per camera: its latest picture, or why there is none
    QList<QLabel*> captions;  // under each: camera, kind and weight
    QLabel* status = nullptr;

    static constexpr int kThumbWidth = 160;
    static constexpr int kThumbHeight = 90;

signals:
    void PhotoStored(const TPhoto& photo);

private:
    TPhotoDesk(QDialog* dialog, TDM& dm, const QList<TCameraConfig>& cameras);
    void Arrived(const TCameraPicture& picture, const QString& wtKind, double kg);
    void Stored(const TPhoto& photo);
    void Show(const TPhoto& photo, const QByteArray& jpeg);
    void ShowStatus();

    QList<TCameraConfig> cameras_;
    QString root_;
    TCameraShot shot_;
    struct TTake {
        QString WtKind;
        double Kg = 0;
    };
    QHash<int, TTake> open_;  // rounds still waiting for a camera
    int storing_ = 0;         // pictures handed to the pool and not yet back
    QList<TPhoto> photos_;
    QStringList taken_;
    bool saved_ = false;
    // Every file written, also one whose news has not reached the dialog yet, so none is left
    // behind by a dialog closed meanwhile.
    QMutex writtenLock_;
    QList<TPhoto> written_;
    QThreadPool pool_;
};
