#pragma once
// The one list window through which every master-data table is searched, maintained and
// exported; what it shows is decided entirely by its definition.

#include "forms/uCrudLogic.h"
#include "forms/uExport.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class QTableView;
class TDM;
class TQueryModel;

class TfrmCrud : public QWidget {
    Q_OBJECT
public:
    TfrmCrud(TDM& dm, TCrudDef def, QWidget* parent = nullptr);
    ~TfrmCrud() override;

    void BuildUI();
    void RefreshList();
    void DoAdd();
    void DoEdit();
    void DoDelete();
    void DoExport(TExportFormat format = TExportFormat::Csv);
    void DoClose();

    const TCrudDef& Def() const { return def_; }
    bool ChangesAllowed() const;
    TQueryModel* Model() const { return model_; }
    QTableView* Grid() const { return grid_; }
    QLineEdit* KeywordBox() const { return keyword_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* EditButton() const { return edit_; }
    QPushButton* DeleteButton() const { return delete_; }
    // The row the buttons act on: the grid's current row, else the first; -1 when empty.
    int CurrentRow() const;

private:
    void OpenEditor(const TValue& key);
    // Makes the row with this key current, else the first row.
    void SelectKey(const TValue& key);

    TDM& dm_;
    TCrudDef def_;
    TQueryModel* model_ = nullptr;
    QTableView* grid_ = nullptr;
    QLineEdit* keyword_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
};

// Shows the list window of a definition; one window per title, an open one is brought to
// the front. The window frees itself when closed.
TfrmCrud* OpenCrud(TDM& dm, TCrudDef def, QWidget* parent = nullptr);
