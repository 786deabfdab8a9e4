#include "support/TestPdf.h"

#include "forms/uCtl.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRawFont>

namespace {
// Qt's PDF writer names each glyph by the lowest code point that shows it, so a character such as
// 页 reads back as its look-alike radical ⻚. Folds the radicals back to the characters printed.
QString FoldRadicals(QString text) {
    static const QHash<QChar, QChar> radicals = [] {
        const QRawFont font = QRawFont::fromFont(QFont(kSongFamily, 12));
        QHash<quint32, QChar> byGlyph;
        for (char16_t uc = 0x4E00; uc <= 0x9FFF; ++uc) {
            const QList<quint32> glyphs = font.glyphIndexesForString(QString(QChar(uc)));
            if (!glyphs.isEmpty() && glyphs[0] != 0 && !byGlyph.contains(glyphs[0])) byGlyph.insert(glyphs[0], QChar(uc));
        }
        QHash<QChar, QChar> map;
        for (char16_t uc = 0x2E80; uc <= 0x2FDF; ++uc) {
            const QList<quint32> glyphs = font.glyphIndexesForString(QString(QChar(uc)));
            if (!glyphs.isEmpty() && byGlyph.contains(glyphs[0])) map.insert(QChar(uc), byGlyph.value(glyphs[0]));
        }
        return map;
    }();
    for (QChar& ch : text) ch = radicals.value(ch, ch);
    return text;
}
}  // namespace

QStringList PdfPages(const QString& path) {
    if (!QFile::exists(path)) return {};
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(-1) || pdftotext.exitCode() != 0) return {};
    QStringList pages = FoldRadicals(QString::fromUtf8(pdftotext.readAllStandardOutput())).split('\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    return pages;
}
