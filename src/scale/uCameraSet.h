#pragma once
// "相机设置", opened from 地磅设置 (administrators): the station's cameras, each with a test
// picture. A password typed here goes into the camera's private password file, never into
// Movelkar.ini or the log; left empty it stays as it was.

#include "scale/uCameraConfig.h"
#include "scale/uCameraShot.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class TDM;

struct TCameraRow {
    QString Name, Url, User, Password;  // as typed; an empty password keeps the stored one
};

// The first row that cannot be used, or empty: a name up to 20 characters and not used twice,
// an http:// or https:// address, a name only with an address.
QString CheckCameraRows(const QList<TCameraRow>& rows);

class TfrmCameraSet : public QDialog {
    Q_OBJECT
public:
    TfrmCameraSet(TDM& dm, QWidget* parent = nullptr);

    QList<TCameraRow> Rows() const;
    void DoOK();
    // Asks the camera of the row as now typed for one picture; the answer appears in its box.
    void DoTest(int row);

    QList<QLineEdit*> edName, edUrl, edUser, edPassword;
    QList<QLabel*> lbTest;
    TCameraShot shot;

private:
    QString PasswordFile(int slot) const;

    TDM& dm_;
    QList<TCameraConfig> stored_;
};
