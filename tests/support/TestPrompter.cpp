#include "support/TestPrompter.h"

#include <QPageSize>
#include <QPrinter>

namespace {
// The next scripted answer, or the given one once the script has run out.
template <class T>
T Next(std::deque<T>& script, T whenNone = {}) {
    if (script.empty()) return whenNone;
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
}
}  // namespace

TTestPrompter::TTestPrompter() { SetPrompter(this); }

TTestPrompter::~TTestPrompter() { SetPrompter(nullptr); }

void TTestPrompter::Message(TMsgKind kind, const QString& caption, const QString& text) {
    Shown.push_back({kind, caption, text});
}

bool TTestPrompter::AskYesNo(const QString& text, TDefaultAnswer byDefault) {
    Questions << text;
    QuestionDefaults.push_back(byDefault);
    return Next(yesNo_, false);
}

QString TTestPrompter::SaveFileName(const QString& proposedName, const QString&) {
    ProposedFileNames << proposedName;
    return Next(saveAs_);
}

bool TTestPrompter::InputMemo(const QString&, const QString&, QString& text) {
    const std::optional<QString> answer = Next(memos_);
    if (answer) text = *answer;
    return answer.has_value();
}

bool TTestPrompter::ChoosePrinter(QPrinter& printer, const QString& title) {
    PrintTitles << title;
    const TPrinterAnswer answer = Next(printers_);
    if (answer.pdfPath.isEmpty() && !answer.failing) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(answer.pdfPath);  // with no file a PDF printer cannot start
    printer.setPageSize(QPageSize(QPageSize::A4));
    return true;
}

void TTestPrompter::Preview(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint) {
    PreviewTitles << title;
    if (previews_.empty()) return;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Next(previews_));
    paint(printer);
}

void TTestPrompter::RenderPreviewTo(const QString& pdfPath) { previews_.push_back(pdfPath); }
void TTestPrompter::AnswerYes(int times) { yesNo_.insert(yesNo_.end(), size_t(times), true); }
void TTestPrompter::AnswerNo(int times) { yesNo_.insert(yesNo_.end(), size_t(times), false); }
void TTestPrompter::AnswerSaveAs(const QString& path) { saveAs_.push_back(path); }
void TTestPrompter::AnswerMemo(std::optional<QString> text) { memos_.push_back(std::move(text)); }
void TTestPrompter::AnswerPrintTo(const QString& pdfPath) { printers_.push_back({pdfPath, false}); }
void TTestPrompter::AnswerFailingPrinter() { printers_.push_back({QString(), true}); }

QStringList TTestPrompter::Texts() const {
    QStringList texts;
    for (const TShown& s : Shown) texts << s.text;
    return texts;
}

QString TTestPrompter::LastText() const { return Shown.empty() ? QString() : Shown.back().text; }

void TTestPrompter::Clear() {
    Shown.clear();
    Questions.clear();
    QuestionDefaults.clear();
    PrintTitles.clear();
    PreviewTitles.clear();
}
