#include "scale/uCameraShot.h"

#include <QAuthenticator>
#include <QBuffer>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

struct TCameraShot::TRound {
    int Number = 0;
    QList<TCameraPicture> Pictures;
    int Open = 0;
};

QString NoPictureText(const QString& camera) {
    return QStringLiteral("未抓拍（相机 %1 无响应）").arg(camera);
}

TCameraShot::TCameraShot(QObject* parent) : QObject(parent), net_(new QNetworkAccessManager(this)) {
    // Credentials are handed out per request below, so a wrong password is asked once and
    // refused, not retried for ever.
    connect(net_, &QNetworkAccessManager::authenticationRequired, this,
            [](QNetworkReply* reply, QAuthenticator* auth) {
                if (reply->property("mvAsked").toBool()) return;  // refused once: give up
                reply->setProperty("mvAsked", true);
                auth->setUser(reply->property("mvUser").toString());
                auth->setPassword(reply->property("mvPassword").toString());
            });
}

TCameraShot::~TCameraShot() = default;

namespace {
bool IsPicture(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.canRead() && reader.size().isValid() && !reader.size().isEmpty();
}
}  // namespace

int TCameraShot::Shoot(const QList<TCameraConfig>& cameras) {
    rounds_.push_back(std::make_unique<TRound>());
    TRound* round = rounds_.back().get();
    round->Number = ++nextRound_;
    round->Open = int(cameras.size());
    round->Pictures.resize(cameras.size());
    const int number = round->Number;
    if (cameras.isEmpty()) {
        // Still asynchronous, so a caller handles both cases alike.
        QTimer::singleShot(0, this, [this, number, round] {
            std::erase_if(rounds_, [round](const auto& r) { return r.get() == round; });
            emit Finished(number, {});
        });
        return number;
    }
    for (int i = 0; i < cameras.size(); ++i) {
        const TCameraConfig& c = cameras[i];
        round->Pictures[i].Camera = c.Name;
        if (!c.PasswordProblem.isEmpty()) {
            QTimer::singleShot(0, this, [this, round, i, c] {
                TCameraPicture p;
                p.Camera = c.Name;
                p.ShotTime = QDateTime::currentDateTime();
                p.Failure = QStringLiteral("相机 %1 未抓拍：%2").arg(c.Name, c.PasswordProblem);
                Done(round, i, p);
            });
            continue;
        }
        QNetworkRequest request{QUrl(c.Url)};
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply* reply = net_->get(request);
        reply->setProperty("mvUser", c.User);
        reply->setProperty("mvPassword", c.Password);
        const QDateTime asked = QDateTime::currentDateTime();
        auto timedOut = std::make_shared<bool>(false);
        QTimer::singleShot(timeoutMs_, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        });
        connect(reply, &QNetworkReply::finished, this, [this, round, i, reply, asked, timedOut, name = c.Name] {
            reply->deleteLater();
            TCameraPicture p;
            p.Camera = name;
            p.ShotTime = asked;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (*timedOut || reply->error() == QNetworkReply::ConnectionRefusedError ||
                reply->error() == QNetworkReply::HostNotFoundError ||
                reply->error() == QNetworkReply::TimeoutError ||
                reply->error() == QNetworkReply::OperationCanceledError) {
                p.Failure = NoPictureText(name);
            } else if (status == 401 || reply->error() == QNetworkReply::AuthenticationRequiredError) {
                p.Failure = QStringLiteral("相机 %1 拒绝了用户名或密码").arg(name);
            } else if (reply->error() != QNetworkReply::NoError) {
                p.Failure = QStringLiteral("相机 %1 无法抓拍：%2").arg(name, reply->errorString());
            } else {
                const QByteArray data = reply->readAll();
                if (IsPicture(data))
                    p.Jpeg = data;
                else
                    p.Failure = QStringLiteral("相机 %1 返回的不是图片").arg(name);
            }
            Done(round, i, p);
        });
    }
    return number;
}

void TCameraShot::Done(TRound* round, int index, TCameraPicture picture) {
    round->Pictures[index] = picture;
    emit PictureReady(round->Number, picture);
    if (--round->Open > 0) return;
    const int number = round->Number;
    const QList<TCameraPicture> pictures = round->Pictures;
    std::erase_if(rounds_, [round](const auto& r) { return r.get() == round; });
    emit Finished(number, pictures);
}
