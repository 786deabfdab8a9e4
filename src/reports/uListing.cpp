#include "reports/uPrint.h"

#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "reports/uDoc.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kCellBytes = 40;

// GB18030 is GBK with four-byte forms for the characters GBK lacks; a character's length shows
// in its first two bytes.
int CharBytes(const QByteArray& gbk, int at) {
    if (uchar(gbk[at]) < 0x80) return 1;
    const bool fourBytes = at + 1 < gbk.size() && gbk[at + 1] >= '0' && gbk[at + 1] <= '9';
    return fourBytes ? 4 : 2;
}

QByteArray Gbk(const QString& text) {
    static QStringEncoder encode("GB18030", QStringConverter::Flag::Stateless);
    return encode(text);
}

constexpr int kHeadingPoints = 10;
constexpr int kHeadingLineDots = 170;

// A heading in pieces that stay together: a run of Latin letters and digits, or one character.
QStringList HeadingTokens(const QString& text) {
    QStringList tokens;
    for (const QChar ch : text) {
        const bool latin = ch.unicode() < 0x80 && ch.isLetterOrNumber();
        if (latin && !tokens.isEmpty() && tokens.back().back().unicode() < 0x80 && tokens.back().back().isLetterOrNumber())
            tokens.back() += ch;
        else
            tokens << QString(ch);
    }
    return tokens;
}

int HeadingWidth(const QString& text) { return TDoc::MeasureText(text, kHeadingPoints, true); }

// The heading in as many lines as it needs to fit the width; a piece wider than that stands alone.
QStringList WrapHeading(const QString& text, int width) {
    QStringList lines;
    QString line;
    for (const QString& token : HeadingTokens(text)) {
        if (!line.isEmpty() && HeadingWidth(line + token) > width) {
            lines << line;
            line.clear();
        }
        line += token;
    }
    if (!line.isEmpty()) lines << line;
    return lines;
}

// The width of the heading's wider line when it is broken in two where that is narrowest.
int TwoLineWidth(const QString& text) {
    const QStringList tokens = HeadingTokens(text);
    int best = HeadingWidth(text);
    for (qsizetype k = 1; k < tokens.size(); ++k)
        best = std::min(best, std::max(HeadingWidth(tokens.mid(0, k).join(QString())),
                                       HeadingWidth(tokens.mid(k).join(QString()))));
    return best;
}

// The listing's columns, each as wide as its widest cell or its heading plus the width of two
// characters between columns. A listing too wide for that breaks its headings in two lines, and
// one still too wide narrows its widest columns, whose headings then take more lines; a heading is
// never cut.
struct TListingColumns {
    static constexpr int kCharDots = 38;  // a half-width character of the 9-point rows

    std::vector<int> cells;     // widest cell
    std::vector<int> headings;  // heading on one line
    std::vector<int> twoLines;  // heading on two lines

    explicit TListingColumns(int columns)
        : cells(size_t(columns), 0), headings(size_t(columns), 0), twoLines(size_t(columns), 0) {}

    void FitHeading(int col, const QString& text) {
        headings[size_t(col)] = HeadingWidth(text);
        twoLines[size_t(col)] = TwoLineWidth(text);
    }
    void FitCell(int col, const QString& text) {
        cells[size_t(col)] = std::max(cells[size_t(col)], TDoc::MeasureText(text, 9, true));
    }

    // Listings wider than an upright A4 page (4160 dots inside the margins) are offered on paper
    // turned sideways.
    QPageLayout::Orientation Orientation() const {
        return Total(Wanted(headings)) > 4160 ? QPageLayout::Landscape : QPageLayout::Portrait;
    }

    // Column starts from the left margin. Columns that fit share out the spare width in proportion;
    // columns that do not fit keep the short ones whole and narrow the widest ones to a common width.
    std::vector<int> Starts(int pageWidth) const {
        const double available = pageWidth - 2 * TDoc::kMargin;
        std::vector<double> widths = Wanted(headings);
        if (Total(widths) > available) widths = Wanted(twoLines);
        const double total = Total(widths);
        if (total <= available) {
            for (double& w : widths) w = w / total * available;
        } else {
            const double cap = CommonCap(widths, available);
            for (double& w : widths) w = std::min(w, cap);
        }
        std::vector<int> xs{TDoc::kMargin};
        for (size_t i = 0; i + 1 < widths.size(); ++i) xs.push_back(xs.back() + int(std::nearbyint(widths[i])));
        return xs;
    }

private:
    std::vector<double> Wanted(const std::vector<int>& heading) const {
        std::vector<double> widths;
        for (size_t i = 0; i < cells.size(); ++i) widths.push_back(std::max(cells[i], heading[i]) + 2.0 * kCharDots);
        return widths;
    }

