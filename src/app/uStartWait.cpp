#include "app/uStartWait.h"

#include "forms/uCtl.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

namespace {
// Measured on a ten-year centre on a two-core office PC: the indexes are made at about 35 MB of
// file a second, the page check reads about 300 MB a second.
constexpr double kIndexBytesPerSecond = 35e6;
constexpr double kCheckBytesPerSecond = 300e6;

qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }
}  // namespace

int TStartEstimate::IndexSeconds(int done, int total, qint64 elapsedMs) const {
    if (total <= 0 || done >= total) return 1;
    double seconds = 0;
    if (done > 0 && elapsedMs > 0)
        seconds = elapsedMs / 1000.0 / done * (total - done);
    else if (fileBytes_ > 0)
        seconds = double(fileBytes_) / kIndexBytesPerSecond;
    else
        return 0;
    return std::max(1, int(std::ceil(seconds)));
}

int TStartEstimate::CheckSeconds() const {
    return std::max(1, int(std::ceil(double(fileBytes_) / kCheckBytesPerSecond)));
}

QString TStartEstimate::IndexText(int seconds) {
    if (seconds <= 0) return QStringLiteral("正在为数据库建立索引，仅首次需要，请稍候…");
    return QStringLiteral("正在为数据库建立索引，仅首次需要，约需 %1 秒…").arg(seconds);
}

QString TStartEstimate::CheckText(int seconds) {
    return QStringLiteral("正在逐页检查数据库文件，约需 %1 秒…").arg(seconds);
}

TfrmStartWait::TfrmStartWait(qint64 fileBytes)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint), estimate_(fileBytes) {
    setWindowTitle(QStringLiteral("启动 - Movelkar"));
    ApplyFormFont(this);
    auto* layout = new QVBoxLayout(this);
    lblText_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    layout->addWidget(lblText_);
    layout->addWidget(bar_);
    resize(440, 110);
}

void TfrmStartWait::ShowWith(const QString& text) {
    lblText_->setText(text);
    if (!isVisible()) {
        CentreOnScreen(this);
        show();
        raise();
    }
    // Painted now: the next step holds the event loop until it ends.
    QApplication::processEvents();
    repaint();
}

void TfrmStartWait::Indexes(int done, int total) {
    if (done == 0) startedMs_ = NowMs();
    bar_->setRange(0, total);
    bar_->setValue(done);
    if (done >= total) {
        hide();
        return;
    }
    ShowWith(TStartEstimate::IndexText(estimate_.IndexSeconds(done, total, NowMs() - startedMs_)));
}

void TfrmStartWait::WhileChecking(const std::function<void()>& check) {
    std::exception_ptr failure;
    QThread* worker = QThread::create([&] {
        try {
            check();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, this, [this] {
        bar_->setRange(0, 0);
        ShowWith(TStartEstimate::CheckText(estimate_.CheckSeconds()));
    });
    worker->start();
    later.start(300);
    if (!worker->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
    hide();
    if (failure) std::rethrow_exception(failure);
}
