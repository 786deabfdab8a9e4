#include "scale/uScaleSet.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "scale/uCameraSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>

TfrmScaleSet::TfrmScaleSet(TDM& dm, QWidget* parent) : QDialog(parent), dm_(dm) { BuildUI(LoadScaleSettings()); }

void TfrmScaleSet::BuildUI(const TScaleSettings& s) {
    setWindowTitle(QStringLiteral("地磅设置"));
    setFixedSize(420, 444);
    ApplyFormFont(this);
    const int lx = 24, ex = 150, ew = 240;
    auto top = [](int row) { return 18 + row * 36; };

    MakeLabel(this, QStringLiteral("串口："), lx, top(0), 120);
    cbPort = MakeCombo(this, ex, top(0), ew, TComboStyle::Editable);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) cbPort->addItem(info.portName());
    cbPort->setEditText(s.Port);

    MakeLabel(this, QStringLiteral("波特率："), lx, top(1), 120);
    cbBaud = MakeCombo(this, ex, top(1), ew);
    for (int baud : ScaleBauds()) cbBaud->addItem(QString::number(baud), baud);
    cbBaud->setCurrentIndex(cbBaud->findData(s.Baud));

    MakeLabel(this, QStringLiteral("数据格式："), lx, top(2), 120);
    cbFormat = MakeCombo(this, ex, top(2), ew);
    cbFormat->addItems(ScaleFormatNames());
    cbFormat->setCurrentIndex(int(s.Format));

    const auto box = [&](int row, const QString& caption, double value) {
        MakeLabel(this, caption, lx, top(row), 124);
        return MakeEdit(this, ex, top(row), ew, FmtShortest(value));
    };
    edDivision = box(3, QStringLiteral("分度值(公斤)："), s.Division);
    edMinWeight = box(4, QStringLiteral("最小称量(公斤)："), s.MinWeight);
    edStable = box(5, QStringLiteral("稳定时间(秒)："), s.StableSeconds);
    edFrames = box(6, QStringLiteral("稳定帧数："), s.StableFrames);
    edTareShare = box(7, QStringLiteral("皮重允差(%)："), s.TareShare);
    ckTicket = MakeCheck(this, QStringLiteral("登记后打印磅单（无地磅时也打印手工录入的重量）"), lx, top(8) + 4,
                         s.PrintTicket);
    ckTicket->resize(372, ckTicket->height());

    QLabel* note = MakeLabel(this, QStringLiteral("串口留空即不用地磅，登记时手工输入重量。设置保存在本机程序目录的 "
                                                  "Movelkar.ini，重新打开登记窗口后生效。"),
                             lx, top(9), 372, 40);
    note->setWordWrap(true);

    MakeButton(this, QStringLiteral("相机设置…"), lx, 396, 100, 30, [this] {
        TfrmCameraSet cameras(dm_, this);
        cameras.exec();
    });
    QPushButton* ok = MakeButton(this, QStringLiteral("保存"), 200, 396, 90, 30, [this] { DoOK(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 300, 396, 90, 30, [this] { reject(); });
    CentreOnScreen(this);
}

TScaleSettingsInput TfrmScaleSet::Input() const {
    TScaleSettingsInput in;
    in.Port = cbPort->currentText();
    in.Baud = cbBaud->currentData().toInt();
    in.Format = ScaleFormatFromName(cbFormat->currentText()).value_or(TScaleFormat::F1);
    in.Division = edDivision->text();
    in.MinWeight = edMinWeight->text();
    in.StableSeconds = edStable->text();
    in.StableFrames = edFrames->text();
    in.TareShare = edTareShare->text();
    in.PrintTicket = ckTicket->isChecked();
    return in;
}

QWidget* TfrmScaleSet::FocusTarget(TScaleField field) const {
    switch (field) {
    case TScaleField::Port: return cbPort;
    case TScaleField::Division: return edDivision;
    case TScaleField::MinWeight: return edMinWeight;
    case TScaleField::StableSeconds: return edStable;
    case TScaleField::StableFrames: return edFrames;
    case TScaleField::TareShare: return edTareShare;
    case TScaleField::None: break;
    }
    return nullptr;
}

void TfrmScaleSet::DoOK() {
    const TScaleSettingsCheck check = CheckScaleSettings(Input());
    if (!check.Refusal.isEmpty()) {
        ShowWarn(check.Refusal);
        if (QWidget* target = FocusTarget(check.Focus)) target->setFocus();
        return;
    }
    if (const QString failure = SaveScaleSettings(check.Settings); !failure.isEmpty()) {
        ShowWarn(failure);
        return;
    }
    dm_.WriteLog(QStringLiteral("地磅设置"), QStringLiteral("Movelkar.ini"), QString(),
                 ScaleSettingsText(check.Settings));
    accept();
}

void OpenScaleSettings(TDM& dm, QWidget* owner) {
    if (const QString refusal = ActionRefusal(Session, TAction::ScaleSettings); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    TfrmScaleSet dlg(dm, owner);
    dlg.exec();
}
