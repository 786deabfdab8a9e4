#pragma once
// A camera's HTTP snapshot address served by the test itself on 127.0.0.1: one answering a
// JPEG, one behind Basic or Digest authentication, one that never answers, one that sends
// garbage.

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

class TFakeCamera : public QObject {
public:
    enum class TMode { Jpeg, Basic, Digest, Silent, Garbage };

    explicit TFakeCamera(TMode mode, QColor colour = Qt::darkGreen, QSize size = {1600, 900})
        : mode_(mode), jpeg_(Picture(colour, size)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Answer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/snapshot.jpg").arg(server_.serverPort()); }
    const QByteArray& Jpeg() const { return jpeg_; }
    int Asked() const { return asked_; }

    static constexpr const char* kUser = "admin";
    static constexpr const char* kPassword = "cam-pa55";

    static QByteArray Picture(QColor colour, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        QPainter(&image).fillRect(10, 10, size.width() / 3, size.height() / 3, Qt::yellow);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 90);
        return bytes;
    }

private:
    void Answer(QTcpSocket* s) {
        QByteArray& pending = buffers_[s];
        pending += s->readAll();
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QByteArray head = pending.left(end);
        pending.remove(0, end + 4);
        ++asked_;
        switch (mode_) {
        case TMode::Silent: return;  // holds the connection open and says nothing
        case TMode::Garbage: s->write("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 11\r\n\r\nnot a photo"); return;
        case TMode::Jpeg: return Send(s, jpeg_);
        case TMode::Basic:
            if (head.contains("Authorization: Basic " + QByteArray(kUser + QByteArray(":") + kPassword).toBase64()))
                return Send(s, jpeg_);
            s->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\nContent-Length: 0\r\n\r\n");
            return;
        case TMode::Digest:
            if (DigestMatches(head)) return Send(s, jpeg_);
            s->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", "
                     "nonce=\"5eed1ce\", algorithm=MD5\r\nContent-Length: 0\r\n\r\n");
            return;
        }
    }

    static void Send(QTcpSocket* s, const QByteArray& body) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\n\r\n" + body);
    }

    static QByteArray Md5(const QByteArray& x) { return QCryptographicHash::hash(x, QCryptographicHash::Md5).toHex(); }

    static bool DigestMatches(const QByteArray& head) {
        const QString text = QString::fromLatin1(head);
        const qsizetype at = text.indexOf("Authorization: Digest ");
        if (at < 0) return false;
        const QString line = text.mid(at).section("\r\n", 0, 0);
        QHash<QString, QString> p;
        static const QRegularExpression pair(R"re((\w+)=(?:"([^"]*)"|([^,\s]*)))re");
        for (auto it = pair.globalMatch(line); it.hasNext();) {
            const auto m = it.next();
            p[m.captured(1)] = m.captured(2).isEmpty() ? m.captured(3) : m.captured(2);
        }
        const QByteArray ha1 = Md5(QByteArray(kUser) + ":cam:" + kPassword);
        const QByteArray ha2 = Md5("GET:" + p["uri"].toLatin1());
        const QByteArray expected = Md5(ha1 + ":" + p["nonce"].toLatin1() + ":" + p["nc"].toLatin1() + ":" +
                                        p["cnonce"].toLatin1() + ":" + p["qop"].toLatin1() + ":" + ha2);
        return p["username"] == kUser && p["response"].toLatin1() == expected;
    }

    TMode mode_;
    QByteArray jpeg_;
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    int asked_ = 0;
};
