#pragma once
// The weighbridge at the registration dialog: the live weight beside the boxes, "取毛重" and
// "取皮重" that put the stable weight into them, where each weight came from, the vehicle's
// usual tare and the question about a tare far from it. Typing stays possible throughout:
// a silent or unplugged scale shows "地磅未连接" and blocks nothing.

#include "scale/uScaleSettings.h"
#include "scale/uScaleStable.h"
#include "scale/uWeighSource.h"

#include <QObject>
#include <QString>
#include <functional>

class QDialog;
class QLineEdit;
class TDM;
class TScalePort;
class TScaleView;

// The registration boxes the scale works with.
struct TScaleFields {
    QLineEdit* Car = nullptr;
    QLineEdit* Gross = nullptr;
    QLineEdit* Tare = nullptr;
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

    const TWeighSources& Sources() const { return sources_; }
    TScaleView* View() const { return view_; }
    TScalePort* Port() const { return port_; }
    // Milliseconds on a steady clock; tests set their own.
    void SetClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

private:
    TScaleDesk(QDialog* dialog, TDM& dm, const TScaleSettings& settings, const TScaleFields& fields);
    void OnReading(const TScaleReading& reading);
    void OnLost();
    void Take(QLineEdit* box, TWeighSource& source);
    void Refresh();
    void ShowUsualTare();

    TDM& dm_;
    TScaleSettings settings_;
    TScaleFields fields_;
    TScaleStable scale_;
    TScalePort* port_ = nullptr;
    TScaleView* view_ = nullptr;
    std::function<qint64()> clock_;
    TWeighSources sources_;
    QString batchNo_;
    QString tareNote_;
    bool locked_ = false;
};
