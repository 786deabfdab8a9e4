#include "forms/uXlsx.h"

#include "forms/uCsv.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "forms/uXlsxParts.h"
#include "forms/uZipFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace {
constexpr int kMaxColumnWidth = 60;  // characters; a longer text is one drag of the column edge away
constexpr int kMaxCellChars = 32767;  // what one Excel cell holds
constexpr int kMaxRows = 1048576;     // what one Excel sheet holds, the header included
constexpr int kMaxSheetName = 31;
constexpr qint64 kExcelEpoch = 2415019;  // Julian day of 1899-12-30, Excel's day 0

std::runtime_error CannotWrite(const QString& path, const QString& why) {
    return std::runtime_error(
        (QStringLiteral("无法写入文件：") + QDir::toNativeSeparators(path) + "（" + why + "）").toStdString());
}

// How many character widths a text takes in a spreadsheet column: a Chinese character two.
int TextWidth(const QString& text) {
    int width = 0;
    for (const QChar ch : text) width += ch.unicode() >= 0x2E80 ? 2 : 1;
    return width;
}

QString SheetName(const QString& name) {
    static const QRegularExpression forbidden(QStringLiteral(R"([\[\]:*?/\\])"));
    static const QRegularExpression outerQuotes(QStringLiteral("^'+|'+$"));  // Excel refuses them there
    QString sheet = QString(name).replace(forbidden, QStringLiteral("_")).left(kMaxSheetName).trimmed();
    sheet.remove(outerQuotes);
    return sheet.isEmpty() ? QStringLiteral("Sheet1") : sheet;
}

// Excel's day number, which counts the 29th of February 1900 that never was; none before 1900.
std::optional<qint64> ExcelDay(const QDate& day) {
    const qint64 n = day.toJulianDay() - kExcelEpoch;
    if (n < 2) return std::nullopt;
    return n < 61 ? n - 1 : n;
}

// A day written as text by the reports ("2025-03-01").
std::optional<QDate> DayText(const QString& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const QDate day = QDate::fromString(text, Qt::ISODate);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}

// Digits before the decimal point, without a logarithm per cell.
int IntegerDigits(double magnitude) {
    int digits = 1;
    for (double limit = 10; magnitude >= limit && digits < kMaxColumnWidth; limit *= 10) ++digits;
    return digits;
}

// The rows' XML, kept in a file of the work folder until the column widths are known: those
// come first in the sheet. A write failure is kept and reported once the rows are through.
class TSheetData {
public:
    explicit TSheetData(const QString& path) : file_(path) {
        if (!file_.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) error_ = file_.errorString();
        buffer_.reserve(kFlushAt + (1 << 16));
    }

    std::string& Buffer() { return buffer_; }
    void FlushIfFull() {
        if (buffer_.size() >= kFlushAt) Flush();
    }
    // Empty when everything written so far is on disk.
    QString Error() {
        Flush();
        return error_;
    }

    qint64 Size() const { return file_.size(); }

    void CopyInto(TZipFile& zip) {
        if (!file_.seek(0)) throw std::runtime_error(file_.errorString().toStdString());
        std::vector<char> chunk(kFlushAt);
        for (qint64 n; (n = file_.read(chunk.data(), qint64(chunk.size()))) != 0;) {
            if (n < 0) throw std::runtime_error(file_.errorString().toStdString());
            zip.Write({chunk.data(), size_t(n)});
        }
    }

private:
    static constexpr size_t kFlushAt = 1 << 20;

    void Flush() {
        if (error_.isEmpty() && file_.write(buffer_.data(), qint64(buffer_.size())) != qint64(buffer_.size()))
            error_ = file_.errorString();
        buffer_.clear();
    }

    QFile file_;
    QString error_;
    std::string buffer_;
};

class TSheetWriter {
public:
    TSheetWriter(const QString& dataPath, int columns) : data_(dataPath), widths_(size_t(columns), 0) {
        for (int c = 0; c < columns; ++c) letters_.push_back(ColumnLetters(c));
    }

    void Header(const QStringList& captions) {
        BeginRow();
        for (int c = 0; c < captions.size(); ++c) {
            Text(c, captions[c], TXlsxStyle::Bold);
            Fit(c, TextWidth(captions[c]) + 2);  // bold takes a little more room
        }
        EndRow();
    }

    // False when the sheet is full.
    bool Row(const std::vector<TValue>& values) {
        if (rows_ >= kMaxRows) return false;
        BeginRow();
        for (size_t c = 0; c < values.size() && c < widths_.size(); ++c) Cell(int(c), values[c]);
        EndRow();
        return true;
    }

    int Rows() const { return rows_; }
    const std::vector<int>& Widths() const { return widths_; }
    TSheetData& Data() { return data_; }

private:
    void BeginRow() {
        ++rows_;
        rowText_.assign(Number(rows_));
        ((Out() += "<row r=\"") += rowText_) += "\">";
    }
    void EndRow() {
        Out() += "</row>";
        data_.FlushIfFull();
    }

