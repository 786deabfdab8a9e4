#include "FakeIndicator.h"
#include "ScaleStation.h"

#include "forms/uCtl.h"
#include "scale/uScaleDesk.h"
#include "scale/uScalePort.h"
#include "scale/uScaleView.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
// The indicator at the other end of the cable, on the test's own clock, and the registration
// dialogs of the station it is wired to.
class TIndicator {
public:
    explicit TIndicator(TScaleFormat format) {
        TScaleSettings s;
        s.Port = pty_.SlaveName();
        s.Format = format;
        station_.Save(s);
    }
    // A registration dialog opened, counting what reaches its scale, timed by this indicator's clock.
    std::unique_ptr<TfrmBatchEdit> Open(TDM& dm) {
        auto dlg = std::make_unique<TfrmBatchEdit>(dm, QString());
        TScaleDesk* desk = dlg->scale;
        EXPECT_TRUE(desk && desk->Port()->IsOpen());
        if (!desk) return dlg;
        pty_.ReleaseSlave();
        desk->SetClock([this] { return now_; });
        QObject::connect(desk->Port(), &TScalePort::Reading, desk, [this] { ++readings_; });
        return dlg;
    }
    bool Send(const QByteArray& frame, qint64 at) {
        now_ = at;
        const int wanted = readings_ + 1;
        return pty_.Write(frame) && QTest::qWaitFor([&] { return readings_ >= wanted; }, 10000);
    }
    // Five frames, half a second apart: a load at rest for the stability time.
    bool Hold(const QByteArray& frame, qint64 from) {
        for (qint64 at = from; at <= from + 2000; at += 500)
            if (!Send(frame, at)) return false;
        return true;
    }
    void Unplug() { pty_.Unplug(); }

private:
    TPtyPair pty_;
    TScaleStation station_;
    qint64 now_ = 0;
    int readings_ = 0;
};

void FillRest(TfrmBatchEdit& dlg, int farmer, const QString& tare) {
    dlg.edTare->insert(tare);  // typed by the weigher
    SetComboID(dlg.cbFarmer, farmer);
    SetComboID(dlg.cbGrain, 1);
    SetComboID(dlg.cbWh, 1);
    dlg.edMoisture->setText("18");
}
}  // namespace

TEST(ScaleAtRegistration, ALoadIsTakenOnceWhenSteadyWhicheverDialogAndAnUnpluggedScaleBlocksNothing) {
    TIndicator scale(TScaleFormat::F1);
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    const int farmer = c.addFarmer("张三");

    std::unique_ptr<TfrmBatchEdit> first = scale.Open(c.dm());
    ASSERT_TRUE(scale.Hold(A9Frame("005020"), 0));
    first->scale->View()->btnTare->click();
    EXPECT_EQ(first->edTare->text(), "5020");
    prompter.AnswerYes();  // leave the typed tare behind
    first->reject();
    first.reset();
    prompter.Clear();

    // Cancelled, and 新增登记 again with the truck still on the scale.
    std::unique_ptr<TfrmBatchEdit> second = scale.Open(c.dm());
    const TScaleView* view = second->scale->View();
    ASSERT_TRUE(scale.Hold(A9Frame("005020"), 3000));
    EXPECT_FALSE(view->btnGross->isEnabled());
    EXPECT_EQ(view->lblHint->text(), "已取数，车辆下磅后才能再次取数");
    view->btnGross->click();
    EXPECT_EQ(second->edGross->text(), "");

    // It drives off; the loaded truck drives on: the figure jumps.
    for (auto [digits, at] : {std::pair{"000040", 6000}, {"003000", 7000}, {"024400", 7400}, {"024560", 7800}, {"024700", 8200}})
        ASSERT_TRUE(scale.Send(A9Frame(digits), at));
    EXPECT_EQ(view->lblState->text(), "不稳定");
    EXPECT_EQ(view->lblWeight->text(), "24700");
    EXPECT_FALSE(view->btnGross->isEnabled());
    for (qint64 at : {8600, 10600, 10700}) ASSERT_TRUE(scale.Send(A9Frame("024560"), at));
    EXPECT_FALSE(view->btnGross->isEnabled()) << "three readings are not yet a steady load";
    ASSERT_TRUE(scale.Hold(A9Frame("024560"), 10800));
    EXPECT_EQ(view->lblState->text(), "稳定");
    second->dtReg->setFocus();
    view->btnGross->click();
    EXPECT_EQ(second->edGross->text(), "24560");
    EXPECT_EQ(second->edWetNet->text(), "24560");
    EXPECT_EQ(second->focusWidget(), second->edTare) << "the next box to fill, never the date";
    EXPECT_FALSE(view->btnTare->isEnabled()) << "the loaded truck is not its own tare";
    FillRest(*second, farmer, "5230");
    second->DoOK();
    ASSERT_EQ(second->result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.Questions.isEmpty());
    EXPECT_EQ(c.batchRows("T_Batch", second->BatchNo(), "GrossWt,TareWt,WetNetWt"), "24560/5230/19330");
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE RefNo=:b", {{"b", second->BatchNo()}})),
              QString("农户ID=%1 净重19330.0kg 毛重:地磅 皮重:手工").arg(farmer));
    EXPECT_EQ(second->scale->Port()->Dropped(), 0);
    second.reset();

    // The program is closed and started again, the loaded truck still on the scale.
    TScaleReader::Forget();
    std::unique_ptr<TfrmBatchEdit> third = scale.Open(c.dm());
    ASSERT_TRUE(scale.Hold(A9Frame("024560"), 0));
    prompter.AnswerNo();
    third->scale->View()->btnGross->click();
    EXPECT_EQ(prompter.Questions.value(0), "地磅上的重量与上次保存的过磅重量相同（24560 公斤），且程序启动后车辆未曾下磅，"
                                           "可能是同一车重复取数。是否仍然取数？");
    EXPECT_EQ(third->edGross->text(), "");
    prompter.AnswerYes();
    third->scale->View()->btnGross->click();
    EXPECT_EQ(third->edGross->text(), "24560") << "the weigher knows it is another load";
    third.reset();

    // Seen empty once, the next load of the same weight is taken unasked.
    TScaleReader::Forget();
    std::unique_ptr<TfrmBatchEdit> fourth = scale.Open(c.dm());
    view = fourth->scale->View();
    ASSERT_TRUE(scale.Send(A9Frame("000000"), 0));
    ASSERT_TRUE(scale.Hold(A9Frame("024560"), 1000));
    view->btnGross->click();
    EXPECT_EQ(fourth->edGross->text(), "24560");
    EXPECT_EQ(prompter.Questions.size(), 2);

    scale.Unplug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->lblState->text() == "地磅未连接"; }, 10000));
    EXPECT_FALSE(view->btnGross->isEnabled());
    FillRest(*fourth, farmer, "5230");
    fourth->DoOK();
    EXPECT_EQ(fourth->result(), QDialog::Accepted) << "typed on without the scale";
}

