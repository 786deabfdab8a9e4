#include "forms/uCrudEdit.h"

#include "app/uLogin.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
constexpr int kRowHeight = 28;
constexpr int kFirstTop = 14;
constexpr int kLabelLeft[2] = {16, 322};
// Wide enough for the longest caption with its " *" mark, e.g. "超期仓储(元/吨/天)".
constexpr int kLabelWidth = 106;
constexpr int kControlOffset = 110;
constexpr int kControlWidth = 180;
// A memo runs from the first column's control to the right edge of the second column's.
constexpr int kMemoWidth = kLabelLeft[1] + kControlOffset + kControlWidth - (kLabelLeft[0] + kControlOffset);
constexpr int kMemoRows = 3;
}  // namespace

void TECtl::SetValue(const TValue& stored) {
    if (Edit) Edit->setText(EditText(Col, stored));
    if (Memo) Memo->setPlainText(stored.AsText());
    if (Check) Check->setChecked(stored.AsBool());
    if (Date) {
        const QDateTime t = stored.AsDateTime();
        Date->setDateTime(t.isValid() ? t : QDateTime::currentDateTime());
    }
    if (Combo) {
        if (Col.LookupSQL.isEmpty())
            Combo->setCurrentIndex(stored.IsNull() ? -1 : Combo->findText(stored.AsText(), Qt::MatchExactly));
        else
            SetComboID(Combo, VarToInt(stored));
    }
}

TValue TECtl::GetValue() const {
    if (Edit) return Edit->text();
    if (Memo) return Memo->toPlainText();
    if (Check) return Check->isChecked();
    if (Date) return Date->dateTime();
    if (Combo && Col.LookupSQL.isEmpty()) return Combo->currentIndex() < 0 ? QString() : Combo->currentText();
    if (Combo) return ComboID(Combo);
    return {};
}

QWidget* TECtl::Control() const {
    if (Edit) return Edit;
    if (Memo) return Memo;
    if (Check) return Check;
    if (Date) return Date;
    return Combo;
}

TfrmCrudEdit::TfrmCrudEdit(TDM& dm, TCrudDef def, TValue keyValue, QWidget* parent)
    : QDialog(parent), dm_(dm), def_(std::move(def)), keyValue_(std::move(keyValue)), isNew_(keyValue_.IsNull()) {}

TECtl* TfrmCrudEdit::Field(const QString& editField) {
    for (TECtl& ctl : ctls_)
        if (ctl.Col.EditField.compare(editField, Qt::CaseInsensitive) == 0) return &ctl;
    return nullptr;
}

TECtl TfrmCrudEdit::MakeField(const TColDef& col, int left, int top) {
    MakeLabel(this, col.Required ? col.Caption + " *" : col.Caption, left, top, kLabelWidth);
    TECtl ctl{col};
    const int x = left + kControlOffset;
    switch (col.Kind) {
    case ckText:
    case ckInteger:
    case ckDecimal:
    case ckMoney:
        ctl.Edit = MakeEdit(this, x, top, kControlWidth);
        // Longer text than the column holds cannot be typed at all.
        if (col.Kind == ckText)
            if (const int limit = TextLimit(def_.TableName, col.EditField); limit > 0)
                ctl.Edit->setMaxLength(limit);
        break;
    case ckDate:
    case ckDateTime: ctl.Date = MakeDatePicker(this, x, top, kControlWidth, col.Kind == ckDate); break;
    case ckMemo: ctl.Memo = MakeMemo(this, x, top, kMemoWidth, 56); break;
    case ckYesNo: ctl.Check = MakeCheck(this, QStringLiteral("是"), x, top, false); break;
    case ckChoice:
        ctl.Combo = MakeCombo(this, x, top, kControlWidth);
        if (col.LookupSQL.isEmpty())
            ctl.Combo->addItems(col.Items.split(';'));
        else
            FillLookupCombo(dm_, ctl.Combo, col.LookupSQL);
        ctl.Combo->setCurrentIndex(-1);
        break;
    }
    return ctl;
}

void TfrmCrudEdit::BuildUI() {
    setWindowTitle(def_.Title + (isNew_ ? QStringLiteral(" - 新增") : QStringLiteral(" - 编辑")));
    ApplyFormFont(this);

    int row = 0;
    int column = 0;
    for (const TColDef& col : EditedCols(def_)) {
        if (col.Kind == ckMemo) {
            // A memo runs across the dialog, so it never shares a row.
            if (column != 0) ++row;
            ctls_.push_back(MakeField(col, kLabelLeft[0], kFirstTop + row * kRowHeight));
            row += kMemoRows;
            column = 0;
            continue;
        }
        ctls_.push_back(MakeField(col, kLabelLeft[column], kFirstTop + row * kRowHeight));
        if (++column == 2) {
            column = 0;
            ++row;
        }
    }
    if (def_.SetsPassword) {
        if (column != 0) ++row;
        const int top = kFirstTop + row * kRowHeight;
        MakeLabel(this, isNew_ ? QStringLiteral("密码 *") : QStringLiteral("新密码"), kLabelLeft[0], top, kLabelWidth);
        edPwd_ = MakePasswordBox(this, kLabelLeft[0] + kControlOffset, top, kControlWidth);
        MakeLabel(this, QStringLiteral("再输一次"), kLabelLeft[1], top, kLabelWidth);
        edPwd2_ = MakePasswordBox(this, kLabelLeft[1] + kControlOffset, top, kControlWidth);
        if (!isNew_) {
            edPwd_->setPlaceholderText(QStringLiteral("不修改请留空"));
            edPwd2_->setPlaceholderText(QStringLiteral("不修改请留空"));
        }
        ++row;
        column = 0;
    }
    const int rowsUsed = row + (column != 0 ? 1 : 0);
    const int height = rowsUsed * kRowHeight + 104;
    setFixedSize(640, height);

    QPushButton* save = MakeButton(this, QStringLiteral("确定保存"), 420, height - 68, 90, 28, [this] {
        RunGuarded([this] { DoSave(); });
    });
    save->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 520, height - 68, 75, 28, [this] { reject(); });

    LoadValues();
}

void TfrmCrudEdit::LoadValues() {
    if (isNew_) {
        for (TECtl& ctl : ctls_)
            if (!ctl.Col.DefaultValue.IsNull()) ctl.SetValue(ctl.Col.DefaultValue);
        return;
    }
    const TQuery q = dm_.OpenSQLP("SELECT * FROM " + def_.TableName + " WHERE " + def_.KeyField + "=:k",
                                  {{"k", keyValue_}});
    for (TECtl& ctl : ctls_) ctl.SetValue(q.IsEmpty() ? TValue() : q.Field(ctl.Col.EditField));
    read_ = CrudRowStamp(def_, keyValue_, q);
}

void TfrmCrudEdit::DoSave() {
    TFieldValues entered;
    for (const TECtl& ctl : ctls_) entered.insert(ctl.Col.EditField, ctl.GetValue());
    TCrudSaveExtra extra{read_, {}, {}};
    if (edPwd_) extra = {read_, edPwd_->text(), edPwd2_->text()};
    const TSaveOutcome outcome = SaveCrudRow(dm_, def_, keyValue_, entered, extra);
    if (!outcome.Saved) {
        ShowWarn(outcome.Message);
        if (outcome.Field >= 0) ctls_[size_t(outcome.Field)].Control()->setFocus();
        if (outcome.Field == kPasswordField && edPwd_) edPwd_->setFocus();
        return;
    }
    keyValue_ = outcome.Key;
    accept();
}
