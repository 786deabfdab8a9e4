#include "scale/uTicket.h"

#include "data/uDM.h"
#include "forms/uMsg.h"
#include "reports/uDoc.h"
#include "scale/uPhoto.h"
#include "scale/uScaleSettings.h"

namespace {
constexpr int kValueX = 2600;  // where the right-hand value of a label line stands
const std::vector<int> kWeightColumns{600, 2000, 3400};

const QString kTicketSql = QStringLiteral(
    "SELECT b.*, f.Name AS Farmer, g.GrainName FROM (T_Batch b LEFT JOIN T_Farmer f ON b.FarmerID=f.FarmerID) "
    "LEFT JOIN T_Grain g ON b.GrainID=g.GrainID WHERE b.BatchNo=:b");

QString Kilos(const TValue& v) { return v.IsNull() ? QString() : FmtNum(VarToFloat(v), 2); }

QString Percent(const TValue& v) { return v.IsNull() ? QString() : FmtNum(VarToFloat(v), 2) + "%"; }

// The farmer reads the ticket: a weight not read off the scale says plainly that it was typed.
QString SourceOnTicket(TWeighSource source) {
    return source == TWeighSource::Scale ? WeighSourceText(source) : QStringLiteral("手工录入");
}
}  // namespace

TSqlText RegistrationLogSql(const QString& batchNo) {
    return {QStringLiteral("SELECT l.LoginName, u.UserName, l.Detail FROM T_Log l LEFT JOIN T_User u ON "
                           "u.LoginName=l.LoginName WHERE l.RefNo=:b AND l.TblName='T_Batch' AND l.ActType IN "
                           "('收粮登记','修改登记') ORDER BY l.LogID"),
            {{"b", batchNo}},
            {}};
}

TRegistrationLog ReadRegistrationLog(TDM& dm, const QString& batchNo) {
    const TSqlText q = RegistrationLogSql(batchNo);
    const TQuery rows = dm.OpenSQLP(q.Sql, q.Params);
    TRegistrationLog log;
    if (rows.IsEmpty()) return log;
    const QString name = VarToStr(rows.Value(0, "UserName"));
    log.Weigher = name.isEmpty() ? VarToStr(rows.Value(0, "LoginName")) : name;
    log.Sources = TWeighSources::FromLogDetail(VarToStr(rows.Value(rows.RowCount() - 1, "Detail")));
    return log;
}

std::optional<TTicket> LoadTicket(TDM& dm, const QString& batchNo) {
    const TQuery q = dm.OpenSQLP(kTicketSql, {{"b", batchNo}});
    if (q.IsEmpty()) return std::nullopt;
    TTicket t;
    t.BatchNo = batchNo;
    t.RegTime = q.Field("RegTime").AsDateTime();
    t.CarNo = VarToStr(q.Field("CarNo"));
    t.Farmer = VarToStr(q.Field("Farmer"));
    t.Grain = VarToStr(q.Field("GrainName"));
    t.Status = VarToStr(q.Field("Status"));
    t.Gross = q.Field("GrossWt");
    t.Tare = q.Field("TareWt");
    t.Net = q.Field("WetNetWt");
    t.Moisture = q.Field("InMoisture");
    t.Impurity = q.Field("Impurity");
    t.Log = ReadRegistrationLog(dm, batchNo);
    return t;
}

namespace {
// One thumbnail per camera and take, four to a row, each checked against its fingerprint: a
// missing or changed file, or a camera that gave none, prints its text in the picture's place.
void PrintPhotos(TDoc& doc, const QString& root, const QList<TPhoto>& photos) {
    constexpr int kPerRow = 4, kGap = 80, kCaption = 200;
    const int width = (doc.PageWidth() - 2 * TDoc::kMargin - (kPerRow - 1) * kGap) / kPerRow;
    const int height = width * 9 / 16;
    for (int first = 0; first < photos.size(); first += kPerRow) {
        doc.NeedSpace(height + 2 * kCaption);
        doc.SetSize(8);
        for (int i = first; i < std::min<int>(first + kPerRow, int(photos.size())); ++i) {
            const TPhoto& p = photos[i];
            const int x = TDoc::kMargin + (i - first) * (width + kGap);
            const TPhotoCheck check = CheckPhoto(root, p);
            QImage image;
            if (check.State == TPhotoState::Ok) image.loadFromData(check.Jpeg);
            if (!image.isNull()) {
                doc.ImageAt(x, width, height, image);
            } else {
                doc.MoveDown(height / 2 - 60);
                doc.TextAt(x, check.Text, width);
                doc.MoveDown(-(height / 2 - 60));
            }
        }
        doc.MoveDown(height + 40);
        for (int i = first; i < std::min<int>(first + kPerRow, int(photos.size())); ++i) {
            const TPhoto& p = photos[i];
            doc.TextAt(TDoc::kMargin + (i - first) * (width + kGap),
                       QStringLiteral("%1 %2 %3").arg(p.WtKind, p.Camera, p.ShotTime.toString("HH:mm:ss")), width);
        }
        doc.MoveDown(kCaption);
    }
}
}  // namespace

