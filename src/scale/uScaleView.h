#pragma once
// The live weight beside the registration boxes: the weight large, as the indicator shows it,
// its state (稳定 / 不稳定 / 超载 / 欠载 / 净重 / 数据错误 / 地磅未连接), why it cannot be taken yet, the buttons that
// take it, and the vehicle's usual tare.

#include <QGroupBox>

class QLabel;
class QPushButton;
class TScaleStable;
struct TTareHistory;

class TScaleView : public QGroupBox {
    Q_OBJECT
public:
    static constexpr int kWidth = 244;
    static constexpr int kHeight = 352;  // down to the foot of the quality memo

    explicit TScaleView(QWidget* parent);

    // Shows the scale as it stands; the buttons only while a stable load may be taken.
    void Show(const TScaleStable& scale, bool locked);
    void ShowUsualTare(const TTareHistory& history);
    void ShowUsualTareUnknown();

    QLabel* lblWeight = nullptr;
    QLabel* lblState = nullptr;
    QLabel* lblHint = nullptr;
    QLabel* lblUsualTare = nullptr;
    QPushButton* btnGross = nullptr;
    QPushButton* btnTare = nullptr;
};
