#pragma once
// Pictures of the windows along the road, for the user guide: taken only when the environment
// variable MOVELKAR_SCREENSHOTS names the folder they go to.

#include <QString>

class QWidget;

class TShots {
public:
    TShots();

    bool On() const { return !dir_.isEmpty(); }
    // The window as it stands, laid out and painted, to <folder>/<name>.png.
    void Take(QWidget* window, const QString& name) const;
    // The first page of a printed PDF file, as poppler renders it at 80 dpi.
    void TakePdfPage(const QString& pdfPath, const QString& name) const;
    // Shows a window of its own (a message box, a file dialog) without waiting in it, takes it
    // and closes it.
    void TakeShown(QWidget* window, const QString& name) const;

private:
    QString dir_;
};