bool PrintTicket(TDM& dm, const QString& batchNo, bool reprint, TPrintTarget target) {
    const std::optional<TTicket> t = LoadTicket(dm, batchNo);
    if (!t) {
        ShowWarn(QStringLiteral("批次不存在：") + batchNo);
        return false;
    }
    if (t->Status == QStringLiteral("已作废")) {
        ShowWarn(QStringLiteral("该批次已作废，不能打印磅单"));
        return false;
    }
    const QString mark = reprint ? QStringLiteral("（补打）") : QString();
    const std::unique_ptr<TDoc> doc = TDoc::Create(QStringLiteral("收粮磅单") + mark, QPageLayout::Portrait, target);
    if (!doc) return false;

    doc->TextLine(QStringLiteral("收 粮 磅 单") + mark, 16, 12, TAlign::Center, true);
    doc->TextLine(QStringLiteral("批次号：") + t->BatchNo + QStringLiteral("        过磅时间：") +
                      t->RegTime.toString("yyyy-MM-dd HH:mm"),
                  10, 10, TAlign::Left, false);
    doc->LabelValue(QStringLiteral("车牌号：") + t->CarNo, QStringLiteral("农户/客户：") + t->Farmer, 10, kValueX);
    doc->LabelValue(QStringLiteral("粮种：") + t->Grain, QStringLiteral("入库水分：") + Percent(t->Moisture), 10,
                    kValueX);
    doc->LabelValue(QStringLiteral("杂质：") + Percent(t->Impurity), QString(), 10, kValueX);
    doc->Skip(6);
    doc->Cells({QStringLiteral("项目"), QStringLiteral("重量(公斤)"), QStringLiteral("来源")}, 10, kWeightColumns);
    doc->Cells({QStringLiteral("毛重"), Kilos(t->Gross), SourceOnTicket(t->Log.Sources.Gross)}, 10, kWeightColumns);
    doc->Cells({QStringLiteral("皮重"), Kilos(t->Tare), SourceOnTicket(t->Log.Sources.Tare)}, 10, kWeightColumns);
    doc->TextLine(QString(40, QChar(0x2500)), 10, 6, TAlign::Left, false);
    doc->Cells({QStringLiteral("净重"), Kilos(t->Net), QString()}, 11, kWeightColumns);
    doc->Skip(6);
    PrintPhotos(*doc, PhotoRoot(dm), BatchPhotos(dm, batchNo));
    const QString now = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm");
    doc->LabelValue(QStringLiteral("司磅员：") + t->Log.Weigher,
                    (reprint ? QStringLiteral("补打时间：") : QStringLiteral("打印时间：")) + now, 10, kValueX);
    doc->Skip(14);
    doc->TextLine(QStringLiteral("司磅员签字：____________   送粮人签字：____________   日期：____________"), 10, 6,
                  TAlign::Left, false);
    if (!doc->Finish()) return false;
    // A second copy of a ticket is what a dispute turns on: who printed it, and when, is kept.
    if (reprint)
        dm.WriteLog(QStringLiteral("补打磅单"), "T_Batch", batchNo,
                    target == TPrintTarget::Preview ? QStringLiteral("打印预览") : QString());
    return true;
}

void OfferTicket(TDM& dm, const QString& batchNo) {
    if (!LoadScaleSettings().PrintTicket) return;
    if (!AskYesNo(QStringLiteral("磅单已生成，是否立即打印？"))) return;
    RunGuarded([&] { PrintTicket(dm, batchNo, false); }, QStringLiteral("打印失败："));
}
