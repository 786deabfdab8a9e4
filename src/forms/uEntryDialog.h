#pragma once
// A dialog in which staff type a record. Leaving it by Esc, 取消 or the close box once something
// was typed asks "放弃已输入的内容？" (否 by default), so a slip of the finger loses no typing;
// a dialog left as it was opened closes at once.

#include <QDialog>
#include <QStringList>

class TEntryDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

    // What the boxes hold now is what the dialog was opened with: called once it is built and filled.
    void MarkUntouched();
    // Whether any box the user can type in or pick from differs from what it was opened with.
    bool HasChangedInput() const;

    void reject() override;

protected:
    // Closes without asking, for the program's own reasons (the record was settled elsewhere).
    void Leave() { QDialog::reject(); }

private:
    QStringList Snapshot() const;

    QStringList untouched_;
    bool marked_ = false;
};
