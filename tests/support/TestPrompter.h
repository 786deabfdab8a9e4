#pragma once
// A prompter for tests: records every message and answers questions from a script,
// so that no test ever waits on a modal window.

#include "forms/uMsg.h"

#include <QStringList>
#include <deque>
#include <optional>

class TTestPrompter final : public TPrompter {
public:
    struct TShown {
        TMsgKind kind;
        QString caption, text;
    };

    TTestPrompter();  // installs itself
    ~TTestPrompter() override;  // restores the Qt prompter

    void Message(TMsgKind kind, const QString& caption, const QString& text) override;
    bool AskYesNo(const QString& text, TDefaultAnswer byDefault) override;
    QString SaveFileName(const QString& proposedName, const QString& filter) override;
    bool InputMemo(const QString& title, const QString& prompt, QString& text) override;
    // Prints to the scripted PDF file on A4 paper.
    bool ChoosePrinter(QPrinter& printer, const QString& title) override;
    // Records the preview; with a scripted PDF file, renders its pages there.
    void Preview(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint) override;

    // Answers, taken in order; a question with no scripted answer is answered No / cancel.
    void AnswerYes(int times = 1);
    void AnswerNo(int times = 1);
    void AnswerSaveAs(const QString& path);  // an empty path cancels
    void AnswerMemo(std::optional<QString> text);  // nullopt cancels
    void AnswerPrintTo(const QString& pdfPath);     // an empty path cancels
    void AnswerFailingPrinter();                    // a printer that refuses to start the job
    void RenderPreviewTo(const QString& pdfPath);   // the next preview's pages go to this file

    std::vector<TShown> Shown;
    QStringList Questions;
    std::vector<TDefaultAnswer> QuestionDefaults;  // what Enter would have answered, per question
    QStringList ProposedFileNames;
    QStringList PrintTitles;  // the document title of every printer choice asked for
    QStringList PreviewTitles;  // the document title of every preview shown

    QStringList Texts() const;     // every message text, in order
    QString LastText() const;      // the last message, or empty
    void Clear();

private:
    std::deque<bool> yesNo_;
    std::deque<QString> saveAs_;
    std::deque<std::optional<QString>> memos_;
    struct TPrinterAnswer {
        QString pdfPath;
        bool failing = false;
    };
    std::deque<TPrinterAnswer> printers_;
    std::deque<QString> previews_;
};
