#pragma once
// Reads printed PDF files back as text, page by page, through poppler's pdftotext.
// A CJK radical read back (a glyph the PDF names by its look-alike) fails the test.

#include <QStringList>

// The text of each page, laid out as printed; empty when the file is missing or unreadable.
QStringList PdfPages(const QString& path);
// The text in the order it was drawn (pdftotext -raw), pages and lines as they come.
QString PdfRawText(const QString& path);
