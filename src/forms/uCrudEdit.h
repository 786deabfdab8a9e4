#pragma once
// The one dialog in which a row of any master-data table is entered or changed; its fields
// are laid out from the definition's columns.

#include "forms/uCrudLogic.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPlainTextEdit;
class TDM;

// One field of the dialog; only the control of its column's kind is set.
struct TECtl {
    TColDef Col;
    QLineEdit* Edit = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QComboBox* Combo = nullptr;
    QDateTimeEdit* Date = nullptr;
    QCheckBox* Check = nullptr;

    void SetValue(const TValue& stored);
    // What the control holds, before it is turned into the stored value.
    TValue GetValue() const;
    QWidget* Control() const;
};

class TfrmCrudEdit : public QDialog {
    Q_OBJECT
public:
    // A null key enters a new row.
    TfrmCrudEdit(TDM& dm, TCrudDef def, TValue keyValue, QWidget* parent = nullptr);

    void BuildUI();
    void DoSave();

    const TCrudDef& Def() const { return def_; }
    bool IsNew() const { return isNew_; }
    // After a successful insert, the new row's key.
    const TValue& KeyValue() const { return keyValue_; }
    // The field of a table column; nullptr when the dialog has none.
    TECtl* Field(const QString& editField);
    const std::vector<TECtl>& Ctls() const { return ctls_; }
    // SetsPassword: the new password and its second typing; empty keeps the password.
    QLineEdit* NewPassword() const { return edPwd_; }
    QLineEdit* ConfirmPassword() const { return edPwd2_; }

private:
    TECtl MakeField(const TColDef& col, int left, int top);
    void LoadValues();

    TDM& dm_;
    TCrudDef def_;
    TValue keyValue_;
    bool isNew_;
    std::vector<TECtl> ctls_;
    TRowStamp read_;
    QLineEdit* edPwd_ = nullptr;
    QLineEdit* edPwd2_ = nullptr;
};
