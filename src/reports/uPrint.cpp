#include "reports/uPrint.h"

#include "data/uDM.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "reports/uDoc.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kCellBytes = 40;
constexpr int kValueX = 2600;  // where the right-hand value of a slip's label line stands

// GB18030 is GBK with four-byte forms for the characters GBK lacks; a character's length shows
// in its first two bytes.
int CharBytes(const QByteArray& gbk, int at) {
    if (uchar(gbk[at]) < 0x80) return 1;
    const bool fourBytes = at + 1 < gbk.size() && gbk[at + 1] >= '0' && gbk[at + 1] <= '9';
    return fourBytes ? 4 : 2;
}

QByteArray Gbk(const QString& text) {
    QStringEncoder encode("GB18030");
    return encode(text);
}

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

// The listing's columns, each as wide as its widest text (headings in their larger type) plus the
// width of two characters between columns.
struct TListingColumns {
    static constexpr int kCharDots = 38;  // a half-width character of the 9-point rows

    std::vector<int> dots;

    void Fit(int col, const QString& text, int pointSize) {
        dots[size_t(col)] = std::max(dots[size_t(col)], TDoc::MeasureText(text, pointSize, true));
    }

    // Listings wider than an upright A4 page (4160 dots inside the margins) are offered on paper
    // turned sideways.
    QPageLayout::Orientation Orientation() const {
        return Total(Wanted()) > 4160 ? QPageLayout::Landscape : QPageLayout::Portrait;
    }

    // Column starts from the left margin. Columns that fit share out the spare width in proportion;
    // columns that do not fit keep the short ones whole and narrow the widest ones to a common width.
    std::vector<int> Starts(int pageWidth) const {
        const double available = pageWidth - 2 * TDoc::kMargin;
        std::vector<double> widths = Wanted();
        const double total = Total(widths);
        if (total <= available) {
            for (double& w : widths) w = w / total * available;
        } else {
            const double cap = CommonCap(widths, available);
            for (double& w : widths) w = std::min(w, cap);
        }
        std::vector<int> xs{TDoc::kMargin};
        for (size_t i = 0; i + 1 < widths.size(); ++i) xs.push_back(xs.back() + int(std::nearbyint(widths[i])));
        return xs;
    }

private:
    std::vector<double> Wanted() const {
        std::vector<double> widths;
        for (int d : dots) widths.push_back(d + 2.0 * kCharDots);
        return widths;
    }

    static double Total(const std::vector<double>& widths) {
        double total = 0;
        for (double w : widths) total += w;
        return total;
    }

    // The width W at which the columns, each narrowed to at most W, fill the available width.
    static double CommonCap(std::vector<double> widths, double available) {
        std::sort(widths.begin(), widths.end());
        double remaining = available;
        for (size_t i = 0; i < widths.size(); ++i) {
            const double share = remaining / double(widths.size() - i);
            if (widths[i] > share) return share;
            remaining -= widths[i];
        }
        return widths.empty() ? available : widths.back();
    }
};
}  // namespace

QString CellText(const QString& text) {
    QString cell = text;
    cell.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    cell.replace('\r', ' ').replace('\n', ' ');
    const QByteArray gbk = Gbk(cell);
    if (gbk.size() <= kCellBytes) return cell;
    int cut = 0;
    for (int at = 0; at < gbk.size();) {
        at += CharBytes(gbk, at);
        if (at > kCellBytes) break;
        cut = at;
    }
    QStringDecoder decode("GB18030");
    return decode(gbk.left(cut));
}

bool PrintOutSlip(TDM& dm, const QString& outNo) {
    const TQuery q = dm.OpenSQLP(kOutSlipSql, {{"n", outNo}});
    if (q.IsEmpty()) {
        ShowWarn(QStringLiteral("出库单不存在：") + outNo);
        return false;
    }
    const std::unique_ptr<TDoc> doc = TDoc::Create(QStringLiteral("粮食出库单"));
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

bool PrintSettleSlip(TDM& dm, const QString& settleNo) {
    const TQuery q = dm.OpenSQLP(kSettleSlipSql, {{"n", settleNo}});
    if (q.IsEmpty()) {
        ShowWarn(QStringLiteral("结算单不存在：") + settleNo);
        return false;
    }
    const std::unique_ptr<TDoc> doc = TDoc::Create(QStringLiteral("烘干费用结算单"));
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

bool PrintListing(const TQueryModel& model, const QString& title) {
    const int columns = model.columnCount();
    TListingColumns layout{std::vector<int>(size_t(columns), 0)};
    QStringList headings;
    for (int c = 0; c < columns; ++c) {
        headings << CellText(model.Caption(c));
        layout.Fit(c, headings.back(), 12);
    }
    std::vector<QStringList> rows;
    if (model.IsOpen()) {
        model.ForEachRow([&](const std::vector<TValue>& row) {
            QStringList cells;
            for (int c = 0; c < columns; ++c) {
                cells << CellText(TQueryModel::DisplayText(row[size_t(c)]));
                layout.Fit(c, cells.back(), 9);
            }
            rows.push_back(std::move(cells));
        });
    }
    if (rows.empty()) {
        ShowWarn(QStringLiteral("没有可打印的数据"));
        return false;
    }

    const std::unique_ptr<TDoc> doc = TDoc::Create(title, layout.Orientation());
    if (!doc) return false;
    doc->TextLine(title + QStringLiteral("（打印时间：") + QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm") +
                      QStringLiteral("）"),
                  12, 10, TAlign::Center, true);
    const std::vector<int> xs = layout.Starts(doc->PageWidth());
    const auto cellWidth = [&](int c) {
        const int end = c + 1 < columns ? xs[size_t(c) + 1] : doc->PageWidth() - TDoc::kMargin;
        return end - xs[size_t(c)] - 30;
    };
    // Headings keep the title's bold type, and so do the rows below them.
    for (int c = 0; c < columns; ++c) doc->TextAt(xs[size_t(c)], headings[c], cellWidth(c));
    doc->MoveDown(260);
    doc->Rule(TDoc::kMargin, doc->PageWidth() - TDoc::kMargin, doc->Y() - 60);
    for (const QStringList& cells : rows) {
        doc->NeedSpace(300);
        doc->SetSize(9);
        for (int c = 0; c < columns; ++c) doc->TextAt(xs[size_t(c)], cells[c], cellWidth(c));
        doc->MoveDown(220);
    }
    doc->Skip(10);
    doc->TextLine(QStringLiteral("共 %1 行").arg(rows.size()), 9, 6, TAlign::Left, false);
    return doc->Finish();
}