    void Cell(int c, const TValue& v) {
        switch (v.Kind()) {
        case TValueKind::Null: return;
        case TValueKind::Integer:
        case TValueKind::Boolean: {
            const std::string_view digits = Number(v.AsInt64());
            NumberCell(c, digits, TXlsxStyle::Plain);
            Fit(c, int(digits.size()));
            return;
        }
        case TValueKind::Float:
        case TValueKind::Currency: {
            const double x = v.AsDouble();
            if (!std::isfinite(x)) return;  // a spreadsheet has no such number
            NumberCell(c, Number(x), TXlsxStyle::Fraction);
            Fit(c, IntegerDigits(std::fabs(x)) + 3 + (x < 0 ? 1 : 0));
            return;
        }
        case TValueKind::DateTime: {
            QDate day;
            QTime time;
            v.AsDateAndTime(&day, &time);
            if (const std::optional<qint64> n = ExcelDay(day)) {
                const int seconds = time.hour() * 3600 + time.minute() * 60 + time.second();
                NumberCell(c, Number(double(*n) + seconds / 86400.0), TXlsxStyle::DateTime);
                Fit(c, 16);
                return;
            }
            break;
        }
        case TValueKind::Text: break;
        }
        const QString text = v.AsText();
        if (text.isEmpty()) return;
        if (const std::optional<QDate> day = DayText(text)) {
            if (const std::optional<qint64> n = ExcelDay(*day)) {
                NumberCell(c, Number(*n), TXlsxStyle::Day);
                Fit(c, 10);
                return;
            }
        }
        Text(c, text, TXlsxStyle::Plain);
        Fit(c, TextWidth(text));
    }

    void NumberCell(int c, std::string_view number, TXlsxStyle style) {
        BeginCell(c, style);
        ((Out() += "><v>") += number) += "</v></c>";
    }

    void Text(int c, const QString& text, TXlsxStyle style) {
        const QByteArray utf8 = text.left(kMaxCellChars).toUtf8();
        const std::string_view view(utf8.constData(), size_t(utf8.size()));
        BeginCell(c, style);
        Out() += HasOuterBlanks(view) ? R"( t="inlineStr"><is><t xml:space="preserve">)" : R"( t="inlineStr"><is><t>)";
        AppendXmlText(Out(), view);
        Out() += "</t></is></c>";
    }

    void BeginCell(int c, TXlsxStyle style) {
        (((Out() += "<c r=\"") += letters_[size_t(c)]) += rowText_) += '"';
        if (style != TXlsxStyle::Plain) ((Out() += " s=\"") += char('0' + int(style))) += '"';
    }

    template <typename T>
    std::string_view Number(T x) {
        const auto end = std::to_chars(number_, number_ + sizeof number_, x).ptr;
        return {number_, size_t(end - number_)};
    }

    std::string& Out() { return data_.Buffer(); }
    void Fit(int c, int width) { widths_[size_t(c)] = std::max(widths_[size_t(c)], width); }

    TSheetData data_;
    std::vector<int> widths_;
    std::vector<std::string> letters_;  // each column's letters, worked out once
    int rows_ = 0;
    std::string rowText_;
    char number_[32];
};

// Shown widths: two characters of margin, and none wider than a screen's useful part.
std::vector<int> ShownWidths(const std::vector<int>& widths) {
    std::vector<int> shown;
    for (int w : widths) shown.push_back(std::min(w + 2, kMaxColumnWidth));
    return shown;
}

void Assemble(const QString& built, const QString& sheetName, TSheetWriter& sheet) {
    TZipFile zip(built);
    AddWorkbookParts(zip, SheetName(sheetName).toStdString());
    const std::string head = SheetHead(ShownWidths(sheet.Widths()), sheet.Rows());
    // Zip64 only when the sheet needs it: the plain container is the one every reader knows.
    const qint64 size = qint64(head.size()) + sheet.Data().Size() + qint64(SheetTail().size());
    zip.BeginEntry(kSheetEntry, size >= 0xFFFFFFFFLL);
    zip.Write(head);
    sheet.Data().CopyInto(zip);
    zip.Write(SheetTail());
    zip.EndEntry();
    zip.Close();
}
}  // namespace

void WriteXlsxFile(const QString& path, const QString& sheetName, const QStringList& header,
                   const std::function<void(const TXlsxRowSink&)>& produceRows) {
    // The workbook is assembled in a folder of its own and copied over the chosen file only
    // when complete.
    QTemporaryDir work;
    if (!work.isValid()) throw CannotWrite(path, work.errorString());
    TSheetWriter sheet(work.filePath(QStringLiteral("sheetData.xml")), int(header.size()));
    sheet.Header(header);
    bool full = false;
    produceRows([&](const std::vector<TValue>& row) { full = full || !sheet.Row(row); });
    if (full)
        throw std::runtime_error(
            QStringLiteral("数据超过 Excel 工作表 1048576 行的上限，请缩小查询范围或导出CSV").toStdString());
    if (const QString error = sheet.Data().Error(); !error.isEmpty()) throw CannotWrite(path, error);

    const QString built = work.filePath(QStringLiteral("export.xlsx"));
    try {
        Assemble(built, sheetName, sheet);
    } catch (const std::runtime_error& e) {
        throw CannotWrite(path, QString::fromStdString(e.what()));
    }
    QFile source(built);
    if (!source.open(QIODevice::ReadOnly)) throw CannotWrite(path, source.errorString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw CannotWrite(path, file.errorString());
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(1 << 20);
        if (file.write(chunk) != chunk.size()) throw CannotWrite(path, file.errorString());
    }
    if (!file.commit()) throw CannotWrite(path, file.errorString());
}

void ExportXlsx(const TQueryModel& model, const QString& prefix) {
    const QString path = AskExportPath(prefix, QStringLiteral(".xlsx"), QStringLiteral("Excel文件 (*.xlsx)"));
    if (path.isEmpty()) return;
    WriteXlsxFile(path, prefix, model.Captions(), [&](const TXlsxRowSink& sink) { model.ForEachRow(sink); });
    ShowInfo(QStringLiteral("已导出：") + QDir::toNativeSeparators(path));
}
