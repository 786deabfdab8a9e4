#pragma once
// Working the real windows as a person at the screen does: buttons found by their caption, boxes
// by the label beside them, grid columns by their heading; typing through the keyboard, Chinese
// through the input method, list items by typing their start. Pictures of the windows for the
// user guide are taken only when MOVELKAR_SCREENSHOTS names the folder they go to.

#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <utility>

class QDialog;
class QPushButton;
class QTableView;
class QWidget;

using TFields = std::initializer_list<std::pair<QString, QString>>;

QPushButton* ButtonOf(QWidget* window, const QString& caption);
// The input box to the right of the label with exactly this caption.
QWidget* FieldOf(QWidget* form, const QString& label);
// Clicks the button; a missing or disabled button fails the test.
void Click(QWidget* window, const QString& caption);
// Fills the boxes beside the labels in order: a list by typing the start of its item, a date
// picker with "yyyy-MM-dd HH:mm", any other box by Ctrl+A and the keys (an empty text clears it).
void Fill(QWidget* form, TFields fields);
QString TextOf(QWidget* form, const QString& label);
void ExpectShown(QWidget* form, TFields fields);
// The index-th grid a window shows, from the top down; what it shows under the heading.
QTableView* GridOf(QWidget* window, int index = 0);
QStringList ColumnOf(QTableView* grid, const QString& heading);
// Runs `open`, which shows a modal dialog and waits in it, while `act` works the dialog. A dialog
// that never appears, or is still open after ten seconds, fails the test and is closed.
void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act);
void WorkDialog(QWidget* window, const QString& button, const std::function<void(QDialog&)>& act);

bool ShotsOn();
// The window as it stands to <folder>/<name>.png; a PDF's first page at 80 dpi; a window of its
// own (a message box, a file dialog) shown, taken and closed.
void Shot(QWidget* window, const QString& name);
void ShotPdfPage(const QString& pdfPath, const QString& name);
void ShotShown(QWidget* window, const QString& name);
