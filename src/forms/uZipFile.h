#pragma once
// A zip archive written entry by entry, as the Office formats are packed.

#include <QByteArray>
#include <QString>
#include <string_view>

// Raises std::runtime_error (the reason in the user's words) when the archive cannot be written.
// An archive not closed is left incomplete: build it in a scratch place and move it into view
// only after Close().
class TZipFile {
public:
    explicit TZipFile(const QString& path);
    ~TZipFile();
    TZipFile(const TZipFile&) = delete;
    TZipFile& operator=(const TZipFile&) = delete;

    // Starts an entry; `huge` allows it past 4 GB (zip64). Only one entry is open at a time.
    void BeginEntry(const char* name, bool huge = false);
    void Write(std::string_view data);
    void EndEntry();
    // A whole small entry.
    void Add(const char* name, std::string_view data);
    void Close();

private:
    void* zip_ = nullptr;
    bool entryOpen_ = false;
};
