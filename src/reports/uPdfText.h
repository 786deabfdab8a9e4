#pragma once
// The text layer of the PDF files we write.
//
// Qt's PDF writer tells a reader which character each glyph stands for by the lowest code point
// the font shows with that glyph. The CJK fonts draw a radical such as ⻝ (U+2EDD) or ⼾ (U+2F3E)
// with the very glyph of 食 or 户, so a reader got the radicals back: an archived slip could not be
// searched for 粮食 or 车牌号. MendPdfText names such glyphs by the ideograph instead.

#include <QByteArray>
#include <QString>

// The PDF with the character maps of its CJK fonts mended; the rest is left byte for byte (each
// code point keeps its four hex digits, so no offset moves).
QByteArray MendPdfText(const QByteArray& pdf);
// Mends a PDF file in place, replacing it only once the mended file is complete; false when it
// could not be read or written.
bool MendPdfFile(const QString& path);
