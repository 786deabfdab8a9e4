#include "reports/uDoc.h"

#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "reports/uPdfText.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <stdexcept>

namespace {
// Why the printer or the PDF file did not take the job, as the user is told.
class TPrintError : public std::runtime_error {
public:
    explicit TPrintError(const QString& reason) : std::runtime_error(reason.toStdString()), reason_(reason) {}
    const QString& Reason() const { return reason_; }

private:
    QString reason_;
};
}  // namespace

TDoc::TDoc(const QString& title) : title_(title), printer_(QPrinter::HighResolution) {}

std::unique_ptr<TDoc> TDoc::Create(const QString& title, QPageLayout::Orientation orientation,
                                   TPrintTarget target) {
    std::unique_ptr<TDoc> doc(new TDoc(title));
    doc->target_ = target;
    doc->printer_.setPageOrientation(orientation);
    if (target == TPrintTarget::Printer && !ChoosePrinter(doc->printer_, title)) return nullptr;
    doc->printer_.setResolution(kDotsPerInch);
    doc->printer_.setDocName(title);
    const QRect page = doc->printer_.pageLayout().paintRectPixels(kDotsPerInch);
    doc->pageWidth_ = page.width();
    doc->pageHeight_ = page.height();
    doc->StartPage();
    return doc;
}

void TDoc::StartPage() {
    pages_.emplace_back();
    PageHeader();
}

void TDoc::PageHeader() {
    y_ = kMargin;
    SetSize(9);
    TextAt(kMargin, title_);
    SetSize(8);
    TextAt(pageWidth_ - kMargin - 1200, QStringLiteral("第 %1 页").arg(PageCount()));
    Rule(kMargin, pageWidth_ - kMargin, y_ + kLineHeight + 40);
    y_ += kLineHeight + 200;
}

void TDoc::NeedSpace(int h) {
    if (y_ + h > pageHeight_ - kMargin) StartPage();
}

void TDoc::TextLine(const QString& text, int pointSize, int gap, TAlign align, bool bold) {
    NeedSpace(kLineHeight + 100);
    SetFont(pointSize, bold);
    const int width = Metrics().horizontalAdvance(text);
    int x = kMargin;
    if (align == TAlign::Right) x = pageWidth_ - kMargin - width;
    if (align == TAlign::Center) x = (pageWidth_ - width) / 2;
    TextAt(x, text);
    y_ += gap * 10 + CharHeight();
}

void TDoc::LabelValue(const QString& left, const QString& right, int pointSize, int x) {
    NeedSpace(kLineHeight + 80);
    SetFont(pointSize, false);
    TextAt(kMargin, left);
    TextAt(x, right);
    y_ += CharHeight() + 70;
}

void TDoc::Cells(const QStringList& texts, int pointSize, const std::vector<int>& xs) {
    NeedSpace(kLineHeight + 60);
    SetFont(pointSize, false);
    const int n = std::min(int(texts.size()), int(xs.size()));
    for (int i = 0; i < n; ++i) TextAt(xs[size_t(i)], texts[i]);
    y_ += CharHeight() + 60;
}

void TDoc::Skip(int n) { y_ += 20 * n; }

void TDoc::SetSize(int pointSize) { pointSize_ = pointSize; }

void TDoc::SetFont(int pointSize, bool bold) {
    pointSize_ = pointSize;
    bold_ = bold;
}

void TDoc::TextAt(int x, const QString& text, int maxWidth) {
    if (text.isEmpty()) return;
    const QString shown = maxWidth > 0 ? Metrics().elidedText(text, Qt::ElideRight, maxWidth) : text;
    pages_.back().texts.push_back({QPoint(x, y_), shown, pointSize_, bold_});
}

void TDoc::Rule(int x1, int x2, int y) { pages_.back().rules.emplace_back(x1, y, x2, y); }

void TDoc::ImageAt(int x, int width, int height, const QImage& image) {
    if (image.isNull()) return;
    const QSize fitted = image.size().scaled(width, height, Qt::KeepAspectRatio);
    pages_.back().images.emplace_back(QRect(QPoint(x, y_), fitted), image);
}

