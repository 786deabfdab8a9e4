#include "reports/uPrint.h"

#include "data/uDM.h"
#include "forms/uMsg.h"
#include "reports/uDoc.h"

#include <QDateTime>
#include <algorithm>

namespace {
constexpr int kValueX = 2600;  // where the right-hand value of a slip's label line stands

QString TimeText(const TValue& v, const QString& format) {
    return v.IsNull() ? QString() : v.AsDateTime().toString(format);
}

QString Kilos(const TValue& v) { return FmtFixed(VarToFloat(v), 1) + QStringLiteral(" 公斤"); }

QString MoneyText(const TValue& v) { return FmtMoney(VarToFloat(v)); }

const QString kOutSlipSql = QStringLiteral(
    "SELECT o.*, f.Name AS Farmer, f.Phone, g.GrainName FROM (T_Outbound o LEFT JOIN T_Farmer f ON "
    "o.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON o.GrainID=g.GrainID WHERE o.OutNo=:n");

const QString kSettleSlipSql = QStringLiteral(
    "SELECT s.*, b.BatchNo,b.CarNo,b.InMoisture,b.WetNetWt,b.RegTime, f.Name AS Farmer,f.Phone,f.Village,"
    "g.GrainName, (SELECT d.DryNetWt FROM T_Drying d WHERE d.BatchNo=b.BatchNo ORDER BY d.Round DESC LIMIT 1) "
    "AS DryWt, (SELECT SUM(o.OutWt) FROM T_Outbound o WHERE o.BatchNo=b.BatchNo) AS OutWt FROM ((T_Settle s "
    "INNER JOIN T_Batch b ON s.BatchNo=b.BatchNo) LEFT JOIN T_Farmer f ON s.FarmerID=f.FarmerID) LEFT JOIN "
    "T_Grain g ON b.GrainID=g.GrainID WHERE s.SettleNo=:n");
}  // namespace

bool PrintOutSlip(TDM& dm, const QString& outNo, TPrintTarget target) {
    const TQuery q = dm.OpenSQLP(kOutSlipSql, {{"n", outNo}});
    if (q.IsEmpty()) {
        ShowWarn(QStringLiteral("出库单不存在：") + outNo);
        return false;
    }
    const std::unique_ptr<TDoc> doc = TDoc::Create(QStringLiteral("粮食出库单"), QPageLayout::Portrait, target);
    if (!doc) return false;
    const auto text = [&](const char* column) { return VarToStr(q.Field(column)); };
    const TValue outWt = q.Field("OutWt");

    doc->TextLine(QStringLiteral("粮 食 出 库 单"), 16, 12, TAlign::Center, true);
    doc->TextLine(QStringLiteral("出库单号：") + outNo + QStringLiteral("        出库时间：") +
                      TimeText(q.Field("OutTime"), "yyyy-MM-dd HH:mm"),
                  10, 10, TAlign::Left, false);
    doc->LabelValue("批次号：" + text("BatchNo"), "出库类型：" + text("OutType"), 10, kValueX);
    doc->LabelValue("农户/客户：" + text("Farmer"), "联系电话：" + text("Phone"), 10, kValueX);
    doc->LabelValue("粮种：" + text("GrainName"), "车牌号：" + text("CarNo"), 10, kValueX);
    doc->LabelValue("出库净重：" + (outWt.IsNull() ? QString() : Kilos(outWt)), "司机：" + text("Driver"), 10,
                    kValueX);
    doc->LabelValue("去向：" + text("Destination"), QString(), 10, kValueX);
    doc->TextLine("备注：" + text("Remark"), 10, 6, TAlign::Left, false);
    doc->Skip(16);
    doc->TextLine(QStringLiteral("发货人：____________   提货人：____________   司 机：____________   日 期：____________"),
                  10, 6, TAlign::Left, false);
    return doc->Finish();
}

