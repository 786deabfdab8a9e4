#include "forms/uZipFile.h"

#include <QDateTime>
#include <algorithm>
#include <stdexcept>
#include <zip.h>

namespace {
std::runtime_error ZipError(const char* what) {
    return std::runtime_error((QStringLiteral("压缩文件") + QString::fromUtf8(what) + QStringLiteral("失败")).toStdString());
}

zip_fileinfo Stamp() {
    const QDateTime now = QDateTime::currentDateTime();
    zip_fileinfo info{};
    info.tmz_date.tm_year = uInt(now.date().year());
    info.tmz_date.tm_mon = uInt(now.date().month() - 1);
    info.tmz_date.tm_mday = uInt(now.date().day());
    info.tmz_date.tm_hour = uInt(now.time().hour());
    info.tmz_date.tm_min = uInt(now.time().minute());
    info.tmz_date.tm_sec = uInt(now.time().second());
    return info;
}
}  // namespace

TZipFile::TZipFile(const QString& path) : zip_(zipOpen64(path.toLocal8Bit().constData(), APPEND_STATUS_CREATE)) {
    if (!zip_) throw ZipError("创建");
}

TZipFile::~TZipFile() {
    if (!zip_) return;
    if (entryOpen_) zipCloseFileInZip(zip_);
    zipClose(zip_, nullptr);
}

void TZipFile::BeginEntry(const char* name, bool huge) {
    const zip_fileinfo info = Stamp();
    // The fastest level: a sheet of 200,000 rows shrinks almost as well and compresses several
    // times faster than at the default level.
    if (zipOpenNewFileInZip64(zip_, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_SPEED,
                              huge ? 1 : 0) != ZIP_OK)
        throw ZipError("写入");
    entryOpen_ = true;
}

void TZipFile::Write(std::string_view data) {
    // zipWriteInFileInZip takes an unsigned int length.
    constexpr size_t kPiece = 1u << 30;
    while (!data.empty()) {
        const size_t n = std::min(data.size(), kPiece);
        if (zipWriteInFileInZip(zip_, data.data(), unsigned(n)) != ZIP_OK) throw ZipError("写入");
        data.remove_prefix(n);
    }
}

void TZipFile::EndEntry() {
    entryOpen_ = false;
    if (zipCloseFileInZip(zip_) != ZIP_OK) throw ZipError("写入");
}

void TZipFile::Add(const char* name, std::string_view data) {
    BeginEntry(name);
    Write(data);
    EndEntry();
}

void TZipFile::Close() {
    void* zip = zip_;
    zip_ = nullptr;
    if (zipClose(zip, nullptr) != ZIP_OK) throw ZipError("写入");
}
