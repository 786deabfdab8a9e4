#pragma once
// The weighbridge at the registration dialog: the live weight beside the boxes, "取毛重" and
// "取皮重" that put the stable weight into them, where each weight came from, the vehicle's
// usual tare and the question about a tare far from it. Typing stays possible throughout:
// a silent or unplugged scale shows "地磅未连接" and blocks nothing.

#include "scale/uScaleSettings.h"
#include "scale/uScaleStable.h"
#include "scale/uWeighSource.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QDialog;
class QLineEdit;
class TDM;
class TScalePort;
class TScaleReader;
class TScaleView;

// The registration boxes the scale works with.
struct TScaleFields {
    QLineEdit* Car = nullptr;
    QLineEdit* Gross = nullptr;
    QLineEdit* Tare = nullptr;
    // After a take the first of these still empty gets the focus, or Done when none is.
    QList<QWidget*> ToFill;
    QWidget* Done = nullptr;
};

class TScaleDesk : public QObject {
    Q_OBJECT
public:
    // The scale panel placed to the right of the dialog, which grows to hold it; nullptr when
    // this station has no scale port, and the dialog stays exactly as it was.
    static TScaleDesk* Attach(QDialog* dialog, TDM& dm, const TScaleFields& fields);

    // For a stored batch: the sources its last save recorded, and its own tare left out of the history.
    void LoadBatch(const QString& batchNo);
    // A batch that can no longer be changed takes no weight.
    void Lock();
    // Asks about a tare far from the vehicle's usual one; false when the weigher wants to look again.
    bool ConfirmTare();
    // What the save's log row adds: the sources, and a confirmed tare.
    QString LogNote() const;
    // The registration was kept: the weight taken for it is remembered across restarts.
    void Saved();

    const TWeighSources& Sources() const { return sources_; }
    TScaleView* View() const { return view_; }
    TScalePort* Port() const;
    // Milliseconds on a steady clock; tests set their own.
    void SetClock(std::function<qint64()> clock);

signals:
    // A stable weight was put into the box (the gross or the tare box).
    void Taken(QLineEdit* box, double kg);

private:
    TScaleDesk(QDialog* dialog, TDM& dm, TScaleReader* reader, const TScaleFields& fields);
    void Take(QLineEdit* box, TWeighSource& source);
    void FocusNext();
    void Refresh();
    void ShowUsualTare();

    TDM& dm_;
    QPointer<TScaleReader> reader_;
    TScaleSettings settings_;
    TScaleFields fields_;
    TScaleView* view_ = nullptr;
    TWeighSources sources_;
    // The last weight taken in this dialog and the box it went into.
    std::optional<double> taken_;
    QLineEdit* takenInto_ = nullptr;
    QString batchNo_;
    QString tareNote_;
    bool locked_ = false;
};
