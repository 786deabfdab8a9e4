#pragma once
// Working the real windows the way a person at the screen does: buttons found by their caption,
// boxes by the label beside them, grid cells by the column heading; typing through the keyboard,
// Chinese text through the input method, list items by typing their start. And pictures of the
// windows for the user guide, taken only when MOVELKAR_SCREENSHOTS names the folder they go to.

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

// The visible window with exactly this title; nullptr when there is none.
QWidget* ShownWindow(const QString& title);
QPushButton* ButtonOf(QWidget* window, const QString& caption);
// The input box to the right of the label with exactly this caption.
QWidget* FieldOf(QWidget* form, const QString& label);
// Clicks the button; a missing or disabled button fails the test.
void Click(QWidget* window, const QString& caption);
// Fills the boxes beside the labels in order: a list by typing the start of its item, a date
// picker with "yyyy-MM-dd HH:mm", any other box by Ctrl+A and the keys (an empty text clears it).
void Fill(QWidget* form, TFields fields);
QString TextOf(QWidget* form, const QString& label);
// Each box beside its label shows exactly the text.
void ExpectShown(QWidget* form, TFields fields);

// The grids a window shows, from the top down (a page control shows only its current page's).
QTableView* GridOf(QWidget* window, int index = 0);
// What the grid shows under the heading, row by row.
QStringList ColumnOf(QTableView* grid, const QString& heading);

// Runs an action that shows a modal dialog and waits in it, while `act` works the dialog once
// it is up. A dialog that never appears, or is still open when the time is up, fails the test
// and is closed, so the suite never waits on a window.
void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act, int limitMs = 10000);
// Clicks the button that opens a modal dialog and works the dialog.
void WorkDialog(QWidget* window, const QString& button, const std::function<void(QDialog&)>& act);

bool ShotsOn();
// The window as it stands, laid out and painted, to <folder>/<name>.png.
void Shot(QWidget* window, const QString& name);
// The first page of a printed PDF file, as poppler renders it at 80 dpi.
void ShotPdfPage(const QString& pdfPath, const QString& name);
// Shows a window of its own (a message box, a file dialog) without waiting in it, takes it and
// closes it.
void ShotShown(QWidget* window, const QString& name);
