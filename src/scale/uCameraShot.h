#pragma once
// Asks every camera of the station for one picture at once, in the background: the weighing
// goes on while they answer. Each camera has 2 s; one that has not answered by then, answers
// something that is not a picture, or refuses the password, gives a failure text instead.

#include "scale/uCameraConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

struct TCameraPicture {
    QString Camera;   // the camera's name
    QByteArray Jpeg;  // the picture as the camera sent it; empty when none came
    QDateTime ShotTime;
    QString Failure;  // "相机 X 无响应" and the like; empty when a picture came

    bool Ok() const { return Failure.isEmpty(); }
};

class TCameraShot : public QObject {
    Q_OBJECT
public:
    explicit TCameraShot(QObject* parent = nullptr);
    ~TCameraShot() override;

    // How long a camera is given; tests shorten it.
    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }

    // Starts one round over the cameras and returns at once; Finished follows, also when the
    // list is empty. A round still running keeps running: each has its own number.
    int Shoot(const QList<TCameraConfig>& cameras);

signals:
    void PictureReady(int round, const TCameraPicture& picture);
    void Finished(int round, const QList<TCameraPicture>& pictures);

private:
    struct TRound;
    void Done(TRound* round, int index, TCameraPicture picture);

    QNetworkAccessManager* net_;
    int timeoutMs_ = 2000;
    int nextRound_ = 0;
    std::vector<std::unique_ptr<TRound>> rounds_;  // those still waiting for a camera
};

// The text a ticket and a batch show for a camera that gave no picture.
QString NoPictureText(const QString& camera);
