#include "forms/uXlsx.h"

#include "forms/uCsv.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <xlsxwriter.h>

namespace {
constexpr int kMaxColumnWidth = 60;  // characters; a longer text is one drag of the column edge away
constexpr int kMaxCellChars = 32767;  // what one Excel cell holds

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
    QString sheet = QString(name).replace(forbidden, QStringLiteral("_")).left(LXW_SHEETNAME_MAX).trimmed();
    return sheet.isEmpty() ? QStringLiteral("Sheet1") : sheet;
}

lxw_datetime ExcelTime(const QDate& d, const QTime& t) {
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), double(t.second())};
}

// How many characters a number takes when shown with the given decimals, worked out without
// writing it: the export of a ten-year ledger has millions of numeric cells.
int NumberWidth(double x, int decimals) {
    const double magnitude = std::fabs(x);
    const int digits = magnitude < 10 ? 1 : int(std::floor(std::log10(magnitude))) + 1;
    return digits + (decimals > 0 ? decimals + 1 : 0) + (x < 0 ? 1 : 0);
}

// A day written as text by the reports ("2025-03-01").
std::optional<QDate> DayText(const QString& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const QDate day = QDate::fromString(text, Qt::ISODate);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}

class TWorkbook {
public:
    TWorkbook(const QString& file, const QString& tmpDir) : tmpDir_(tmpDir.toLocal8Bit()) {
        // Rows go to disk as they come, so a ledger of any length is written in little memory.
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpDir_.data();
        book_ = workbook_new_opt(file.toLocal8Bit().constData(), &options);
    }
    // A workbook abandoned half-way is dropped without writing anything.
    ~TWorkbook() {
        if (book_) lxw_workbook_free(book_);
    }
    TWorkbook(const TWorkbook&) = delete;
    TWorkbook& operator=(const TWorkbook&) = delete;

    lxw_workbook* operator->() const { return book_; }
    lxw_workbook* get() const { return book_; }
    // Assembles the file; the error's text, empty when written.
    QString Close() {
        const lxw_error error = workbook_close(book_);
        book_ = nullptr;
        return error == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(error));
    }

private:
    QByteArray tmpDir_;
    lxw_workbook* book_ = nullptr;
};

class TSheetWriter {
public:
    TSheetWriter(lxw_workbook* book, const QString& name, int columns)
        : sheet_(workbook_add_worksheet(book, SheetName(name).toUtf8().constData())),
          widths_(size_t(columns), 0) {
        bold_ = workbook_add_format(book);
        format_set_bold(bold_);
        fraction_ = workbook_add_format(book);
        format_set_num_format(fraction_, "0.00");
        time_ = workbook_add_format(book);
        format_set_num_format(time_, "yyyy-mm-dd hh:mm");
        day_ = workbook_add_format(book);
        format_set_num_format(day_, "yyyy-mm-dd");
    }

    bool IsOpen() const { return sheet_ != nullptr; }

    void Header(const QStringList& captions) {
        for (int c = 0; c < captions.size(); ++c) {
            worksheet_write_string(sheet_, 0, lxw_col_t(c), captions[c].toUtf8().constData(), bold_);
            Fit(c, TextWidth(captions[c]) + 2);  // bold takes a little more room
        }
        worksheet_freeze_panes(sheet_, 1, 0);
    }

    // False when the sheet is full.
    bool Row(const std::vector<TValue>& values) {
        if (++row_ >= LXW_ROW_MAX) return false;
        for (size_t c = 0; c < values.size() && c < widths_.size(); ++c) Cell(int(c), values[c]);
        return true;
    }

    void SetWidths() {
        for (size_t c = 0; c < widths_.size(); ++c)
            worksheet_set_column(sheet_, lxw_col_t(c), lxw_col_t(c), std::min(widths_[c] + 2, kMaxColumnWidth), nullptr);
    }

private:
    void Cell(int c, const TValue& v) {
        const auto col = lxw_col_t(c);
        switch (v.Kind()) {
        case TValueKind::Null: return;
        case TValueKind::Integer:
        case TValueKind::Boolean: {
            const double x = double(v.AsInt64());
            worksheet_write_number(sheet_, row_, col, x, nullptr);
            Fit(c, NumberWidth(x, 0));
            return;
        }
        case TValueKind::Float:
        case TValueKind::Currency: {
            const double x = v.AsDouble();
            worksheet_write_number(sheet_, row_, col, x, fraction_);
            Fit(c, NumberWidth(x, 2));
            return;
        }
        case TValueKind::DateTime: {
            QDate day;
            QTime time;
            v.AsDateAndTime(&day, &time);
            lxw_datetime t = ExcelTime(day, time);
            worksheet_write_datetime(sheet_, row_, col, &t, time_);
            Fit(c, 16);
            return;
        }
        case TValueKind::Text: break;
        }
        const QString text = v.AsText();
        if (const std::optional<QDate> day = DayText(text)) {
            lxw_datetime t = ExcelTime(*day, QTime(0, 0));
            worksheet_write_datetime(sheet_, row_, col, &t, day_);
        } else {
            worksheet_write_string(sheet_, row_, col, text.left(kMaxCellChars).toUtf8().constData(), nullptr);
        }
        Fit(c, TextWidth(text));
    }

    void Fit(int c, int width) { widths_[size_t(c)] = std::max(widths_[size_t(c)], width); }

    lxw_worksheet* sheet_;
    lxw_format* bold_ = nullptr;
    lxw_format* fraction_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* day_ = nullptr;
    lxw_row_t row_ = 0;
    std::vector<int> widths_;
};
}  // namespace

void WriteXlsxFile(const QString& path, const QString& sheetName, const QStringList& header,
                   const std::function<void(const TXlsxRowSink&)>& produceRows) {
    // The workbook is assembled in a folder of its own and copied over the chosen file only
    // when complete.
    QTemporaryDir work;
    if (!work.isValid()) throw CannotWrite(path, work.errorString());
    const QString built = work.filePath(QStringLiteral("export.xlsx"));
    {
        TWorkbook book(built, work.path());
        if (!book.get()) throw CannotWrite(path, QStringLiteral("无法创建工作簿"));
        TSheetWriter sheet(book.get(), sheetName, int(header.size()));
        if (!sheet.IsOpen()) throw CannotWrite(path, QStringLiteral("无法创建工作表"));
        sheet.Header(header);
        bool full = false;
        produceRows([&](const std::vector<TValue>& row) { full = full || !sheet.Row(row); });
        if (full)
            throw std::runtime_error(
                QStringLiteral("数据超过 Excel 工作表 1048576 行的上限，请缩小查询范围或导出CSV").toStdString());
        sheet.SetWidths();
        if (const QString error = book.Close(); !error.isEmpty()) throw CannotWrite(path, error);
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
