#pragma once
// Every message box, question and file choice of the system goes through one replaceable
// prompter: the application uses real Qt dialogs, tests install one that records and answers.

#include <QString>
#include <functional>

class QPrinter;

enum class TMsgKind { Warn, Info, Error };

// What Enter answers in a question. Yes, as the platform's question box has it, except where a
// slip of the finger would delete or void something.
enum class TDefaultAnswer { Yes, No };

class TPrompter {
public:
    virtual ~TPrompter() = default;
    virtual void Message(TMsgKind kind, const QString& caption, const QString& text) = 0;
    virtual bool AskYesNo(const QString& text, TDefaultAnswer byDefault) = 0;
    // The chosen path, or an empty text when the user cancels.
    virtual QString SaveFileName(const QString& proposedName, const QString& filter) = 0;
    // true with the edited text on OK; false and the text unchanged on cancel.
    virtual bool InputMemo(const QString& title, const QString& prompt, QString& text) = 0;
    // Sets the printer up for the document of the given title; false when the user cancels.
    virtual bool ChoosePrinter(QPrinter& printer, const QString& title) = 0;
    // Shows a document's pages in a preview window, from which they can be printed; paint draws
    // them on the printer it is handed (the preview's own, or the one chosen there).
    virtual void Preview(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint) = 0;
};

// The prompter in force; the Qt one unless another was installed.
TPrompter& Prompter();
// Installs a prompter (nullptr restores the Qt one); the caller keeps ownership.
void SetPrompter(TPrompter* prompter);

void ShowWarn(const QString& text);
void ShowInfo(const QString& text);
void ShowError(const QString& text, const QString& caption = QStringLiteral("错误"));
bool AskYesNo(const QString& text, TDefaultAnswer byDefault = TDefaultAnswer::Yes);
bool InputMemo(const QString& title, const QString& prompt, QString& text);
bool ChoosePrinter(QPrinter& printer, const QString& title);
void PreviewPages(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint);

// Runs a user action; an error it does not handle itself is shown, database failures in the
// staff's words and behind the given prefix ("无法打开登记窗口："), as the general error display
// does, and the window stays as it was. False when the action failed.
bool RunGuarded(const std::function<void()>& action, const QString& failurePrefix = {});
