#include "ScaleStation.h"
#include "FakeIndicator.h"

#include "app/uMain.h"
#include "forms/uCtl.h"
#include "scale/uPlate.h"
#include "scale/uScaleDesk.h"
#include "scale/uScalePort.h"
#include "scale/uScaleSet.h"
#include "scale/uScaleView.h"
#include "scale/uTareHistory.h"
#include "scale/uTicket.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"
#include "workflow/uBatchList.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A station whose indicator is not plugged in: the panel is there, the weights are typed.
const TScaleSettings kUnplugged{.Port = "/dev/movelkar-no-such-scale"};

TBatchInput Load(int farmerId, const QString& car, const QString& tare, int day) {
    return {.RegTime = QDateTime(QDate(2025, 9, day), QTime(8, 0)), .CarNo = car, .FarmerID = farmerId, .GrainID = 1,
            .WhID = 1, .InMoisture = "18", .Impurity = "1.5", .GrossWt = QString::number(tare.toDouble() + 10000),
            .TareWt = tare, .WetNetWt = "10000", .EstFee = "0"};
}

QString Register(TTestCentre& c, TBatchInput in) {
    const TBatchSaveResult r = TBatchLogic(c.dm()).Save(in);
    EXPECT_TRUE(r.Saved()) << r.Refusal.toStdString();
    return r.BatchNo;
}

bool HasMenu(TTestCentre& c, const QString& caption) {
    TfrmMain main(c.dm(), c.paths());
    main.BuildUI();
    return std::ranges::any_of(main.findChildren<QAction*>(), [&](QAction* a) { return a->text() == caption; });
}

