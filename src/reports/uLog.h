#pragma once
// The operation log viewer: every recorded change, newest first, searched by date range,
// action word, user and reference number. It only reads.

#include "data/uValue.h"

#include <QDate>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QTableView;
class TDM;
class TQueryModel;

struct TLogFilter {
    bool UseDates = false;
    QDate From;
    QDate To;          // up to and including 23:59:59 of that day
    QString Action;    // one exact action word; "全部" or empty for every action
    QString User;      // part of a login name
    QString Ref;       // part of a reference number
};

// The action words offered for the filter, "全部" first.
const QStringList& LogActions();
TSqlText LogQuery(TDM& dm, const TLogFilter& filter);

class TfrmLog : public QWidget {
    Q_OBJECT
public:
    explicit TfrmLog(TDM& dm, QWidget* owner = nullptr);

    TLogFilter Filter() const;
    // Database errors pass to the caller, which shows them; the window stays open.
    void DoQuery();

    QCheckBox* chkDate = nullptr;
    QDateTimeEdit* dtp1 = nullptr;
    QDateTimeEdit* dtp2 = nullptr;
    QComboBox* cbAction = nullptr;
    QLineEdit* edtUser = nullptr;
    QLineEdit* edtRef = nullptr;
    QTableView* grid = nullptr;
    TQueryModel* Result() const { return model_; }

private:
    void BuildUI();

    TDM& dm_;
    TQueryModel* model_ = nullptr;
};

// Shows the one log viewer (creating it on first use) and runs its query with the filters as
// they stand.
void OpenLogViewer(TDM& dm, QWidget* owner = nullptr);
