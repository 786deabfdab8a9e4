#pragma once
// A batch's weighing pictures, opened from the intake ledger: the gross weighing's beside the
// tare's, so a different truck or extra people on the platform show at a glance. A click shows
// a picture larger. Each is checked against its fingerprint before it is shown.

#include "scale/uPhoto.h"

#include <QDialog>

class QLabel;
class TDM;

class TfrmBatchPhotos : public QDialog {
    Q_OBJECT
public:
    TfrmBatchPhotos(TDM& dm, const QString& batchNo, QWidget* parent = nullptr);

    // Per picture, in the order shown: the label that holds it (or its text), gross column first.
    QList<QLabel*> shown;
    // Opens the larger view of the i-th picture shown; nothing for one that cannot be shown.
    void Enlarge(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QImage> images_;  // beside `shown`; null where only a text is shown
    QList<QString> titles_;
};

void OpenBatchPhotos(TDM& dm, const QString& batchNo, QWidget* owner = nullptr);
