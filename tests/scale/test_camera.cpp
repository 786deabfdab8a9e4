#include "support/FakeCamera.h"
#include "ScaleStation.h"

#include "scale/uCameraConfig.h"
#include "scale/uCameraSet.h"
#include "scale/uCameraShot.h"
#include "support/TestCentre.h"
#include "support/TestPrompter.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <functional>

namespace {
void SetCamera(const QString& ini, int slot, const QString& name, const QString& url, const QString& user = {},
               const QString& passwordFile = {}) {
    QSettings s(ini, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("Camera%1").arg(slot));
    s.setValue("name", name);
    s.setValue("url", url);
    s.setValue("user", user);
    s.setValue("password_file", passwordFile);
}

QList<TCameraPicture> ShootAll(TCameraShot& shot, QStringList* order = nullptr) {
    QSignalSpy finished(&shot, &TCameraShot::Finished);
    if (order)
        QObject::connect(&shot, &TCameraShot::PictureReady, &shot,
                         [order](int, const TCameraPicture& p) { *order << p.Camera; });
    const int round = shot.Shoot(LoadCameras());
    EXPECT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.first().at(0).toInt(), round);
    return finished.first().at(1).value<QList<TCameraPicture>>();
}
}  // namespace

TEST(Camera, APasswordIsUsedOnlyFromAPrivateFileAndOneCameraFailingOnlyLosesItsOwnPicture) {
    TScaleStation station;
    QTemporaryDir secrets;
    const QString passFile = secrets.filePath("cam.pass");
    TFakeCamera gate(TFakeCamera::TMode::Basic);
    SetCamera(station.IniPath(), 1, "车头", gate.Url(), TFakeCamera::kUser, passFile);
    TCameraShot shot;
    shot.SetTimeoutMs(400);

    const struct {
        const char* password;
        QFileDevice::Permissions perms;
        QString failure;
    } cases[] = {
        {nullptr, {}, "相机 车头 未抓拍：相机密码文件不存在：" + passFile},
        {"cam-pa55\r\n", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther,
         "相机 车头 未抓拍：相机密码文件其他用户也能读取，已拒绝使用（请只允许本用户读取，如 chmod 600）：" + passFile},
        {"wrong", QFileDevice::ReadOwner | QFileDevice::WriteOwner, "相机 车头 拒绝了用户名或密码"},
        {"cam-pa55\n", QFileDevice::ReadOwner, ""},
    };
    for (const auto& c : cases) {
        QFile::remove(passFile);
        if (c.password) {
            QFile f(passFile);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.password);
            f.close();
            QFile::setPermissions(passFile, c.perms);
        }
        const int askedBefore = gate.Asked();
        const QList<TCameraPicture> pictures = ShootAll(shot);
        ASSERT_EQ(pictures.size(), 1);
        if (!c.password || (c.perms & QFileDevice::ReadOther))
            EXPECT_EQ(gate.Asked(), askedBefore) << "a password refused here is not tried on the camera";
        EXPECT_EQ(pictures[0].Failure, c.failure) << (c.password ? c.password : "(no file)");
        EXPECT_EQ(pictures[0].Ok(), c.failure.isEmpty());
    }

    // All cameras are asked at once.
    const QString savedPass = secrets.filePath("camera2.pass");
    ASSERT_EQ(SaveCameraPassword(savedPass, TFakeCamera::kPassword), QString());
    EXPECT_EQ(QFile::permissions(savedPass) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    TFakeCamera front(TFakeCamera::TMode::Jpeg), back(TFakeCamera::TMode::Digest), mute(TFakeCamera::TMode::Silent),
        junk(TFakeCamera::TMode::Garbage);
    SetCamera(station.IniPath(), 1, "车头", front.Url());
    SetCamera(station.IniPath(), 2, "车尾", back.Url(), TFakeCamera::kUser, savedPass);
    SetCamera(station.IniPath(), 3, "侧面", mute.Url());
    SetCamera(station.IniPath(), 4, "磅房", junk.Url());
    QSettings(station.IniPath(), QSettings::IniFormat).remove("Camera4/name");  // falls back to the slot
    ASSERT_EQ(LoadCameras().size(), 4);
    EXPECT_EQ(LoadCameras()[1].Password, TFakeCamera::kPassword);
    QFile ini(station.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains(TFakeCamera::kPassword));

    QStringList order;
    const QList<TCameraPicture> pictures = ShootAll(shot, &order);
    ASSERT_EQ(pictures.size(), 4);
    EXPECT_EQ(pictures[0].Jpeg, front.Jpeg());
    EXPECT_EQ(pictures[1].Jpeg, back.Jpeg()) << pictures[1].Failure.toStdString();
    EXPECT_EQ(pictures[2].Failure, "未抓拍（相机 侧面 无响应）");
    EXPECT_EQ(pictures[3].Failure, "相机 4 返回的不是图片");
    EXPECT_TRUE(pictures[2].Jpeg.isEmpty() && pictures[3].Jpeg.isEmpty());
    // The silent camera was waited for alongside the others, not before them.
    EXPECT_EQ(order.last(), "侧面");
    EXPECT_EQ(mute.Asked(), 1);
}

TEST(Camera, TheSettingsPageKeepsThePasswordOutOfTheIniAndTheLogAndTestsACamera) {
    TScaleStation station;
    TTestCentre c;
    TTestPrompter prompter;
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    TFakeCamera gate(TFakeCamera::TMode::Digest);

    TfrmCameraSet dlg(c.dm());
    dlg.edName[0]->setText("车头");
    dlg.edUrl[0]->setText("ftp://127.0.0.1/x.jpg");
    dlg.edName[1]->setText("车头");
    dlg.edUrl[1]->setText(gate.Url());
    const struct {
        std::function<void()> change;
        QString refusal;
    } cases[] = {
        {[] {}, "相机1：抓拍地址应以 http:// 或 https:// 开头"},
        {[&] { dlg.edUrl[0]->setText(gate.Url()); }, "相机2：名称与其他相机相同"},
        {[&] { dlg.edName[1]->clear(); dlg.edUrl[1]->clear(); dlg.edName[2]->setText("侧面"); }, "相机3：请填写抓拍地址"},
    };
    for (const auto& k : cases) {
        k.change();
        dlg.DoOK();
        EXPECT_EQ(prompter.LastText(), k.refusal);
        EXPECT_TRUE(LoadCameras().isEmpty()) << "nothing written on a refusal";
    }
    dlg.edName[2]->clear();
    dlg.edUser[0]->setText(TFakeCamera::kUser);
    dlg.edPassword[0]->setText(TFakeCamera::kPassword);
    QSignalSpy finished(&dlg.shot, &TCameraShot::Finished);
    dlg.DoTest(0);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(dlg.lbTest[0]->pixmap().isNull()) << dlg.lbTest[0]->text().toStdString();

    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    const QList<TCameraConfig> saved = LoadCameras();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].Password, TFakeCamera::kPassword) << saved[0].PasswordProblem.toStdString();
    QFile ini(station.IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains(TFakeCamera::kPassword));
    EXPECT_FALSE(c.rows("SELECT Detail FROM T_Log WHERE ActType='相机设置'").contains(TFakeCamera::kPassword));
    EXPECT_EQ(c.count("T_Log", "ActType='相机设置'"), 1);
    qputenv("HOME", oldHome);
}
