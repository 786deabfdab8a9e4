#pragma once
// A serial cable in software for the weighbridge tests: the program opens the slave side of a
// pseudo-terminal by its name as it would a COM port, the test plays the indicator on the
// master side.

#include <QByteArray>
#include <QString>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

class TPtyPair {
public:
    TPtyPair() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        for (int fd : {master_, slave_}) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        name_ = QString::fromLocal8Bit(name);
    }
    ~TPtyPair() {
        Unplug();
        ReleaseSlave();
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const QString& SlaveName() const { return name_; }
    bool Write(const QByteArray& bytes) { return master_ >= 0 && ::write(master_, bytes.data(), size_t(bytes.size())) == bytes.size(); }
    // The indicator switched off or its cable pulled.
    void Unplug() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void ReleaseSlave() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString name_;
};

// The XK3190-A9 continuous frame (format F1) of a whole-kilogram weight given as six digits.
inline QByteArray A9Frame(const char* digits) {
    const QByteArray body = QByteArray("+") + digits + "0";
    int x = 0;
    for (char c : body) x ^= quint8(c);
    return "\x02" + body + QByteArray::number(x, 16).rightJustified(2, '0').toUpper() + "\x03";
}
