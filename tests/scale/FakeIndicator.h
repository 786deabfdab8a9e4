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
    ~TPtyPair() { Unplug(), ReleaseSlave(); }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const QString& SlaveName() const { return name_; }
    bool Write(const QByteArray& bytes) { return master_ >= 0 && ::write(master_, bytes.data(), size_t(bytes.size())) == bytes.size(); }
    // The indicator switched off or its cable pulled.
    void Unplug() { Close(master_); }
    void ReleaseSlave() { Close(slave_); }

private:
    static void Close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int master_ = -1;
    int slave_ = -1;
    QString name_;
};

// The bytes followed by their XOR checksum in two hex digits, as XK3190 indicators send it.
inline QByteArray WithXor(const QByteArray& body) {
    int x = 0;
    for (char c : body) x ^= quint8(c);
    return body + QByteArray::number(x, 16).rightJustified(2, '0').toUpper();
}

// The XK3190-A9 continuous frame (format F1): the sign, six digits and the number of decimals.
inline QByteArray A9Frame(const char* digits, char sign = '+', char decimals = '0') {
    return "\x02" + WithXor(sign + QByteArray(digits) + decimals) + "\x03";
}

// Toledo continuous output: status A 0x22 whole units, 0x23 one decimal; status B bit 0 net, 1
// negative, 2 out of range, 3 in motion, 4 kilograms (else pounds). The checksum is sent by some
// indicators and not by others.
inline QByteArray ToledoFrame(char statusB, const char* weight, char statusA = 0x22, bool checksum = true) {
    QByteArray frame = QByteArray("\x02") + statusA + statusB + char(0x20) + weight + "000000\r";
    int sum = 0;
    for (char c : frame) sum += quint8(c);
    return checksum ? frame + char(-sum & 0x7F) : frame;
}