TEST(ScaleAtRegistration, FromTheFirstFrameThatIsNoSteadyGrossNothingIsTakeableAndThePanelSaysWhy) {
    TIndicator scale(TScaleFormat::F4);
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    std::unique_ptr<TfrmBatchEdit> dlg = scale.Open(c.dm());
    const TScaleView* view = dlg->scale->View();

    QByteArray damaged = ToledoFrame(0x30, "024560");
    damaged[17] = char((damaged[17] + 1) & 0x7F);
    const struct {
        QByteArray frame;
        const char* state;
        const char* hint;
    } cases[] = {
        {ToledoFrame(0x34, "999999"), "超载", "超出称量范围，不能取数"},
        {ToledoFrame(0x36, "000100"), "欠载", "低于零点，不能取数；空磅时请在仪表上置零"},
        {ToledoFrame(0x38, "024560"), "不稳定", ""},
        {ToledoFrame(0x31, "024560"), "净重", "地磅显示净重，请切换为毛重显示"},
        {damaged + ToledoFrame(0x38, "024560").left(5), "数据错误", "地磅数据无法识别，不能取数；请检查数据格式、波特率与串口线"},
    };
    qint64 at = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(scale.Hold(ToledoFrame(0x30, "024560"), at));
        ASSERT_TRUE(view->btnGross->isEnabled()) << c.state;
        ASSERT_TRUE(scale.Send(c.frame, at + 2100));
        EXPECT_FALSE(view->btnGross->isEnabled()) << c.state;
        EXPECT_EQ(view->lblState->text(), c.state);
        EXPECT_EQ(view->lblHint->text(), c.hint);
        view->btnGross->click();
        EXPECT_EQ(dlg->edGross->text(), "") << c.state;
        at += 3000;
    }
    // Reading on past the last frame's broken start, a run of damaged frames keeps the port alive.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(scale.Send(damaged, at + 100 * i));
    EXPECT_EQ(view->lblState->text(), "数据错误");

    // Switched to pounds: 54145 lb is 24559.76 kg, taken to the division.
    ASSERT_TRUE(scale.Hold(ToledoFrame(0x20, "054145"), at + 1000));
    EXPECT_EQ(view->lblWeight->text(), "24560");
    view->btnGross->click();
    EXPECT_EQ(dlg->edGross->text(), "24560");
}
