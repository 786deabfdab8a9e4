#include "scale/uScaleDesk.h"

#include "data/uDM.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "scale/uScalePort.h"
#include "scale/uScaleView.h"
#include "scale/uTareHistory.h"
#include "scale/uTicket.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kGap = 16;
}

TScaleDesk* TScaleDesk::Attach(QDialog* dialog, TDM& dm, const TScaleFields& fields) {
    const TScaleSettings settings = LoadScaleSettings();
    if (!settings.Enabled()) return nullptr;
    return new TScaleDesk(dialog, dm, settings, fields);
}

TScaleDesk::TScaleDesk(QDialog* dialog, TDM& dm, const TScaleSettings& settings, const TScaleFields& fields)
    : QObject(dialog), dm_(dm), settings_(settings), fields_(fields), scale_(settings.Rule()) {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    clock_ = [started] { return started->elapsed(); };

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

    port_ = new TScalePort(settings_, this);
    connect(port_, &TScalePort::Reading, this, &TScaleDesk::OnReading);
    connect(port_, &TScalePort::Lost, this, &TScaleDesk::OnLost);
    Refresh();
    port_->Start();
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

void TScaleDesk::OnReading(const TScaleReading& reading) {
    scale_.Feed(reading, clock_());
    Refresh();
}

void TScaleDesk::OnLost() {
    scale_.Lost();
    Refresh();
}

void TScaleDesk::Take(QLineEdit* box, TWeighSource& source) {
    const std::optional<TScaleReading> taken = scale_.Capture();
    if (taken) {
        box->setText(taken->Text());
        source = TWeighSource::Scale;
    }
    Refresh();
}

void TScaleDesk::Refresh() { view_->Show(scale_, locked_); }

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
