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
#include <QPushButton>
#include <QSettings>

namespace {
bool HasChild(QWidget& w, const QString& caption) {
    for (QAction* a : w.findChildren<QAction*>())
        if (a->text() == caption) return true;
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == caption) return true;
    return false;
}
}  // namespace

TEST(ScaleSettings, WithoutAPortTheWeighbridgeIsHiddenAndOnlyAnAdministratorSetsIt) {
    TScaleStation station;
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    EXPECT_FALSE(LoadScaleSettings().Enabled());
    EXPECT_EQ(TfrmBatchEdit(c.dm(), {}).scale, nullptr);
    TfrmMain weigherMain(c.dm(), c.paths());
    weigherMain.BuildUI();
    EXPECT_FALSE(HasChild(weigherMain, "地磅设置"));
    OpenScaleSettings(c.dm());
    EXPECT_EQ(prompter.LastText(), "只有管理员可以设置地磅");

    // A file that names no port is the same as none.
    TScaleSettings blank;
    blank.Baud = 2400;
    SaveScaleSettings(blank);
    EXPECT_EQ(TfrmBatchEdit(c.dm(), {}).scale, nullptr);

    c.loginAs(Roles::Admin);
    TfrmMain adminMain(c.dm(), c.paths());
    adminMain.BuildUI();
    EXPECT_TRUE(HasChild(adminMain, "地磅设置"));
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
    const TScaleSettings saved = LoadScaleSettings();
    EXPECT_EQ(saved.Port, "/dev/pts/7");
    EXPECT_EQ(saved.Format, TScaleFormat::F3);
    EXPECT_EQ(saved.MinWeight, 800);
    EXPECT_EQ(c.count("T_Log", "ActType='地磅设置'"), 1);
    EXPECT_EQ(TfrmScaleSet(c.dm()).cbPort->currentText(), "/dev/pts/7") << "shown again as saved";
}

TEST(ScaleSettings, KeptPerStationInTheIniFileAndCheckedBeforeSaving) {
    TScaleStation station;
    TScaleSettings s;
    s.Port = "/dev/ttyUSB0";
    s.Baud = 4800;
    s.Format = TScaleFormat::F4;
    s.Division = 20;
    s.MinWeight = 1000;
    s.StableSeconds = 1.5;
    s.StableFrames = 8;
    s.TareShare = 5;
    s.PrintTicket = false;
    station.Save(s);
    const TScaleSettings back = LoadScaleSettings();
    EXPECT_EQ(ScaleSettingsText(back), ScaleSettingsText(s));
    EXPECT_EQ(back.Rule().StableMs, 1500);
    EXPECT_EQ(back.Rule().StableFrames, 8);
    EXPECT_FALSE(back.PrintTicket);
    EXPECT_TRUE(TScaleSettings().PrintTicket) << "the ticket is offered unless switched off";

    {
        QSettings ini(station.IniPath(), QSettings::IniFormat);
        ini.setValue("Scale/Baud", 115200);
        ini.setValue("Scale/Division", "abc");
        ini.setValue("Scale/Format", "F9");
    }
    const TScaleSettings damaged = LoadScaleSettings();
    EXPECT_EQ(damaged.Baud, 9600);
    EXPECT_EQ(damaged.Division, 10);
    EXPECT_EQ(damaged.Format, TScaleFormat::F1);
    EXPECT_EQ(damaged.Port, "/dev/ttyUSB0");

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
    EXPECT_TRUE(SaveScaleSettings(s).startsWith("无法保存地磅设置："));
}
