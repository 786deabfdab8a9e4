#include "ScaleStation.h"

#include "app/uMain.h"
#include "scale/uScaleSet.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>

namespace {
bool HasMenu(const TTestCentre& c, const QString& caption) {
    TfrmMain main(const_cast<TTestCentre&>(c).dm(), c.paths());
    main.BuildUI();
    for (QAction* a : main.findChildren<QAction*>())
        if (a->text() == caption) return true;
    return false;
}
}  // namespace

TEST(ScaleSettings, OnlyAnAdministratorSetsThemPerStationAndNothingBadIsKept) {
    TScaleStation station;
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    // Without a port the weighbridge is hidden, also where the file names none.
    EXPECT_FALSE(LoadScaleSettings().Enabled());
    EXPECT_EQ(TfrmBatchEdit(c.dm(), {}).scale, nullptr);
    TScaleSettings blank;
    blank.Baud = 2400;
    station.Save(blank);
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
    EXPECT_EQ(saved.Port, "/dev/pts/7");
    EXPECT_EQ(saved.Format, TScaleFormat::F3);
    EXPECT_EQ(saved.MinWeight, 800);
    EXPECT_EQ(c.count("T_Log", "ActType='地磅设置'"), 1);
    EXPECT_EQ(TfrmScaleSet(c.dm()).cbPort->currentText(), "/dev/pts/7") << "shown again as saved";

    saved.StableSeconds = 1.5;
    saved.StableFrames = 8;
    saved.PrintTicket = false;
    station.Save(saved);
    EXPECT_EQ(LoadScaleSettings().Rule().StableMs, 1500);
    EXPECT_EQ(LoadScaleSettings().Rule().StableFrames, 8);
    EXPECT_FALSE(LoadScaleSettings().PrintTicket);
    EXPECT_TRUE(TScaleSettings().PrintTicket) << "the ticket is offered unless switched off";
    {
        QSettings ini(station.IniPath(), QSettings::IniFormat);
        ini.setValue("Scale/Baud", 115200);
        ini.setValue("Scale/Division", "abc");
        ini.setValue("Scale/Format", "F9");
    }
    const TScaleSettings damaged = LoadScaleSettings();
    EXPECT_EQ(QStringList({QString::number(damaged.Baud), QString::number(damaged.Division), ScaleFormatName(damaged.Format), damaged.Port}),
              QStringList({"9600", "10", ScaleFormatName(TScaleFormat::F1), "/dev/pts/7"}));

    TScaleSettingsInput in{"COM3", 9600, TScaleFormat::F2, "0", "500", "2", "5", "3"};
    TScaleSettingsCheck check = CheckScaleSettings(in);
    EXPECT_EQ(check.Refusal, "分度值(公斤)应在 0.001 到 1000 之间");
    EXPECT_EQ(check.Focus, TScaleField::Division);
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
    EXPECT_EQ(check.Refusal, QString());
    EXPECT_EQ(check.Settings.Division, 10) << "full-width digits typed with a Chinese input method";

    // A folder that cannot take the file is said so, never reported as saved.
    QFile blocker(station.IniPath() + ".d");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SetScaleIniPath(station.IniPath() + ".d/Movelkar.ini");
    EXPECT_TRUE(SaveScaleSettings(saved).startsWith("无法保存地磅设置："));
}
