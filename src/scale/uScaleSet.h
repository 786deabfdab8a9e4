#pragma once
// "地磅设置": the administrator tells this station where its weighbridge indicator is
// connected and how it talks. The port may be typed, since the system's list does not show
// every device (adapters that appear later, virtual ports).

#include "scale/uScaleSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class TDM;

class TfrmScaleSet : public QDialog {
    Q_OBJECT
public:
    TfrmScaleSet(TDM& dm, QWidget* parent = nullptr);

    TScaleSettingsInput Input() const;
    void DoOK();

    QComboBox* cbPort = nullptr;
    QComboBox* cbBaud = nullptr;
    QComboBox* cbFormat = nullptr;
    QLineEdit* edDivision = nullptr;
    QLineEdit* edMinWeight = nullptr;
    QLineEdit* edStable = nullptr;
    QLineEdit* edFrames = nullptr;
    QLineEdit* edTareShare = nullptr;
    QCheckBox* ckTicket = nullptr;

private:
    void BuildUI(const TScaleSettings& s);
    QWidget* FocusTarget(TScaleField field) const;

    TDM& dm_;
};

// Administrators only; anyone else is told so.
void OpenScaleSettings(TDM& dm, QWidget* owner = nullptr);