    static double Total(const std::vector<double>& widths) {
        double total = 0;
        for (double w : widths) total += w;
        return total;
    }

    // The width W at which the columns, each narrowed to at most W, fill the available width.
    static double CommonCap(std::vector<double> widths, double available) {
        std::sort(widths.begin(), widths.end());
        double remaining = available;
        for (size_t i = 0; i < widths.size(); ++i) {
            const double share = remaining / double(widths.size() - i);
            if (widths[i] > share) return share;
            remaining -= widths[i];
        }
        return widths.empty() ? available : widths.back();
    }
};
}  // namespace

QString CellText(const QString& text) {
    QString cell = text;
    cell.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    cell.replace('\r', ' ').replace('\n', ' ');
    const QByteArray gbk = Gbk(cell);
    if (gbk.size() <= kCellBytes) return cell;
    int cut = 0;
    for (int at = 0; at < gbk.size();) {
        at += CharBytes(gbk, at);
        if (at > kCellBytes) break;
        cut = at;
    }
    static QStringDecoder decode("GB18030", QStringConverter::Flag::Stateless);
    return decode(gbk.left(cut));
}

bool PrintListing(const TQueryModel& model, const QString& title, TPrintTarget target) {
    const int columns = model.columnCount();
    TListingColumns layout(columns);
    QStringList headings;
    for (int c = 0; c < columns; ++c) {
        headings << CellText(model.Caption(c));
        layout.FitHeading(c, headings.back());
    }
    std::vector<QStringList> rows;
    if (model.IsOpen()) {
        model.ForEachRow([&](const std::vector<TValue>& row) {
            QStringList cells;
            for (int c = 0; c < columns; ++c) {
                cells << CellText(TQueryModel::DisplayText(row[size_t(c)]));
                layout.FitCell(c, cells.back());
            }
            rows.push_back(std::move(cells));
        });
    }
    if (rows.empty()) {
        ShowWarn(QStringLiteral("没有可打印的数据"));
        return false;
    }

    const std::unique_ptr<TDoc> doc = TDoc::Create(title, layout.Orientation(), target);
    if (!doc) return false;
    doc->TextLine(title + QStringLiteral("（打印时间：") + QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm") +
                      QStringLiteral("）"),
                  12, 10, TAlign::Center, true);
    const std::vector<int> xs = layout.Starts(doc->PageWidth());
    const auto cellWidth = [&](int c) {
        const int end = c + 1 < columns ? xs[size_t(c) + 1] : doc->PageWidth() - TDoc::kMargin;
        return end - xs[size_t(c)] - 30;
    };
    // Headings keep the title's bold type, and so do the rows below them. Each heading's lines are
    // printed one after the other, so a reader that takes the text in print order gets it whole.
    doc->SetSize(kHeadingPoints);
    int headingLines = 1;
    const int top = doc->Y();
    for (int c = 0; c < columns; ++c) {
        const QStringList lines = WrapHeading(headings[c], cellWidth(c));
        headingLines = std::max(headingLines, int(lines.size()));
        for (int i = 0; i < lines.size(); ++i) {
            doc->MoveDown(top + i * kHeadingLineDots - doc->Y());
            doc->TextAt(xs[size_t(c)], lines[i]);
        }
    }
    doc->MoveDown(top + (headingLines - 1) * kHeadingLineDots + 260 - doc->Y());
    doc->Rule(TDoc::kMargin, doc->PageWidth() - TDoc::kMargin, doc->Y() - 60);
    for (const QStringList& cells : rows) {
        doc->NeedSpace(300);
        doc->SetSize(9);
        for (int c = 0; c < columns; ++c) doc->TextAt(xs[size_t(c)], cells[c], cellWidth(c));
        doc->MoveDown(220);
    }
    doc->Skip(10);
    doc->TextLine(QStringLiteral("共 %1 行").arg(rows.size()), 9, 6, TAlign::Left, false);
    return doc->Finish();
}