bool PrintSettleSlip(TDM& dm, const QString& settleNo, TPrintTarget target) {
    const TQuery q = dm.OpenSQLP(kSettleSlipSql, {{"n", settleNo}});
    if (q.IsEmpty()) {
        ShowWarn(QStringLiteral("结算单不存在：") + settleNo);
        return false;
    }
    const std::unique_ptr<TDoc> doc = TDoc::Create(QStringLiteral("烘干费用结算单"), QPageLayout::Portrait, target);
    if (!doc) return false;
    const auto text = [&](const char* column) { return VarToStr(q.Field(column)); };
    const auto money = [&](const char* column) { return MoneyText(q.Field(column)); };
    const double wetWt = VarToFloat(q.Field("WetNetWt"));
    const QStringList notes{"湿粮 " + FmtFixed(wetWt / 1000, 2) + " 吨", "超过标准水分部分加价", "超过免费堆放天数",
                            "返烘轮次加收", "挑拣等杂费", "欠款：" + money("DebtAmt") + " 元"};
    int widestNote = 0;
    for (const QString& note : notes) widestNote = std::max(widestNote, doc->TextWidth(note, 10));
    // On A4 paper the explanations would run off the right edge at 4200; they move left as far as needed.
    const std::vector<int> xs{600, 2400, std::min(4200, doc->PageWidth() - TDoc::kMargin - widestNote)};

    doc->TextLine(QStringLiteral("粮食烘干中心费用结算单"), 16, 12, TAlign::Center, true);
    doc->TextLine(QStringLiteral("结算单号：") + settleNo + QStringLiteral("      结算时间：") +
                      TimeText(q.Field("SettleTime"), "yyyy-MM-dd HH:mm"),
                  10, 10, TAlign::Left, false);
    doc->LabelValue("批次号：" + text("BatchNo"), "登记日期：" + TimeText(q.Field("RegTime"), "yyyy-MM-dd"), 10,
                    kValueX);
    doc->LabelValue("农户/客户：" + text("Farmer"), "电话：" + text("Phone"), 10, kValueX);
    doc->LabelValue("村组：" + text("Village"), "粮种：" + text("GrainName"), 10, kValueX);
    doc->LabelValue("入库水分：" + FmtNum(VarToFloat(q.Field("InMoisture")), 2) + "%", "车牌号：" + text("CarNo"), 10,
                    kValueX);
    doc->LabelValue("湿粮净重：" + Kilos(q.Field("WetNetWt")), "烘后干粮：" + Kilos(q.Field("DryWt")), 10, kValueX);
    doc->LabelValue("累计出库：" + Kilos(q.Field("OutWt")), "堆放天数：" + text("StoreDays"), 10, kValueX);
    doc->Skip(8);
    doc->Cells({"收费项目", "金额(元)", "说明"}, 10, xs);
    doc->Cells({"基础烘干费", money("BaseFee"), notes[0]}, 10, xs);
    doc->Cells({"超水分加价", money("MoistureExtra"), notes[1]}, 10, xs);
    doc->Cells({"仓储堆放费", money("StorageFee"), notes[2]}, 10, xs);
    doc->Cells({"二次返烘费", money("ReDryFee"), notes[3]}, 10, xs);
    doc->Cells({"其他杂费", money("OtherFee"), notes[4]}, 10, xs);
    doc->TextLine(QString(40, QChar(0x2500)), 10, 6, TAlign::Left, false);
    doc->Cells({"合计", money("TotalFee"), QString()}, 11, xs);
    doc->Cells({"已收金额", money("PaidAmt"), notes[5]}, 10, xs);
    doc->LabelValue("结算状态：" + text("Status"), QString(), 10, kValueX);
    const QString remark = text("Remark").trimmed();
    if (!remark.isEmpty()) doc->TextLine("备注：" + text("Remark"), 10, 6, TAlign::Left, false);
    doc->Skip(14);
    doc->TextLine(QStringLiteral("制单：____________   收款：____________   农户签字：____________   日期：____________"),
                  10, 6, TAlign::Left, false);
    return doc->Finish();
}
