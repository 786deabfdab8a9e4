#include "scale/uScaleSettings.h"

#include "app/uStartup.h"
#include "forms/uCtl.h"

#include <QDir>
#include <QSettings>
#include <cmath>

namespace {
QString& IniOverride() {
    static QString path;
    return path;
}

const char* const kGroup = "Scale";
constexpr int kFewestFrames = 2;
constexpr int kMostFrames = 100;

double NonNegativeOr(const QVariant& v, double fallback) {
    bool ok = false;
    const double x = v.toDouble(&ok);
    return ok && x >= 0 ? x : fallback;
}
}  // namespace

TScaleRule TScaleSettings::Rule() const {
    return {Division, MinWeight, qint64(std::llround(StableSeconds * 1000)), StableFrames};
}

const QList<int>& ScaleBauds() {
    static const QList<int> bauds{1200, 2400, 4800, 9600};
    return bauds;
}

QString ScaleIniPath() {
    if (!IniOverride().isEmpty()) return IniOverride();
    return TAppPaths::OfThisProgram().StationIni();
}

void SetScaleIniPath(const QString& path) { IniOverride() = path; }

TScaleSettings LoadScaleSettings() {
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    ini.beginGroup(kGroup);
    TScaleSettings s;
    s.Port = ini.value("Port").toString().trimmed();
    const int baud = ini.value("Baud", s.Baud).toInt();
    if (ScaleBauds().contains(baud)) s.Baud = baud;
    if (const auto format = ScaleFormatFromName(ini.value("Format").toString())) s.Format = *format;
    s.Division = NonNegativeOr(ini.value("Division"), s.Division);
    if (s.Division <= 0) s.Division = TScaleSettings().Division;
    s.MinWeight = NonNegativeOr(ini.value("MinWeight"), s.MinWeight);
    s.StableSeconds = NonNegativeOr(ini.value("StableSeconds"), s.StableSeconds);
    const int frames = ini.value("StableFrames", s.StableFrames).toInt();
    if (frames >= kFewestFrames && frames <= kMostFrames) s.StableFrames = frames;
    s.TareShare = NonNegativeOr(ini.value("TareShare"), s.TareShare);
    s.PrintTicket = ini.value("PrintTicket", s.PrintTicket).toBool();
    return s;
}

std::optional<double> LoadLastSavedWeight() {
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    bool ok = false;
    const double kg = ini.value(QStringLiteral("%1/LastSavedKg").arg(kGroup)).toDouble(&ok);
    return ok ? std::optional<double>(kg) : std::nullopt;
}

void SaveLastSavedWeight(double kg) {
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("%1/LastSavedKg").arg(kGroup), kg);
}

QString SaveScaleSettings(const TScaleSettings& s) {
    QSettings ini(ScaleIniPath(), QSettings::IniFormat);
    ini.beginGroup(kGroup);
    ini.setValue("Port", s.Port.trimmed());
    ini.setValue("Baud", s.Baud);
    ini.setValue("Format", ScaleFormatName(s.Format));
    ini.setValue("Division", s.Division);
    ini.setValue("MinWeight", s.MinWeight);
    ini.setValue("StableSeconds", s.StableSeconds);
    ini.setValue("StableFrames", s.StableFrames);
    ini.setValue("TareShare", s.TareShare);
    ini.setValue("PrintTicket", s.PrintTicket);
    ini.endGroup();
    ini.sync();
    if (ini.status() == QSettings::NoError) return {};
    return QStringLiteral("无法保存地磅设置：") + QDir::toNativeSeparators(ScaleIniPath()) +
           QStringLiteral("（文件夹不可写或文件被占用）");
}

TScaleSettingsCheck CheckScaleSettings(const TScaleSettingsInput& in) {
    const auto refuse = [](const QString& text, TScaleField focus) { return TScaleSettingsCheck{text, focus, {}}; };
    TScaleSettings s;
    s.Port = in.Port.trimmed();
    if (s.Port.size() > 100) return refuse(QStringLiteral("串口名称过长"), TScaleField::Port);
    s.Baud = in.Baud;
    s.Format = in.Format;
    s.PrintTicket = in.PrintTicket;
    double frames = s.StableFrames;

    const struct {
        const QString& text;
        TNumRange range;
        QString caption;
        TScaleField field;
        double low, high;  // beyond the range of the box's kind
        double* into;
    } boxes[] = {
        {in.Division, TNumRange::Weight, QStringLiteral("分度值(公斤)"), TScaleField::Division, 0.001, 1000,
         &s.Division},
        {in.MinWeight, TNumRange::Weight, QStringLiteral("最小称量(公斤)"), TScaleField::MinWeight, 0, 1000000,
         &s.MinWeight},
        {in.StableSeconds, TNumRange::Unbounded, QStringLiteral("稳定时间(秒)"), TScaleField::StableSeconds, 0.5, 30,
         &s.StableSeconds},
        {in.StableFrames, TNumRange::Unbounded, QStringLiteral("稳定帧数"), TScaleField::StableFrames,
         double(kFewestFrames), double(kMostFrames), &frames},
        {in.TareShare, TNumRange::Percent, QStringLiteral("皮重允差(%)"), TScaleField::TareShare, 0.1, 99,
         &s.TareShare},
    };
    for (const auto& box : boxes) {
        const TNumEntry entry = CheckNum(box.text, box.range, box.caption);
        if (!entry.Ok()) return refuse(entry.Refusal, box.field);
        if (entry.IsBlank()) return refuse(QStringLiteral("请填写") + box.caption, box.field);
        if (entry.Value < box.low || entry.Value > box.high)
            return refuse(QStringLiteral("%1应在 %2 到 %3 之间")
                              .arg(box.caption, FmtShortest(box.low), FmtShortest(box.high)),
                          box.field);
        *box.into = entry.Value;
    }
    if (frames != std::floor(frames)) return refuse(QStringLiteral("稳定帧数应为整数"), TScaleField::StableFrames);
    s.StableFrames = int(frames);
    return {{}, TScaleField::None, s};
}

QString ScaleSettingsText(const TScaleSettings& s) {
    const QString ticket = s.PrintTicket ? QStringLiteral("打印磅单=是") : QStringLiteral("打印磅单=否");
    if (!s.Enabled()) return QStringLiteral("未设串口（地磅停用） ") + ticket;
    return QStringLiteral("串口=%1 波特率=%2 格式=%3 分度值=%4 最小称量=%5 稳定时间=%6秒 稳定帧数=%7 皮重允差=%8% ")
               .arg(s.Port)
               .arg(s.Baud)
               .arg(ScaleFormatName(s.Format), FmtShortest(s.Division), FmtShortest(s.MinWeight),
                    FmtShortest(s.StableSeconds))
               .arg(s.StableFrames)
               .arg(FmtShortest(s.TareShare)) +
           ticket;
}
