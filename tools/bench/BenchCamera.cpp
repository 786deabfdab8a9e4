// The cameras at a weighing: two cameras answering on this computer's loopback address, asked
// at 取毛重 from a registration dialog. The first line is what the take adds to the dialog's
// response (the pictures come in the background); the second the take until both pictures are
// stored, which the weigher does not wait for.

#include "BenchOp.h"

#include "scale/uPhotoDesk.h"
#include "scale/uScaleSettings.h"
#include "support/FakeCamera.h"

#include <QDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <stdexcept>

namespace {
class TCameraTakeOp : public TBenchOp {
public:
    explicit TCameraTakeOp(bool untilStored)
        : TBenchOp(untilStored ? "take with two cameras, until both pictures are stored"
                               : "take with two cameras: the dialog's response to 取毛重"),
          untilStored_(untilStored) {}
    ~TCameraTakeOp() override {
        dialog_.reset();  // closed unsaved: its pictures' files go with it
        SetScaleIniPath({});
    }

    void Prepare(TBenchEnv&) override {
        front_ = std::make_unique<TFakeCamera>(TFakeCamera::TMode::Jpeg, QColor(40, 90, 160), QSize(1920, 1080));
        side_ = std::make_unique<TFakeCamera>(TFakeCamera::TMode::Jpeg, QColor(150, 110, 60), QSize(1280, 960));
        const QString ini = dir_.filePath("Movelkar.ini");
        {
            QSettings s(ini, QSettings::IniFormat);
            s.setValue("Camera1/name", QStringLiteral("车头"));
            s.setValue("Camera1/url", front_->Url());
            s.setValue("Camera2/name", QStringLiteral("侧面"));
            s.setValue("Camera2/url", side_->Url());
            s.setValue("photos/folder", dir_.filePath("Photos"));
        }
        SetScaleIniPath(ini);
    }
    // A new registration dialog each run, the previous one's pictures all in and then discarded.
    void BeforeRun(TBenchEnv& env, int) override {
        if (desk_) desk_->Finish();
        dialog_ = std::make_unique<QDialog>();
        desk_ = TPhotoDesk::Attach(dialog_.get(), env.Dm);
        if (!desk_) throw std::runtime_error("the cameras were not read from Movelkar.ini");
    }
    qint64 Run(TBenchEnv&, int) override {
        desk_->Take(kWtKindGross, 24560);
        if (!untilStored_) return desk_->Photos().size();
        qint64 stored = 0;
        for (const TPhoto& p : desk_->Finish()) stored += p.HasFile() ? 1 : 0;
        if (stored != 2) throw std::runtime_error("the cameras' pictures were not stored");
        return stored;
    }

private:
    bool untilStored_;
    QTemporaryDir dir_;
    std::unique_ptr<TFakeCamera> front_, side_;
    std::unique_ptr<QDialog> dialog_;
    TPhotoDesk* desk_ = nullptr;  // the dialog's
};

const TBenchArea kCameras(46, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TCameraTakeOp>(false));
    ops.push_back(std::make_unique<TCameraTakeOp>(true));
    return ops;
});
}  // namespace
