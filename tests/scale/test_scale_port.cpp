#include "ScaleStation.h"

#include "forms/uCtl.h"
#include "scale/uScaleDesk.h"
#include "scale/uScalePort.h"
#include "scale/uScaleView.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// A serial cable in software: the program opens the slave side by its name as it would a COM
// port, the test plays the indicator on the master side.
class TPtyPair {
public:
    TPtyPair() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        for (int fd : {master_, slave_}) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        name_ = QString::fromLocal8Bit(name);
    }
    ~TPtyPair() {
        Unplug();
        ReleaseSlave();
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const QString& SlaveName() const { return name_; }
    bool Write(const QByteArray& bytes) { return master_ >= 0 && ::write(master_, bytes.data(), size_t(bytes.size())) == bytes.size(); }
    // The indicator switched off or its cable pulled.
    void Unplug() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void ReleaseSlave() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString name_;
};

QByteArray F1(const char* digits) {
    const QByteArray body = QByteArray("+") + digits + "0";
    int x = 0;
    for (char c : body) x ^= quint8(c);
    return "\x02" + body + QByteArray::number(x, 16).rightJustified(2, '0').toUpper() + "\x03";
}

// Lets the event loop deliver what the port has received; false if it never came.
bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        usleep(2000);
    }
    return done();
}
}  // namespace

TEST(ScaleAtRegistration, TheStableWeightIsTakenThroughTheSerialLineAndAnUnpluggedScaleBlocksNothing) {
    TPtyPair pty;
    ASSERT_FALSE(pty.SlaveName().isEmpty());
    TScaleSettings settings;
    settings.Port = pty.SlaveName();
    settings.Format = TScaleFormat::F1;
    TScaleStation station(settings);
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    const int farmer = c.addFarmer("张三");

    TfrmBatchEdit dlg(c.dm(), {});
    ASSERT_NE(dlg.scale, nullptr);
    ASSERT_TRUE(dlg.scale->Port()->IsOpen());
    pty.ReleaseSlave();
    qint64 now = 0;
    dlg.scale->SetClock([&] { return now; });
    int readings = 0;
    QObject::connect(dlg.scale->Port(), &TScalePort::Reading, [&] { ++readings; });
    const TScaleView* view = dlg.scale->View();
    const auto send = [&](const char* digits, qint64 at) {
        now = at;
        const int wanted = readings + 1;
        return pty.Write(F1(digits)) && WaitFor([&] { return readings >= wanted; });
    };

    // The truck drives on: the figure jumps.
    for (auto [digits, at] : {std::pair{"003000", 0}, {"024400", 400}, {"024560", 800}, {"024700", 1200}})
        ASSERT_TRUE(send(digits, at));
    EXPECT_EQ(view->lblState->text(), "不稳定");
    EXPECT_EQ(view->lblWeight->text(), "24700");
    EXPECT_FALSE(view->btnGross->isEnabled());

    ASSERT_TRUE(send("024560", 1600));
    ASSERT_TRUE(send("024560", 2600));
    EXPECT_FALSE(view->btnGross->isEnabled()) << "steady for one second only";
    ASSERT_TRUE(send("024560", 3600));
    EXPECT_EQ(view->lblState->text(), "稳定");
    ASSERT_TRUE(view->btnGross->isEnabled());
    view->btnGross->click();
    EXPECT_EQ(dlg.edGross->text(), "24560");
    EXPECT_EQ(dlg.edWetNet->text(), "24560");
    EXPECT_FALSE(view->btnTare->isEnabled()) << "the loaded truck is not its own tare";

    pty.Unplug();
    EXPECT_TRUE(WaitFor([&] { return view->lblState->text() == "地磅未连接"; }));
    EXPECT_FALSE(view->btnGross->isEnabled());

    dlg.edTare->insert("5230");  // typed by the weigher
    SetComboID(dlg.cbFarmer, farmer);
    SetComboID(dlg.cbGrain, 1);
    SetComboID(dlg.cbWh, 1);
    dlg.DoOK();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(c.batchRows("T_Batch", dlg.BatchNo(), "GrossWt,TareWt,WetNetWt"), "24560/5230/19330");
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE RefNo=:b", {{"b", dlg.BatchNo()}})),
              QString("农户ID=%1 净重19330.0kg 毛重:地磅 皮重:手工").arg(farmer));
    EXPECT_EQ(dlg.scale->Port()->Dropped(), 0);
}
