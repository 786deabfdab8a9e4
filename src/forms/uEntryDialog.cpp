#include "forms/uEntryDialog.h"

#include "forms/uMsg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>

void TEntryDialog::MarkUntouched() {
    untouched_ = Snapshot();
    marked_ = true;
}

bool TEntryDialog::HasChangedInput() const { return marked_ && Snapshot() != untouched_; }

void TEntryDialog::reject() {
    if (HasChangedInput() && !AskYesNo(QStringLiteral("放弃已输入的内容？"), TDefaultAnswer::No)) return;
    QDialog::reject();
}

// The boxes in the order they were made. Read-only boxes only show what the others give, and a
// combo box's own line edit is read through its combo box.
QStringList TEntryDialog::Snapshot() const {
    QStringList values;
    for (const QWidget* w : findChildren<QWidget*>()) {
        if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            values << QString::number(combo->currentIndex()) + '|' + combo->currentText();
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            if (!edit->isReadOnly() && !qobject_cast<const QComboBox*>(edit->parentWidget()) &&
                !qobject_cast<const QAbstractSpinBox*>(edit->parentWidget()))
                values << edit->text();
        } else if (const auto* memo = qobject_cast<const QPlainTextEdit*>(w)) {
            if (!memo->isReadOnly()) values << memo->toPlainText();
        } else if (const auto* picker = qobject_cast<const QDateTimeEdit*>(w)) {
            values << picker->dateTime().toString(Qt::ISODate);
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w); button && button->isCheckable()) {
            values << QString::number(button->isChecked());
        }
    }
    return values;
}
