#pragma once
// Working the real windows the way a person at the screen does: buttons found by their
// caption, boxes by the label beside them, grid cells by the column heading; typing through
// the keyboard, Chinese text through the input method, list items by typing their start.

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QPushButton;
class QTableView;
class QWidget;

// The visible window with exactly this title; nullptr when there is none.
QWidget* ShownWindow(const QString& title);
QPushButton* ButtonOf(QWidget* window, const QString& caption);
// The input box to the right of the label with exactly this caption.
QWidget* FieldOf(QWidget* form, const QString& label);

// Clicks the button; a missing or disabled button fails the test.
void Click(QWidget* window, const QString& caption);
// Replaces the box's text by typing, as Ctrl+A and the keys would.
void TypeInto(QWidget* form, const QString& label, const QString& text);
// Picks the item of a list that starts with the text by typing that start into the list.
void Choose(QWidget* form, const QString& label, const QString& itemStart);
QString TextOf(QWidget* form, const QString& label);
// Sets a date-and-time picker, "yyyy-MM-dd HH:mm".
void SetTime(QWidget* form, const QString& label, const QString& when);

// The grids a window shows, from the top down (a page control shows only its current page's).
QTableView* GridOf(QWidget* window, int index = 0);
// What the grid shows under the heading, row by row.
QStringList ColumnOf(QTableView* grid, const QString& heading);
QString CellOf(QTableView* grid, int row, const QString& heading);

// Runs an action that shows a modal dialog and waits in it, while `act` works the dialog once
// it is up. A dialog that never appears, or is still open when the time is up, fails the test
// and is closed, so the suite never waits on a window.
void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act, int limitMs = 10000);
// Clicks the button that opens a modal dialog and works the dialog.
void WorkDialog(QWidget* window, const QString& button, const std::function<void(QDialog&)>& act);