// The indicator at the other end of the cable, on the test's own clock, and the registration
// dialogs of the station it is wired to.
class TIndicator {
public:
    explicit TIndicator(TScaleFormat format) {
        station_.Save({.Port = pty_.SlaveName(), .Format = format});
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

TEST(TareHistory, TheMedianOfTheVehiclesLastFiveTaresIsMatchedByPlateAndAFarTareIsConfirmed) {
    TScaleStation station(kUnplugged);
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    const int farmer = c.addFarmer("张三");
    // Plates are stored and matched trimmed, upper case and half width; rows saved before plates
    // were normalised keep what was typed, and are stored alike from then on.
    const QString typed = Register(c, Load(farmer, QStringLiteral(" 皖f66666\u3000"), "5000", 1));
    EXPECT_EQ(c.batchRows("T_Batch", typed, "CarNo"), "皖F66666");
    const QStringList old{QStringLiteral("皖Ｆ66666"), QStringLiteral("皖ｆ６６６６６"), QStringLiteral("皖F66666 ")};
    for (int i = 0; i < old.size(); ++i)
        c.dm().ExecSQLP("UPDATE T_Batch SET CarNo=:c WHERE BatchNo=:b",
                        {{"c", old[i]}, {"b", Register(c, Load(farmer, "X", QString::number(5100 + i * 100), i + 2))}});
    Register(c, Load(farmer, QStringLiteral("皖F666666"), "9000", 9));
    for (const QString& plate : {QStringLiteral("皖f66666"), QStringLiteral("皖Ｆ66666"), QStringLiteral("  皖F66666")})
        EXPECT_EQ(std::pair(TareHistory(c.dm(), plate).Count, TareHistory(c.dm(), plate).Median), std::pair(4, 5150.0)) << plate.toStdString();
    EXPECT_EQ(c.count("T_Batch", "CarNo='皖F66666'"), 4);
    EXPECT_EQ(NormalisePlate(QStringLiteral("ｓｕ　Ａ１２３４５")), QStringLiteral("SU A12345"));

    const QStringList tares{"4500", "5100", "9000", "5050", "4990", "5020"};  // 9000: a typing slip
    QStringList numbers;
    for (int i = 0; i < tares.size(); ++i) numbers << Register(c, Load(farmer, "皖A11111", tares[i], i + 1));
    const QString voided = Register(c, Load(farmer, "皖A11111", "1000", 10));
    c.dm().ExecSQLP("UPDATE T_Batch SET Status='已作废' WHERE BatchNo=:b", {{"b", voided}});
    Register(c, Load(farmer, "皖A11111", "", 11));
    Register(c, Load(farmer, "皖B22222", "12000", 12));

    const TTareHistory h = TareHistory(c.dm(), " 皖A11111 ");
    EXPECT_EQ(std::pair(h.Count, h.Median), std::pair(5, 5050.0)) << "the five newest: 5100 9000 5050 4990 5020";
    EXPECT_DOUBLE_EQ(TareHistory(c.dm(), "皖A11111", numbers[3]).Median, 5020) << "the batch being edited is not its own history";
    EXPECT_DOUBLE_EQ(MedianOf({5000, 5200}), 5100);

    EXPECT_EQ(CheckTare(c.dm(), "皖A11111", {}, "5300", 3).Question(), "该车皮重与历史皮重相差 4.95%，是否继续？");
    EXPECT_FALSE(CheckTare(c.dm(), "皖C33333", {}, "99999", 3).Ask) << "no history, no question";
    EXPECT_FALSE(CheckTare(c.dm(), "皖A11111", {}, "", 3).Ask) << "no tare typed yet";

    // The share against the allowance exactly: nothing rounded before comparing.
    for (int d = 1; d <= 3; ++d) Register(c, Load(farmer, "皖E55555", "5000", d));
    const struct { const char* tare; double allowed; bool ask; } shares[] = {{"5150", 3, false},   {"5150.5", 3, true},   {"5151.5", 3, true},      {"4850", 3, false},
                  {"4849.5", 3, true},  {"5125", 2.5, false},  {"5125.01", 2.5, true},  {"5000.01", 0.1, false}};
    for (const auto& s : shares)
        EXPECT_EQ(CheckTare(c.dm(), "皖E55555", {}, s.tare, s.allowed).Ask, s.ask) << s.tare << " against " << s.allowed;

    // Typed at the registration dialog, a far tare is asked about before saving and logged.
    c.dm().ExecSQLP("UPDATE T_Wh SET Capacity=1000000 WHERE WhID=1");
    const int batches = c.count("T_Batch");
    TfrmBatchEdit dlg(c.dm(), {});
    ASSERT_NE(dlg.scale, nullptr);
    dlg.edCar->setText("皖E55555");
    dlg.edGross->setText("15600");
    FillRest(dlg, farmer, "5600");
    prompter.AnswerNo();
    dlg.DoOK();
    EXPECT_EQ(prompter.Questions, QStringList{"该车皮重与历史皮重相差 12%，是否继续？"});
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(c.count("T_Batch"), batches);
    prompter.AnswerYes();
    dlg.DoOK();
    ASSERT_EQ(dlg.result(), QDialog::Accepted) << "an unplugged scale never stops a typed registration";
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE RefNo=:b", {{"b", dlg.BatchNo()}})),
              QString("农户ID=%1 净重10000.0kg 毛重:手工 皮重:手工 皮重与历史皮重5000kg相差12%已确认").arg(farmer));
}

TEST(Ticket, PrintedWithWhereEachWeightCameFromAndReprintedAsSuch) {
    TScaleStation station(kUnplugged);
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    QTemporaryDir out;
    const QString weigher = Session.UserName;
    TBatchInput in = Load(c.addFarmer("张三"), "苏A12345", "2000", 5);
    in.LogNote = "毛重:地磅 皮重:手工";
    const QString no = Register(c, in);

    station.Save({.Port = kUnplugged.Port, .PrintTicket = false});
    OfferTicket(c.dm(), no);
    EXPECT_TRUE(prompter.Questions.isEmpty()) << "打印磅单 switched off in 地磅设置";
    station.Save(TScaleSettings());  // no port: the ticket is offered all the same
    prompter.AnswerNo();
    OfferTicket(c.dm(), no);
    EXPECT_EQ(prompter.Questions.last(), "磅单已生成，是否立即打印？");
    EXPECT_TRUE(prompter.PrintTitles.isEmpty());
    prompter.AnswerYes();
    prompter.AnswerPrintTo(out.filePath("first.pdf"));
    OfferTicket(c.dm(), no);
    const QStringList first = PdfPages(out.filePath("first.pdf"));
    ASSERT_EQ(first.size(), 1);
    EXPECT_FALSE(first[0].contains("补打")) << qPrintable(first[0]);
    for (const QString& shown : {QString("过磅时间：2025-09-05 08:00"), QString("农户/客户：张三"), QString("入库水分：18%"),
                                 QString("毛重\\s+12000\\s+地磅"), QString("净重\\s+10000"), "司磅员：" + weigher})
        EXPECT_TRUE(first[0].contains(QRegularExpression(shown))) << qPrintable(shown) << " in " << qPrintable(first[0]);

    // Changed later by an administrator, the gross typed this time: the reprint follows the
    // last save, and still names the weigher who registered the load.
    c.loginAs(Roles::Admin);
    in.BatchNo = no;
    in.LogNote = "毛重:手工 皮重:手工";
    Register(c, in);
    TfrmBatchList list(c.dm());
    list.Reload();
    prompter.AnswerPrintTo(out.filePath("again.pdf"));
    list.DoReprint();
    EXPECT_EQ(prompter.PrintTitles.last(), "收粮磅单（补打）");
    const QString again = PdfPages(out.filePath("again.pdf")).value(0);
    for (const QString& shown : {QString("收粮磅单（补打）"), QString("补打时间："), QString("毛重\\s+12000\\s+手工录入"), "司磅员：" + weigher})
        EXPECT_TRUE(again.contains(QRegularExpression(shown))) << qPrintable(shown) << " in " << qPrintable(again);
    EXPECT_EQ(c.logActions(), (QStringList{"收粮登记", "修改登记", "补打磅单"}));

    // A copy can be printed from the preview, so opening one is logged as a reprint as well.
    prompter.RenderPreviewTo(out.filePath("preview.pdf"));
    list.DoReprint(TPrintTarget::Preview);
    EXPECT_TRUE(PdfPages(out.filePath("preview.pdf")).value(0).contains("收粮磅单（补打）"));
    EXPECT_EQ(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE LogID=(SELECT MAX(LogID) FROM T_Log)")), "打印预览");

    c.dm().ExecSQLP("UPDATE T_Batch SET Status='已作废' WHERE BatchNo=:b", {{"b", no}});
    EXPECT_FALSE(PrintTicket(c.dm(), no, true));
    EXPECT_EQ(prompter.LastText(), "该批次已作废，不能打印磅单");
    EXPECT_FALSE(PrintTicket(c.dm(), "PC20250101999", true));
    EXPECT_EQ(prompter.LastText(), "批次不存在：PC20250101999");
    EXPECT_EQ(prompter.PrintTitles.size(), 2) << "nothing asked of the printer for either";
}

TEST(ScaleSettings, OnlyAnAdministratorSetsThemPerStationAndNothingBadIsKept) {
    TScaleStation station;
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    // Without a port the weighbridge is hidden, also where the file names none.
    EXPECT_FALSE(LoadScaleSettings().Enabled());
    EXPECT_EQ(TfrmBatchEdit(c.dm(), {}).scale, nullptr);
    station.Save({.Baud = 2400});
    EXPECT_EQ(TfrmBatchEdit(c.dm(), {}).scale, nullptr);
    EXPECT_FALSE(HasMenu(c, "地磅设置"));
    OpenScaleSettings(c.dm());
    EXPECT_EQ(prompter.LastText(), "只有管理员可以设置地磅");

    c.loginAs(Roles::Admin);
    EXPECT_TRUE(HasMenu(c, "地磅设置"));
    TfrmScaleSet dlg(c.dm());
    dlg.cbPort->setEditText("/dev/pts/7");  // a port the system's list never shows, typed
    dlg.edMinWeight->setText("-5");
    dlg.DoOK();
    EXPECT_EQ(prompter.LastText(), "数值超出范围：最小称量(公斤)");
    EXPECT_FALSE(LoadScaleSettings().Enabled()) << "nothing written on a refusal";
    dlg.edMinWeight->setText("800");
    dlg.cbFormat->setCurrentIndex(2);
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    TScaleSettings saved = LoadScaleSettings();
    EXPECT_EQ(QStringList({saved.Port, ScaleFormatName(saved.Format), QString::number(saved.MinWeight)}),
              QStringList({"/dev/pts/7", ScaleFormatName(TScaleFormat::F3), "800"}));
    EXPECT_EQ(c.count("T_Log", "ActType='地磅设置'"), 1);
    EXPECT_EQ(TfrmScaleSet(c.dm()).cbPort->currentText(), "/dev/pts/7") << "shown again as saved";

    std::tie(saved.StableSeconds, saved.StableFrames, saved.PrintTicket) = std::tuple(1.5, 8, false);
    station.Save(saved);
    const TScaleSettings reread = LoadScaleSettings();
    EXPECT_EQ(std::tuple(reread.Rule().StableMs, reread.Rule().StableFrames, reread.PrintTicket), std::tuple(1500, 8, false));
    for (auto [key, value] : {std::pair{"Scale/Baud", QVariant(115200)}, {"Scale/Division", "abc"}, {"Scale/Format", "F9"}})
        QSettings(station.IniPath(), QSettings::IniFormat).setValue(key, value);
    const TScaleSettings damaged = LoadScaleSettings();
    EXPECT_EQ(QStringList({QString::number(damaged.Baud), QString::number(damaged.Division), ScaleFormatName(damaged.Format), damaged.Port}),
              QStringList({"9600", "10", ScaleFormatName(TScaleFormat::F1), "/dev/pts/7"}));

    TScaleSettingsInput in{"COM3", 9600, TScaleFormat::F2, "0", "500", "2", "5", "3"};
    TScaleSettingsCheck check = CheckScaleSettings(in);
    EXPECT_EQ(std::pair(check.Refusal, check.Focus), std::pair(QString("分度值(公斤)应在 0.001 到 1000 之间"), TScaleField::Division));
    in.Division = "１０";
    in.StableSeconds = "两秒";
    EXPECT_EQ(CheckScaleSettings(in).Refusal, "请输入有效的数字：稳定时间(秒)");
    in.StableSeconds = "2";
    for (const char* frames : {"1", "101", "4.5"}) {
        in.StableFrames = frames;
        check = CheckScaleSettings(in);
        EXPECT_EQ(check.Focus, TScaleField::StableFrames) << frames;
        EXPECT_TRUE(check.Refusal.startsWith("稳定帧数应")) << frames;
    }
    in.StableFrames = "5";
    check = CheckScaleSettings(in);
    EXPECT_EQ(std::pair(check.Refusal, check.Settings.Division), std::pair(QString(), 10.0)) << "full-width digits typed with a Chinese input method";

    // A folder that cannot take the file is said so, never reported as saved.
    QFile blocker(station.IniPath() + ".d");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SetScaleIniPath(station.IniPath() + ".d/Movelkar.ini");
    EXPECT_TRUE(SaveScaleSettings(saved).startsWith("无法保存地磅设置："));
}

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
    const struct { QByteArray frame; const char* state; const char* hint; } cases[] = {
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
        EXPECT_EQ(view->lblState->text() + " / " + view->lblHint->text(), QString(c.state) + " / " + c.hint);
        view->btnGross->click();
        EXPECT_EQ(dlg->edGross->text(), "") << c.state;
        at += 3000;
    }
    // Reading on past the last frame's broken start, a run of damaged frames keeps the port alive.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(scale.Send(damaged, at + 100 * i));
    EXPECT_EQ(view->lblState->text(), "数据错误");
}
