#include "support/TestPdf.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
QString PdfText(const QString& path, const QString& mode) {
    QProcess pdftotext;
    if (!QFile::exists(path)) return {};
    pdftotext.start("pdftotext", {mode, path, "-"});
    if (!pdftotext.waitForFinished(-1) || pdftotext.exitCode() != 0) return {};
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    // Nothing we print is a CJK radical or stroke; one read back is a glyph named by its look-alike,
    // and a search for the printed word would miss it.
    for (const QChar ch : text)
        if (ch.unicode() >= 0x2E80 && ch.unicode() <= 0x31EF)
            ADD_FAILURE() << "look-alike U+" << QString::number(ch.unicode(), 16).toStdString() << " read back from "
                          << path.toStdString();
    return text;
}
}  // namespace

QString PdfRawText(const QString& path) { return PdfText(path, "-raw"); }

QStringList PdfPages(const QString& path) {
    QStringList pages = PdfText(path, "-layout").split('\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    return pages;
}
