#include "scale/uScaleDesk.h"

#include "data/uDM.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "scale/uScalePort.h"
#include "scale/uScaleReader.h"
#include "scale/uScaleView.h"
#include "scale/uTareHistory.h"
#include "scale/uTicket.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kGap = 16;
}

TScaleDesk* TScaleDesk::Attach(QDialog* dialog, TDM& dm, const TScaleFields& fields) {
    TScaleReader* reader = TScaleReader::ForStation();
    if (!reader) return nullptr;
    return new TScaleDesk(dialog, dm, reader, fields);
}

TScaleDesk::TScaleDesk(QDialog* dialog, TDM& dm, TScaleReader* reader, const TScaleFields& fields)
    : QObject(dialog), dm_(dm), reader_(reader), settings_(reader->Settings()), fields_(fields) {
    const QSize size = dialog->size();
    view_ = new TScaleView(dialog);
    view_->setGeometry(size.width(), kGap, TScaleView::kWidth, TScaleView::kHeight);
    dialog->setFixedSize(size.width() + TScaleView::kWidth + kGap, size.height());
    CentreOnScreen(dialog);

    connect(view_->btnGross, &QPushButton::clicked, this, [this] { Take(fields_.Gross, sources_.Gross); });
    connect(view_->btnTare, &QPushButton::clicked, this, [this] { Take(fields_.Tare, sources_.Tare); });
    // A weight typed over is the weigher's own, whatever was taken before.
    connect(fields_.Gross, &QLineEdit::textEdited, this, [this] { sources_.Gross = TWeighSource::Typed; });
    connect(fields_.Tare, &QLineEdit::textEdited, this, [this] { sources_.Tare = TWeighSource::Typed; });
    connect(fields_.Car, &QLineEdit::textChanged, this, [this] { ShowUsualTare(); });

    connect(reader_, &TScaleReader::Changed, this, &TScaleDesk::Refresh);
    Refresh();
}

TScalePort* TScaleDesk::Port() const { return reader_ ? reader_->Port() : nullptr; }

void TScaleDesk::SetClock(std::function<qint64()> clock) {
    if (reader_) reader_->SetClock(std::move(clock));
}

void TScaleDesk::LoadBatch(const QString& batchNo) {
    batchNo_ = batchNo;
    sources_ = ReadRegistrationLog(dm_, batchNo).Sources;
    ShowUsualTare();
}

void TScaleDesk::Lock() {
    locked_ = true;
    Refresh();
}

void TScaleDesk::Take(QLineEdit* box, TWeighSource& source) {
    if (!reader_ || locked_ || !reader_->Scale().CanCapture()) return;
    // After a restart the program cannot know whether this is the load it saved last.
    if (reader_->MaybeSavedBefore() &&
        !AskYesNo(QStringLiteral("地磅上的重量与上次保存的过磅重量相同（%1 公斤），且程序启动后车辆未曾下磅，"
                                 "可能是同一车重复取数。是否仍然取数？")
                      .arg(reader_->Scale().Last().Text()),
                  TDefaultAnswer::No))
        return;
    const std::optional<TScaleReading> taken = reader_->Capture();
    if (!taken) return;
    box->setText(taken->Text());
    source = TWeighSource::Scale;
    taken_ = taken->Kg;
    takenInto_ = box;
    FocusNext();
    emit Taken(box, taken->Kg);
}

// The pressed button is disabled by the take, and Qt would hand the focus to whatever follows
// it; the weigher's next keystrokes belong in the next box to fill.
void TScaleDesk::FocusNext() {
    for (QWidget* w : fields_.ToFill) {
        const auto* edit = qobject_cast<QLineEdit*>(w);
        const auto* combo = qobject_cast<QComboBox*>(w);
        const bool empty = (edit && edit->text().trimmed().isEmpty()) ||
                           (combo && (combo->currentIndex() < 0 || combo->currentText().trimmed().isEmpty()));
        if (empty && w->isEnabled()) {
            w->setFocus();
            return;
        }
    }
    if (fields_.Done) fields_.Done->setFocus();
}

void TScaleDesk::Saved() {
    if (!reader_ || !taken_) return;
    const TWeighSource source = takenInto_ == fields_.Gross ? sources_.Gross : sources_.Tare;
    if (source == TWeighSource::Scale) reader_->Saved(*taken_);
}

void TScaleDesk::Refresh() {
    if (reader_) view_->Show(reader_->Scale(), locked_);
}

void TScaleDesk::ShowUsualTare() {
    try {
        view_->ShowUsualTare(TareHistory(dm_, fields_.Car->text(), batchNo_));
    } catch (const TDbError&) {
        // A hint while typing the plate: a busy database must not interrupt the typing.
        view_->ShowUsualTareUnknown();
    }
}

bool TScaleDesk::ConfirmTare() {
    tareNote_.clear();
    const TTareCheck check = CheckTare(dm_, fields_.Car->text(), batchNo_, fields_.Tare->text(), settings_.TareShare);
    if (!check.Ask) return true;
    if (!AskYesNo(check.Question())) return false;
    tareNote_ = check.Note();
    return true;
}

QString TScaleDesk::LogNote() const {
    return tareNote_.isEmpty() ? sources_.Note() : sources_.Note() + " " + tareNote_;
}
