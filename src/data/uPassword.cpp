#include "data/uPassword.h"

#include "data/uDM.h"

#include <sodium.h>

const char* const kStartingAdminHash =
    "$argon2id$v=19$m=65536,t=2,p=1$stS6N8CRYP/TSgRyJcQDdQ$tueFFT8ocTyCscg0x9bk1HfdX0fbuLo6AovafNjXRwE";

namespace {
void EnsureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw TDbError(QStringLiteral("密码模块无法启动（libsodium 初始化失败）"));
}
}  // namespace

QString PasswordHash(const QString& password) {
    EnsureSodium();
    const QByteArray typed = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, typed.constData(), quint64(typed.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw TDbError(QStringLiteral("无法保存密码：本机内存不足，请关闭其他程序后重试"));
    return QString::fromLatin1(out);
}

bool PasswordMatches(const QString& storedHash, const QString& storedPlain, const QString& typed) {
    if (storedHash.isEmpty()) return storedPlain == typed;
    EnsureSodium();
    const QByteArray hash = storedHash.toLatin1();
    const QByteArray text = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), text.constData(), quint64(text.size())) == 0;
}

QString NewPasswordRefusal(const QString& password, const QString& confirm) {
    if (password.trimmed().size() < 3) return QStringLiteral("新密码至少3位");
    if (password != confirm) return QStringLiteral("两次输入的新密码不一致");
    return {};
}
