#include "scale/uCameraSet.h"

#include "data/uDM.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

QString CheckCameraRows(const QList<TCameraRow>& rows) {
    QStringList names;
    for (int i = 0; i < rows.size(); ++i) {
        const QString at = QStringLiteral("相机%1：").arg(i + 1);
        const QString name = rows[i].Name.trimmed(), url = rows[i].Url.trimmed();
        if (url.isEmpty()) {
            if (!name.isEmpty()) return at + QStringLiteral("请填写抓拍地址");
            continue;
        }
        const QUrl parsed(url);
        if (!parsed.isValid() || (parsed.scheme() != "http" && parsed.scheme() != "https") || parsed.host().isEmpty())
            return at + QStringLiteral("抓拍地址应以 http:// 或 https:// 开头");
        const QString shown = name.isEmpty() ? QString::number(i + 1) : name;
        if (shown.size() > 20) return at + QStringLiteral("名称不能超过20个字");
        if (names.contains(shown)) return at + QStringLiteral("名称与其他相机相同");
        names << shown;
    }
    return {};
}

TfrmCameraSet::TfrmCameraSet(TDM& dm, QWidget* parent) : QDialog(parent), dm_(dm) {
    setWindowTitle(QStringLiteral("相机设置"));
    setFixedSize(900, 560);
    ApplyFormFont(this);
    stored_ = LoadCameras();
    const auto find = [&](int slot) {
        for (const TCameraConfig& c : stored_)
            if (c.Slot == slot) return c;
        return TCameraConfig{};
    };
    MakeLabel(this, QStringLiteral("名称"), 24, 14, 100);
    MakeLabel(this, QStringLiteral("抓拍地址（返回一张JPEG）"), 130, 14, 300);
    MakeLabel(this, QStringLiteral("用户名"), 440, 14, 90);
    MakeLabel(this, QStringLiteral("密码"), 540, 14, 90);
    for (int i = 0; i < kCameraSlots; ++i) {
        const TCameraConfig c = find(i + 1);
        const int y = 40 + i * 110;
        edName << MakeEdit(this, 24, y, 96, c.Enabled() ? c.Name : QString());
        edUrl << MakeEdit(this, 130, y, 300, c.Url);
        edUser << MakeEdit(this, 440, y, 90, c.User);
        QLineEdit* pass = MakeEdit(this, 540, y, 90);
        pass->setEchoMode(QLineEdit::Password);
        pass->setPlaceholderText(QStringLiteral("不修改"));
        edPassword << pass;
        MakeButton(this, QStringLiteral("测试抓拍"), 640, y - 2, 80, 28, [this, i] { DoTest(i); });
        QLabel* test = MakeLabel(this, QString(), 730, y - 4, 160, 90);
        test->setFrameShape(QFrame::Box);
        test->setAlignment(Qt::AlignCenter);
        test->setWordWrap(true);
        lbTest << test;
    }
    QLabel* note = MakeLabel(this, QStringLiteral("密码保存在本机当前系统用户的 ~/.movelkar/cameraN.pass（仅本用户可读），"
                                                  "不写入 Movelkar.ini。"),
                             24, 480, 600, 40);
    note->setWordWrap(true);
    QPushButton* ok = MakeButton(this, QStringLiteral("保存"), 690, 516, 90, 30, [this] { DoOK(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 790, 516, 90, 30, [this] { reject(); });
    connect(&shot, &TCameraShot::Finished, this, [this](int round, const QList<TCameraPicture>& pictures) {
        const int row = property(QByteArray("round") + QByteArray::number(round)).toInt();
        if (pictures.isEmpty() || row < 0 || row >= lbTest.size()) return;
        QPixmap pixmap;
        if (pictures[0].Ok() && pixmap.loadFromData(pictures[0].Jpeg))
            lbTest[row]->setPixmap(pixmap.scaled(158, 88, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        else
            lbTest[row]->setText(pictures[0].Failure);
    });
    CentreOnScreen(this);
}

// A password file named in Movelkar.ini stays the camera's; otherwise the default one.
QString TfrmCameraSet::PasswordFile(int slot) const {
    for (const TCameraConfig& c : stored_)
        if (c.Slot == slot && !c.PasswordFile.isEmpty()) return c.PasswordFile;
    return DefaultCameraPasswordFile(slot);
}

QList<TCameraRow> TfrmCameraSet::Rows() const {
    QList<TCameraRow> rows;
    for (int i = 0; i < kCameraSlots; ++i)
        rows << TCameraRow{edName[i]->text(), edUrl[i]->text(), edUser[i]->text(), edPassword[i]->text()};
    return rows;
}

void TfrmCameraSet::DoTest(int row) {
    const TCameraRow r = Rows().value(row);
    if (const QString refusal = CheckCameraRows({r}); !refusal.isEmpty() || r.Url.trimmed().isEmpty()) {
        lbTest[row]->setText(r.Url.trimmed().isEmpty() ? QStringLiteral("请填写抓拍地址") : refusal.mid(4));
        return;
    }
    TCameraConfig c{.Slot = row + 1, .Name = r.Name.trimmed().isEmpty() ? QString::number(row + 1) : r.Name.trimmed(),
                    .Url = r.Url.trimmed(), .User = r.User.trimmed()};
    if (!c.User.isEmpty()) {
        if (!r.Password.isEmpty()) {
            c.Password = r.Password;
        } else {
            const TCameraSecret secret = ReadCameraPassword(PasswordFile(row + 1));
            c.Password = secret.Password;
            c.PasswordProblem = secret.Problem;
        }
    }
    lbTest[row]->setPixmap({});
    lbTest[row]->setText(QStringLiteral("正在抓拍…"));
    const int round = shot.Shoot({c});
    setProperty(QByteArray("round") + QByteArray::number(round), row);
}

void TfrmCameraSet::DoOK() {
    const QList<TCameraRow> rows = Rows();
    if (const QString refusal = CheckCameraRows(rows); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    QList<TCameraConfig> cameras;
    QStringList logged;
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].Url.trimmed().isEmpty()) continue;
        if (!rows[i].Password.isEmpty()) {
            if (const QString failure = SaveCameraPassword(PasswordFile(i + 1), rows[i].Password);
                !failure.isEmpty()) {
                ShowWarn(failure);
                return;
            }
        }
        TCameraConfig c{.Slot = i + 1, .Name = rows[i].Name.trimmed(), .Url = rows[i].Url.trimmed(),
                        .User = rows[i].User.trimmed()};
        if (PasswordFile(i + 1) != DefaultCameraPasswordFile(i + 1)) c.PasswordFile = PasswordFile(i + 1);
        cameras << c;
        // An address may carry a password of its own (http://user:pass@…); the log never does.
        logged << QStringLiteral("相机%1 %2 %3")
                      .arg(i + 1)
                      .arg(c.Name, QUrl(c.Url).adjusted(QUrl::RemoveUserInfo).toString());
    }
    if (const QString failure = SaveCameras(cameras); !failure.isEmpty()) {
        ShowWarn(failure);
        return;
    }
    dm_.WriteLog(QStringLiteral("相机设置"), QStringLiteral("Movelkar.ini"), QString(), logged.join("；"));
    accept();
}
