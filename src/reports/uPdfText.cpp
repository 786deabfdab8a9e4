#include "reports/uPdfText.h"

#include "forms/uCtl.h"

#include <QFile>
#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
// Radicals, strokes and other code points below the unified ideographs whose glyph in the
// printing fonts is that of an ideograph, with that ideograph.
const QHash<ushort, ushort>& IdeographOfLookAlike() {
    static const QHash<ushort, ushort> map = [] {
        QString ideographs;
        for (char16_t uc = 0x4E00; uc <= 0x9FFF; ++uc) ideographs += QChar(uc);
        QString lookAlikes;
        for (char16_t uc = 0x2E80; uc < 0x4E00; ++uc) lookAlikes += QChar(uc);
        QHash<ushort, ushort> result;
        for (const bool bold : {false, true}) {
            QFont font(kSongFamily, 12);
            font.setBold(bold);
            const QRawFont raw = QRawFont::fromFont(font);
            const QList<quint32> ideographGlyphs = raw.glyphIndexesForString(ideographs);
            const QList<quint32> lookAlikeGlyphs = raw.glyphIndexesForString(lookAlikes);
            if (ideographGlyphs.size() != ideographs.size() || lookAlikeGlyphs.size() != lookAlikes.size()) continue;
            QHash<quint32, ushort> byGlyph;
            for (qsizetype i = 0; i < ideographGlyphs.size(); ++i)
                if (ideographGlyphs[i] != 0 && !byGlyph.contains(ideographGlyphs[i]))
                    byGlyph.insert(ideographGlyphs[i], ideographs[i].unicode());
            for (qsizetype i = 0; i < lookAlikeGlyphs.size(); ++i) {
                const auto it = byGlyph.constFind(lookAlikeGlyphs[i]);
                if (lookAlikeGlyphs[i] != 0 && it != byGlyph.cend() && !result.contains(lookAlikes[i].unicode()))
                    result.insert(lookAlikes[i].unicode(), *it);
            }
        }
        return result;
    }();
    return map;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Replaces, inside one bfrange section, every four-digit destination code point that is a
// look-alike. A range written as "<first> <last> <start>" counts up from its start, so a look-alike
// there stands for a run of code points and is left as it is.
void MendRanges(char* at, char* end) {
    const QHash<ushort, ushort>& map = IdeographOfLookAlike();
    static const char kHex[] = "0123456789ABCDEF";
    char* line = at;
    while (line < end) {
        char* lineEnd = std::find(line, end, '\n');
        char* bracket = std::find(line, lineEnd, '[');
        for (char* p = bracket; p + 5 < lineEnd; ++p) {
            if (p[0] != '<' || p[5] != '>') continue;
            int code = 0;
            bool hex = true;
            for (int i = 1; i <= 4 && hex; ++i) {
                const int d = HexDigit(p[i]);
                hex = d >= 0;
                code = code * 16 + d;
            }
            const auto it = hex ? map.constFind(ushort(code)) : map.cend();
            if (it == map.cend()) continue;
            for (int i = 0; i < 4; ++i) p[4 - i] = kHex[(*it >> (4 * i)) & 0xF];
            p += 5;
        }
        line = lineEnd + 1;
    }
}

// The character maps of fonts we print with: "/ToUnicode N 0 R" of a font whose name is one of
// the CJK families. Any other font keeps its map, since its radicals may be real radicals.
QList<QByteArray> CjkToUnicodeObjects(const QByteArray& pdf) {
    static const QRegularExpression fontDict(QStringLiteral(
        R"(/BaseFont\s*/([^\s/>\[]+)[^>]*?/ToUnicode\s+(\d+)\s+0\s+R)"));
    QList<QByteArray> objects;
    const QString text = QString::fromLatin1(pdf);
    for (auto it = fontDict.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1).contains(QStringLiteral("CJK"), Qt::CaseInsensitive))
            objects << m.captured(2).toLatin1() + " 0 obj";
    }
    return objects;
}
}  // namespace

QByteArray MendPdfText(const QByteArray& pdf) {
    QByteArray mended = pdf;
    for (const QByteArray& object : CjkToUnicodeObjects(pdf)) {
        qsizetype at = -1;
        for (qsizetype from = 0; (at = mended.indexOf(object, from)) > 0 && mended[at - 1] != '\n';) from = at + 1;
        if (at < 0) continue;
        const qsizetype streamEnd = mended.indexOf("endstream", at);
        if (streamEnd < 0) continue;
        for (qsizetype from = at;;) {
            const qsizetype begin = mended.indexOf("beginbfrange", from);
            if (begin < 0 || begin > streamEnd) break;
            const qsizetype end = mended.indexOf("endbfrange", begin);
            if (end < 0 || end > streamEnd) break;
            MendRanges(mended.data() + begin, mended.data() + end);
            from = end;
        }
    }
    return mended;
}

bool MendPdfFile(const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return false;
    const QByteArray pdf = in.readAll();
    in.close();
    const QByteArray mended = MendPdfText(pdf);
    if (mended == pdf) return true;
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(mended) == mended.size() && out.commit();
}
