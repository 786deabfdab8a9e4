#include "scale/uScaleView.h"

#include "data/uValue.h"
#include "forms/uCtl.h"
#include "scale/uScaleStable.h"
#include "scale/uTareHistory.h"

#include <QLabel>
#include <QPushButton>

namespace {
// The indicator's own look: light figures on a dark face, readable from the weighbridge window.
const char* const kFaceStyle =
    "QLabel { background: #10261A; color: #59F27A; border: 2px solid #3C4A42; padding-right: 8px; }";

QString StateColour(TScaleState state) {
    switch (state) {
    case TScaleState::Stable: return QStringLiteral("#1B7F2A");
    case TScaleState::Unstable: return QStringLiteral("#C06000");
    case TScaleState::Overload:
    case TScaleState::Underload:
    case TScaleState::Net:
    case TScaleState::Damaged: return QStringLiteral("#C00000");
    case TScaleState::Offline: break;
    }
    return QStringLiteral("#707070");
}

QString Hint(const TScaleStable& scale) {
    switch (scale.State()) {
    case TScaleState::Overload: return QStringLiteral("超出称量范围，不能取数");
    case TScaleState::Underload: return QStringLiteral("低于零点，不能取数；空磅时请在仪表上置零");
    case TScaleState::Net: return QStringLiteral("地磅显示净重，请切换为毛重显示");
    case TScaleState::Damaged: return QStringLiteral("地磅数据无法识别，不能取数；请检查数据格式、波特率与串口线");
    default: break;
    }
    if (!scale.HasReading()) return QStringLiteral("请检查地磅电源与串口线，可手工输入重量");
    if (scale.WaitingForLoadToLeave()) return QStringLiteral("已取数，车辆下磅后才能再次取数");
    if (!scale.AboveMinimum()) return QStringLiteral("重量低于最小称量");
    return {};
}
}  // namespace

TScaleView::TScaleView(QWidget* parent) : QGroupBox(QStringLiteral("  地磅  "), parent) {
    lblWeight = new QLabel(QStringLiteral("----"), this);
    lblWeight->setGeometry(12, 26, kWidth - 24, 72);
    lblWeight->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont digits(kSansFamily, 30);
    digits.setBold(true);
    lblWeight->setFont(digits);
    lblWeight->setStyleSheet(kFaceStyle);

    MakeLabel(this, QStringLiteral("公斤"), kWidth - 52, 100, 40)->setAlignment(Qt::AlignRight);
    lblState = MakeLabel(this, {}, 12, 100, 150, 28);
    QFont stateFont(kSansFamily, 14);
    stateFont.setBold(true);
    lblState->setFont(stateFont);
    lblHint = MakeLabel(this, {}, 12, 134, kWidth - 24, 40);
    lblHint->setWordWrap(true);
    lblHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    btnGross = MakeButton(this, QStringLiteral("取毛重"), 12, 184, 104, 40);
    btnTare = MakeButton(this, QStringLiteral("取皮重"), kWidth - 116, 184, 104, 40);
    QFont buttonFont(kSansFamily, 11);
    buttonFont.setBold(true);
    btnGross->setFont(buttonFont);
    btnTare->setFont(buttonFont);

    lblUsualTare = MakeLabel(this, {}, 12, 240, kWidth - 24, 44);
    lblUsualTare->setWordWrap(true);
    lblUsualTare->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ShowUsualTare({});
}

void TScaleView::Show(const TScaleStable& scale, bool locked) {
    const TScaleState state = scale.State();
    // An indicator beyond its range sends no usable figure, and shows "OL" itself.
    QString shown = QStringLiteral("----");
    if (scale.HasReading()) {
        switch (scale.Last().Signal) {
        case TScaleSignal::Overload: shown = QStringLiteral("OL"); break;
        case TScaleSignal::Underload: shown = QStringLiteral("LO"); break;
        case TScaleSignal::Damaged: break;
        case TScaleSignal::Weight: shown = scale.Last().Text(); break;
        }
    }
    lblWeight->setText(shown);
    lblState->setText(ScaleStateText(state));
    lblState->setStyleSheet("QLabel { color: " + StateColour(state) + "; }");
    lblHint->setText(Hint(scale));
    const bool canTake = !locked && scale.CanCapture();
    btnGross->setEnabled(canTake);
    btnTare->setEnabled(canTake);
}

void TScaleView::ShowUsualTare(const TTareHistory& history) {
    lblUsualTare->setText(history.Known() ? QStringLiteral("该车历史皮重：%1 公斤\n（近 %2 次皮重的中位数）")
                                                .arg(FmtNum(history.Median, 2))
                                                .arg(history.Count)
                                          : QStringLiteral("该车历史皮重：无记录"));
}

void TScaleView::ShowUsualTareUnknown() { lblUsualTare->setText(QStringLiteral("该车历史皮重：暂时无法读取")); }
