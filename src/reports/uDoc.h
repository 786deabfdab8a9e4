#pragma once
// The document writer behind every printed slip and listing: text line after line from the top
// of the page down, a page header with the title and page number on every page, and a new page
// whenever the next line no longer fits.
//
// Positions are printer dots at 600 dots per inch, measured inside the printable page. The
// pages are laid out in full before anything reaches the printer, so a document that cannot be
// completed never leaves half a job in the printer or half a PDF file on disk.

#include "reports/uPrintTarget.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLine>
#include <QPoint>
#include <QPrinter>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;

enum class TAlign { Left, Right, Center };

class TDoc {
public:
    static constexpr int kDotsPerInch = 600;
    static constexpr int kMargin = 400;      // left, right, top and bottom
    static constexpr int kLineHeight = 240;

    // Asks where to print (the printer dialog, or a PDF file), offering the paper in the given
    // orientation, and starts page 1 with its header. A preview asks nothing yet: the preview
    // window offers the printer choice itself.
    // nullptr when the user cancels: the print action then ends without printing or a message.
    static std::unique_ptr<TDoc> Create(const QString& title,
                                        QPageLayout::Orientation orientation = QPageLayout::Portrait,
                                        TPrintTarget target = TPrintTarget::Printer);

    TDoc(const TDoc&) = delete;
    TDoc& operator=(const TDoc&) = delete;

    // One line of text; gap is extra space below it in steps of 10 dots.
    void TextLine(const QString& text, int pointSize, int gap, TAlign align, bool bold);
    // The left text at the margin, the right one at x on the same line (an empty text prints nothing).
    void LabelValue(const QString& left, const QString& right, int pointSize, int x);
    // One row of cells, text i at xs[i]; texts without a position are not printed.
    void Cells(const QStringList& texts, int pointSize, const std::vector<int>& xs);
    void Skip(int n);  // n steps of 20 dots
    // Starts a new page, with its header, when h more dots do not fit above the bottom margin.
    void NeedSpace(int h);

    // Free-form printing for listings. SetSize changes the size and keeps the style of the last
    // line; TextAt cuts a text that is wider than maxWidth (when given) with "…".
    void SetSize(int pointSize);
    void TextAt(int x, const QString& text, int maxWidth = 0);
    void Rule(int x1, int x2, int y);
    // A picture fitted into the box whose top-left corner is (x, Y()), keeping its proportions.
    void ImageAt(int x, int width, int height, const QImage& image);
    void MoveDown(int dots) { y_ += dots; }
    int Y() const { return y_; }
    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    int PageCount() const { return int(pages_.size()); }
    int TextWidth(const QString& text, int pointSize) const;  // in the normal style
    // How wide a text prints at 600 dots per inch, for layouts worked out before a printer is chosen.
    static int MeasureText(const QString& text, int pointSize, bool bold);

    // Sends the pages to the chosen printer or PDF file, or shows them in the preview. A printer
    // that refuses the job is reported to the user ("打印失败：") and false is returned; nothing is
    // reported as printed.
    bool Finish();

private:
    struct TPlacedText {
        QPoint topLeft;
        QString text;
        int pointSize;
        bool bold;
    };
    struct TPage {
        std::vector<TPlacedText> texts;
        std::vector<QLine> rules;
        std::vector<std::pair<QRect, QImage>> images;
    };

    explicit TDoc(const QString& title);
    void StartPage();
    void PageHeader();
    void SetFont(int pointSize, bool bold);
    const QFontMetrics& Metrics() const;
    int CharHeight() const;  // the printed height of "国", a full-width character
    static QFont PrintFont(int pointSize, bool bold);

    void WritePdf(const QString& path);
    void SendToPrinter();
    void PaintPreview(QPrinter& printer);
    QString PrinterTrouble(const QString& what) const;  // the message, naming the printer
    bool PaintPages(QPagedPaintDevice& device, QPainter& painter);  // false when a page could not be started

    QString title_;
    TPrintTarget target_ = TPrintTarget::Printer;
    QPrinter printer_;
    int pageWidth_ = 0;
    int pageHeight_ = 0;
    int y_ = 0;
    int pointSize_ = 9;
    bool bold_ = false;
    bool finished_ = false;
    std::vector<TPage> pages_;
    mutable std::map<std::pair<int, bool>, QFontMetrics> metrics_;
};
