#include "forms/uCrud.h"

#include "app/uGlobal.h"
#include "forms/uCrudEdit.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"

#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace {
// The master-data windows that are open, by title: at most one per definition.
QHash<QString, TfrmCrud*>& OpenWindows() {
    static QHash<QString, TfrmCrud*> windows;
    return windows;
}
}  // namespace

TfrmCrud::TfrmCrud(TDM& dm, TCrudDef def, QWidget* parent)
    : QWidget(parent, Qt::Window), dm_(dm), def_(std::move(def)) {}

TfrmCrud::~TfrmCrud() {
    if (OpenWindows().value(def_.Title) == this) OpenWindows().remove(def_.Title);
}

bool TfrmCrud::ChangesAllowed() const { return !def_.ReadOnly && ActionAllowed(Session, TAction::EditMasterData); }

void TfrmCrud::BuildUI() {
    setWindowTitle(def_.Title);
    resize(860, 520);
    CentreOnScreen(this);
    ApplyFormFont(this);

    QWidget* bar = MakeToolbar(this, 44);
    // A failing query is shown with its text and leaves the window as it was.
    const auto guarded = [this](void (TfrmCrud::*handler)()) {
        return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
    };
    add_ = MakeButton(bar, QStringLiteral("新增"), 8, 8, 70, 28, guarded(&TfrmCrud::DoAdd));
    edit_ = MakeButton(bar, QStringLiteral("编辑"), 84, 8, 70, 28, guarded(&TfrmCrud::DoEdit));
    delete_ = MakeButton(bar, QStringLiteral("删除"), 160, 8, 70, 28, guarded(&TfrmCrud::DoDelete));
    MakeButton(bar, QStringLiteral("导出CSV"), 236, 8, 80, 28, [this] { RunGuarded([this] { DoExport(); }); });
    MakeButton(bar, QStringLiteral("导出Excel"), 322, 8, 84, 28,
               [this] { RunGuarded([this] { DoExport(TExportFormat::Excel); }); });
    MakeButton(bar, QStringLiteral("刷新"), 412, 8, 70, 28, guarded(&TfrmCrud::RefreshList));
    MakeLabel(bar, QStringLiteral("关键字:"), 494, 10, 50);
    keyword_ = MakeEdit(bar, 546, 11, 140);
    connect(keyword_, &QLineEdit::textChanged, this, guarded(&TfrmCrud::RefreshList));
    MakeButton(bar, QStringLiteral("关闭"), 698, 8, 70, 28, [this] { DoClose(); });

    model_ = new TQueryModel(dm_, this);
    grid_ = MakeGrid(this, model_);
    connect(grid_, &QTableView::doubleClicked, this, [this, edit = guarded(&TfrmCrud::DoEdit)] {
        if (ChangesAllowed() && model_->IsOpen() && model_->rowCount() > 0) edit();
    });

    const bool changes = ChangesAllowed();
    add_->setEnabled(changes);
    edit_->setEnabled(changes);
    delete_->setEnabled(changes && def_.AllowDelete);
}

int TfrmCrud::CurrentRow() const {
    if (!model_->IsOpen() || model_->rowCount() == 0) return -1;
    const QModelIndex current = grid_->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void TfrmCrud::RefreshList() {
    const int row = CurrentRow();
    const TValue keptKey = row < 0 ? TValue() : model_->Value(row, def_.KeyField);

    const TSqlText list = BuildListSql(dm_.Engine(), def_, keyword_->text());
    model_->Open(list);

    const int charWidth = grid_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < model_->columnCount(); ++c) {
        for (const TColDef& col : def_.Cols) {
            if (col.ListField.compare(model_->ColumnName(c), Qt::CaseInsensitive) != 0) continue;
            model_->SetCaption(c, col.Caption);
            int width = DisplayChars(col.Width) * charWidth;
            // A date is unreadable cut short, whatever width the column was planned with.
            if (col.Kind == ckDate || col.Kind == ckDateTime) {
                grid_->resizeColumnToContents(c);
                width = std::max(width, grid_->columnWidth(c));
            }
            grid_->setColumnWidth(c, width);
            break;
        }
    }
    SelectKey(keptKey);
}

void TfrmCrud::SelectKey(const TValue& key) {
    int row = key.IsNull() ? -1 : model_->FindRow([&](int r) { return model_->Value(r, def_.KeyField) == key; });
    if (row < 0 && model_->rowCount() > 0) row = 0;
    if (row >= 0) grid_->selectRow(row);
}

void TfrmCrud::OpenEditor(const TValue& key) {
    TfrmCrudEdit dlg(dm_, def_, key, this);
    // The row and the lookup lists are read as the dialog is built; a locked file is told instead.
    if (!RunGuarded([&] { dlg.BuildUI(); }, QStringLiteral("无法打开编辑窗口："))) return;
    if (dlg.exec() != QDialog::Accepted) return;
    RefreshList();
    SelectKey(dlg.KeyValue());
}

void TfrmCrud::DoAdd() {
    if (ChangesAllowed()) OpenEditor({});
}

void TfrmCrud::DoEdit() {
    const int row = CurrentRow();
    if (ChangesAllowed() && row >= 0) OpenEditor(model_->Value(row, def_.KeyField));
}

void TfrmCrud::DoDelete() {
    const int row = CurrentRow();
    if (!ChangesAllowed() || !def_.AllowDelete || row < 0) return;
    const qint64 key = model_->Value(row, def_.KeyField).AsInt64();
    const QString name = model_->Value(row, 1).AsText();
    if (const QString refusal = DeleteRefusal(dm_, def_, key, Session); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    if (!AskYesNo(QStringLiteral("确认删除【%1】？删除后不可恢复。").arg(name), TDefaultAnswer::No)) return;
    if (const QString failure = DeleteCrudRow(dm_, def_, key, name, Session); !failure.isEmpty()) {
        ShowWarn(failure);
        return;
    }
    RefreshList();
}

void TfrmCrud::DoExport(TExportFormat format) { ExportGrid(*model_, def_.Title, format); }

void TfrmCrud::DoClose() { close(); }

TfrmCrud* OpenCrud(TDM& dm, TCrudDef def, QWidget* parent) {
    if (TfrmCrud* open = OpenWindows().value(def.Title)) {
        BringToFront(open);
        return open;
    }
    auto* window = new TfrmCrud(dm, std::move(def), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->BuildUI();
    OpenWindows().insert(window->Def().Title, window);
    RunGuarded([window] { window->RefreshList(); });
    window->show();
    return window;
}
