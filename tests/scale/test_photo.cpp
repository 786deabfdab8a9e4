#include "support/FakeCamera.h"
#include "ScaleStation.h"

#include "data/uDbUpgrade.h"
#include "forms/uCtl.h"
#include "reports/uReportQuery.h"
#include "scale/uCameraSet.h"
#include "scale/uPhoto.h"
#include "scale/uPhotoDesk.h"
#include "scale/uPhotoView.h"
#include "scale/uTicket.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"
#include "workflow/uBatch.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <functional>

namespace {
void SetCamera(const QString& ini, int slot, const QString& name, const QString& url, const QString& user = {},
               const QString& passwordFile = {}) {
    QSettings s(ini, QSettings::IniFormat);
    const QStringList keys{"name", "url", "user", "password_file"}, values{name, url, user, passwordFile};
    for (int i = 0; i < keys.size(); ++i) s.setValue(QStringLiteral("Camera%1/").arg(slot) + keys[i], values[i]);
}

// One round of pictures from the cameras (those of the station's settings when none are given),
// in the order of the cameras; `order` gets the cameras in the order they answered.
QList<TCameraPicture> Shoot(QList<TCameraConfig> cameras = {}, QStringList* order = nullptr) {
    TCameraShot shot;
    shot.SetTimeoutMs(300);
    QSignalSpy finished(&shot, &TCameraShot::Finished);
    if (order)
        QObject::connect(&shot, &TCameraShot::PictureReady, &shot, [order](int, const TCameraPicture& p) { *order << p.Camera; });
    const int round = shot.Shoot(cameras.isEmpty() ? LoadCameras() : cameras);
    EXPECT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.first().at(0).toInt(), round);
    return finished.first().at(1).value<QList<TCameraPicture>>();
}

int FilesUnder(const QString& root) {
    int n = 0;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) ++n;
    return n;
}
}  // namespace