QFont TDoc::PrintFont(int pointSize, bool bold) {
    QFont font(kSongFamily, pointSize);
    font.setBold(bold);
    // Shaping would give digits after a letter ("PC2025…") glyphs that a PDF reader cannot turn
    // back into text; Chinese and Latin print the same without it.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

int TDoc::TextWidth(const QString& text, int pointSize) const {
    return QFontMetrics(PrintFont(pointSize, false), &printer_).horizontalAdvance(text);
}

int TDoc::MeasureText(const QString& text, int pointSize, bool bold) {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_Mono);
        const int dotsPerMeter = qRound(kDotsPerInch / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return QFontMetrics(PrintFont(pointSize, bold), &device).horizontalAdvance(text);
}

const QFontMetrics& TDoc::Metrics() const {
    const std::pair<int, bool> key(pointSize_, bold_);
    auto it = metrics_.find(key);
    if (it == metrics_.end())
        it = metrics_.emplace(key, QFontMetrics(PrintFont(pointSize_, bold_), &printer_)).first;
    return it->second;
}

int TDoc::CharHeight() const { return Metrics().boundingRect(QStringLiteral("国")).height(); }

bool TDoc::Finish() {
    if (finished_) return true;
    finished_ = true;
    if (target_ == TPrintTarget::Preview) {
        PreviewPages(printer_, title_, [this](QPrinter& printer) { PaintPreview(printer); });
        return true;
    }
    try {
        if (printer_.outputFormat() == QPrinter::PdfFormat && !printer_.outputFileName().isEmpty())
            WritePdf(printer_.outputFileName());
        else
            SendToPrinter();
        return true;
    } catch (const TPrintError& e) {
        ShowWarn(QStringLiteral("打印失败：") + e.Reason());
        return false;
    }
}

void TDoc::WritePdf(const QString& path) {
    // The file replaces an older one only once it is complete.
    QSaveFile file(path);
    const auto cannotWrite = [&] {
        return TPrintError(QStringLiteral("无法写入文件：") + QDir::toNativeSeparators(path) + "（" +
                           file.errorString() + "）");
    };
    if (!file.open(QIODevice::WriteOnly)) throw cannotWrite();
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kDotsPerInch);
        writer.setPageLayout(printer_.pageLayout());
        writer.setTitle(title_);
        writer.setCreator(QStringLiteral("Movelkar"));
        QPainter painter;
        if (!painter.begin(&writer) || !PaintPages(writer, painter) || !painter.end()) throw cannotWrite();
    }
    pdf = MendPdfText(pdf);
    if (file.write(pdf) != pdf.size() || !file.commit()) throw cannotWrite();
}

QString TDoc::PrinterTrouble(const QString& what) const {
    const QString name = printer_.printerName();
    return name.isEmpty() ? what : what + "（" + name + "）";
}

void TDoc::SendToPrinter() {
    QPainter painter;
    if (!painter.begin(&printer_))
        throw TPrintError(PrinterTrouble(QStringLiteral("打印机无法开始打印")));
    if (!PaintPages(printer_, painter)) {
        printer_.abort();
        throw TPrintError(PrinterTrouble(QStringLiteral("打印机未能换页")));
    }
    if (!painter.end() || printer_.printerState() == QPrinter::Error)
        throw TPrintError(PrinterTrouble(QStringLiteral("打印机未能完成打印")));
}

// The preview draws the pages again whenever it needs them, and once more on the printer chosen
// from it; the pages keep the layout worked out at 600 dots per inch.
void TDoc::PaintPreview(QPrinter& printer) {
    printer.setResolution(kDotsPerInch);
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowWarn(QStringLiteral("打印失败：") + PrinterTrouble(QStringLiteral("打印机无法开始打印")));
        return;
    }
    if (!PaintPages(printer, painter)) {
        printer.abort();
        return;
    }
    // Printed from the preview into a PDF file, which Qt has written itself.
    if (painter.end() && printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
        !MendPdfFile(printer.outputFileName()))
        ShowWarn(QStringLiteral("打印失败：") + QStringLiteral("无法写入文件：") +
                 QDir::toNativeSeparators(printer.outputFileName()));
}

bool TDoc::PaintPages(QPagedPaintDevice& device, QPainter& painter) {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (i > 0 && !device.newPage()) return false;
        painter.setPen(QPen(Qt::black, 4));
        for (const QLine& rule : pages_[i].rules) painter.drawLine(rule);
        for (const auto& [box, image] : pages_[i].images) painter.drawImage(box, image);
        std::pair<int, bool> font(0, false);
        int ascent = 0;
        for (const TPlacedText& t : pages_[i].texts) {
            if (font != std::pair(t.pointSize, t.bold)) {
                font = {t.pointSize, t.bold};
                painter.setFont(PrintFont(t.pointSize, t.bold));
                ascent = painter.fontMetrics().ascent();
            }
            painter.drawText(t.topLeft + QPoint(0, ascent), t.text);
        }
    }
    return true;
}