TEST(Camera, APasswordIsUsedOnlyFromAPrivateFileAndOneCameraFailingOnlyLosesItsOwnPicture) {
    TScaleStation station;
    QTemporaryDir secrets;
    const QString passFile = secrets.filePath("cam.pass");
    TFakeCamera gate(TFakeCamera::TMode::Basic);
    SetCamera(station.IniPath(), 1, "车头", gate.Url(), TFakeCamera::kUser, passFile);

    const struct { const char* password; QFileDevice::Permissions perms; QString failure; } cases[] = {
        {nullptr, {}, "相机 车头 未抓拍：相机密码文件不存在：" + passFile},
        {"cam-pa55\r\n", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther,
         "相机 车头 未抓拍：相机密码文件其他用户也能读取，已拒绝使用（请只允许本用户读取，如 chmod 600）：" + passFile},
        {"wrong", QFileDevice::ReadOwner | QFileDevice::WriteOwner, "相机 车头 拒绝了用户名或密码"},
        {"cam-pa55\n", QFileDevice::ReadOwner, ""},
    };
    for (const auto& c : cases) {
        QFile::remove(passFile);
        QFile f(passFile);
        if (c.password) ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(c.password) > 0 && f.flush() && f.setPermissions(c.perms));
        const int askedBefore = gate.Asked();
        const QList<TCameraPicture> pictures = Shoot();
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

    QStringList order;
    const QList<TCameraPicture> pictures = Shoot({}, &order);
    ASSERT_EQ(pictures.size(), 4);
    EXPECT_EQ(pictures[0].Jpeg, front.Jpeg());
    EXPECT_EQ(pictures[1].Jpeg, back.Jpeg()) << pictures[1].Failure.toStdString();
    EXPECT_EQ(pictures[2].Failure, "未抓拍（相机 侧面 无响应）");
    EXPECT_EQ(pictures[3].Failure, "相机 4 返回的不是图片");
    EXPECT_TRUE(pictures[2].Jpeg.isEmpty() && pictures[3].Jpeg.isEmpty());
    EXPECT_EQ(order.last(), "侧面") << "the silent camera waited for alongside the others, not before them";
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
    const struct { std::function<void()> change; QString refusal; } cases[] = {
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
    EXPECT_EQ(c.rows("SELECT COUNT(*), SUM(CASE WHEN Detail LIKE '%' || :p || '%' THEN 1 ELSE 0 END) FROM T_Log WHERE ActType='相机设置'",
                     {{"p", TFakeCamera::kPassword}}), "1/0") << "one log row, the password not in it";
    qputenv("HOME", oldHome);
}
// The weigher goes on while the cameras answer; the save waits for them and keeps their pictures
// with the registration, both or neither, and a dialog closed without saving takes its pictures
// with it. A picture changed or gone from its folder is never shown as evidence.
TEST(Photo, TheDialogPhotographsEachWeighingWithoutWaitingAndKeepsPicturesOnlyWithItsSave) {
    TScaleStation station;
    TTestCentre c(Roles::Weigher);
    TTestPrompter prompter;
    // A database of the previous version, without the pictures' table, gets it at start-up.
    c.dm().ExecSQLP("DROP TABLE T_Photo");
    EXPECT_EQ(UpgradeDatabase(c.dm()), "");
    EXPECT_EQ(UpgradeDatabase(c.dm()), "");
    TFakeCamera front(TFakeCamera::TMode::Jpeg, Qt::darkGreen, {1920, 1080}), side(TFakeCamera::TMode::Silent);
    SetCamera(station.IniPath(), 1, "车头", front.Url());
    SetCamera(station.IniPath(), 3, "侧面", side.Url());
    const QString root = PhotoRoot(c.dm());
    if (c.dm().Engine() == TDbEngine::SQLite) EXPECT_EQ(root, QFileInfo(c.dm().DbPath()).absolutePath() + "/Photos");
    const int farmer = c.addFarmer("张三");
    {
        TfrmBatchEdit cancelled(c.dm(), {});
        ASSERT_NE(cancelled.photos, nullptr);
        cancelled.photos->Shot().SetTimeoutMs(300);
        QSignalSpy stored(cancelled.photos, &TPhotoDesk::PhotoStored);
        cancelled.photos->Take(kWtKindGross, 24560);
        EXPECT_TRUE(cancelled.photos->Photos().isEmpty()) << "the take returned before any camera answered";
        EXPECT_EQ(cancelled.photos->status->text(), "正在抓拍…");
        ASSERT_TRUE(QTest::qWaitFor([&] { return stored.size() == 2; }, 10000));
        EXPECT_EQ(FilesUnder(root), 1);
        EXPECT_EQ(cancelled.photos->thumbs[1]->text(), "未抓拍（相机 侧面 无响应）");
        cancelled.reject();
    }
    EXPECT_EQ(FilesUnder(root), 0);

    TfrmBatchEdit dlg(c.dm(), {});
    dlg.photos->Shot().SetTimeoutMs(300);
    for (auto [box, text] : {std::pair{dlg.edCar, "皖A12345"}, {dlg.edGross, "12000"}, {dlg.edTare, "2000"}, {dlg.edMoisture, "17"}})
        box->setText(text);
    for (auto [box, id] : {std::pair{dlg.cbGrain, 1}, {dlg.cbFarmer, farmer}, {dlg.cbWh, 1}}) SetComboID(box, id);
    c.refuseWrites("T_Photo", "INSERT", "磁盘已满");
    dlg.DoOK();  // both weights typed: photographed at the save
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(c.count("T_Batch"), 0) << "a save that fails part-way records no picture and no batch";
    c.allowWrites("T_Photo");
    dlg.DoOK();
    ASSERT_EQ(dlg.result(), QDialog::Accepted) << prompter.LastText().toStdString();
    const QString no = dlg.BatchNo();
    EXPECT_EQ(c.rows("SELECT WtKind, CameraName, Weight, CASE WHEN FilePath IS NULL THEN 0 ELSE 1 END FROM T_Photo WHERE BatchNo=:b "
                     "ORDER BY WtKind, CameraName DESC", {{"b", no}}), "毛重/车头/12000/1; 毛重/侧面/12000/0; 皮重/车头/2000/1; 皮重/侧面/2000/0");
    EXPECT_EQ(BatchPhotoCount(c.dm(), no), 2);
    EXPECT_TRUE(VarToStr(c.scalar("SELECT Detail FROM T_Log WHERE ActType='收粮登记'"))
                    .contains("毛重未抓拍（相机 侧面 无响应） 皮重未抓拍（相机 侧面 无响应）"));
    EXPECT_EQ(FilesUnder(root), 2);
    EXPECT_TRUE(PhotoBackupNote(root, false).startsWith("过磅照片不在数据库中，请另行备份照片文件夹：" + root + "（2 个文件，共 "));
    const QList<TPhoto> kept = BatchPhotos(c.dm(), no);
    ASSERT_EQ(kept.size(), 4);
    EXPECT_TRUE(kept[0].FilePath.startsWith(kept[0].ShotTime.toString("yyyy/MM/")));
    EXPECT_EQ(QImage(root + "/" + kept[0].FilePath).width(), kPhotoMaxWidth);

    // Where they are seen: the ledger's pictures, gross beside tare; the ticket; the trace report.
    const auto texts = [&] {
        TfrmBatchPhotos view(c.dm(), no);
        QStringList t;
        for (QLabel* l : view.shown) t << (l->pixmap().isNull() ? l->text() : "picture");
        return t;
    };
    EXPECT_EQ(texts(), (QStringList{"picture", "未抓拍（相机 侧面 无响应）", "picture", "未抓拍（相机 侧面 无响应）"}));
    QTemporaryDir out;
    prompter.AnswerPrintTo(out.filePath("ticket.pdf"));
    ASSERT_TRUE(PrintTicket(c.dm(), no, false));
    const QString page = PdfPages(out.filePath("ticket.pdf")).value(0);
    EXPECT_TRUE(page.contains("未抓拍（相机 侧面 无响应）")) << qPrintable(page);
    const TSqlText trace = TraceReport(no);
    EXPECT_EQ(VarToInt(c.dm().OpenSQLP(trace.Sql, trace.Params).Field("过磅照片张数")), 2);

    QStringList files;
    for (const TPhoto& p : kept)
        if (p.HasFile()) files << root + "/" + p.FilePath;
    QFile swapped(files.value(1));
    ASSERT_TRUE(swapped.open(QIODevice::ReadWrite) && swapped.seek(200) && swapped.write("x") == 1);  // one byte is enough
    swapped.close();
    QFile::remove(files.value(0));
    EXPECT_EQ(texts(), (QStringList{"照片缺失", "未抓拍（相机 侧面 无响应）", "照片已被改动", "未抓拍（相机 侧面 无响应）"}));

    // A shared folder out of reach: the weighing goes on and says the picture was not saved.
    QSettings(station.IniPath(), QSettings::IniFormat).setValue("photos/folder", "/proc/version/Photos");
    const QString shared = PhotoRoot(c.dm());
    EXPECT_EQ(shared, "/proc/version/Photos");
    const TPhoto lost = StorePhoto(shared, Shoot(LoadCameras().mid(0, 1)).first(), kWtKindGross, 100);
    EXPECT_FALSE(lost.HasFile());
    EXPECT_TRUE(lost.Failure.startsWith("照片未能保存")) << lost.Failure.toStdString();
    // And its backup says the folder is out of reach, where a station's own folder not yet made
    // (no picture taken) says nothing.
    EXPECT_TRUE(PhotoBackupNote(shared, PhotoFolderNamed()).startsWith("照片文件夹 /proc/version/Photos 无法访问"));
    EXPECT_EQ(PhotoBackupNote(root + "/none", false), "");
}
