#include "workflow/uSettle.h"

#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "workflow/uBatch.h"
#include "workflow/uSaveLock.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {
const std::array<const char*, 5> kItemCaptions{"基础烘干费", "超水分加价", "仓储堆放费", "二次返烘费", "其他杂费"};

const char* const kInsertSettle =
    "INSERT INTO T_Settle(SettleNo,BatchNo,FarmerID,BaseFee,MoistureExtra,StorageFee,ReDryFee,OtherFee,TotalFee,"
    "PaidAmt,DebtAmt,Status,SettleTime,StoreDays,Remark) VALUES(:no,:b,:f,:bf,:mf,:sf,:rf,:of,:tf,:pa,:da,:st,:tm,"
    ":sd,:mm)";
const char* const kUpdateSettle =
    "UPDATE T_Settle SET BaseFee=:bf,MoistureExtra=:mf,StorageFee=:sf,ReDryFee=:rf,OtherFee=:of,TotalFee=:tf,"
    "PaidAmt=:pa,DebtAmt=:da,Status=:st,SettleTime=:tm,StoreDays=:sd,Remark=:mm WHERE SettleNo=:no";

const QString kPaidCaption = QStringLiteral("本次收款");
const QString kReceivedCaption = QStringLiteral("累计收款");

// A money box as the settlement reads it, full-width digits and thousands commas included;
// every box goes through here.
TNumEntry MoneyBox(const QString& text, const QString& caption) {
    return CheckNum(text, TNumRange::Money, caption);
}

// This payment may be negative, to take back an earlier one typed too high; the sum it makes with
// the earlier payments is what must be a sum of money.
TNumEntry PaymentBox(const QString& text) { return CheckNum(text, TNumRange::Unbounded, kPaidCaption); }

double Received(const TSettleInput& in, double payment) { return RoundMoney(in.EarlierPaid + RoundMoney(payment)); }

bool WithinFen(double v) { return std::abs(v - RoundMoney(v)) < 1e-9; }

// A voided settlement is deleted, yet its number stays in the log and on the slip the farmer may
// hold; it is never given to another settlement, so the number is drawn past those too.
QString NextSettleNo(TDM& dm) {
    const QString next = dm.NextNo("JS", "T_Settle", "SettleNo");
    const QString head = next.left(10);
    const TQuery voided = dm.OpenSQLP(
        "SELECT RefNo FROM T_Log WHERE OpTime>=:day AND TblName='T_Settle' AND RefNo>=:lo AND RefNo<:hi",
        {{"day", QDateTime(QDate::currentDate(), QTime(0, 0))}, {"lo", head}, {"hi", head + ":"}});
    qint64 seq = next.mid(10).toLongLong();
    for (int r = 0; r < voided.RowCount(); ++r)
        seq = std::max(seq, VarToStr(voided.Value(r, 0)).mid(10).toLongLong() + 1);
    return head + QStringLiteral("%1").arg(seq, 3, 10, QChar('0'));
}

TSettleResult Refused(const QString& refusal, TSettleBox focus = TSettleBox::None,
                      const QString& existingNo = {}) {
    return {refusal, focus, {}, existingNo};
}

TParams AmountParams(const TSettleAmounts& a, const TSettleTotals& t) {
    using I = TSettleAmounts::Item;
    return {{"bf", TValue::Money(a.Items[I::Base])},     {"mf", TValue::Money(a.Items[I::Moisture])},
            {"sf", TValue::Money(a.Items[I::Storage])},  {"rf", TValue::Money(a.Items[I::ReDry])},
            {"of", TValue::Money(a.Items[I::Other])},    {"tf", TValue::Money(t.Total)},
            {"pa", TValue::Money(a.Paid)},               {"da", TValue::Money(t.Debt)},
            {"st", t.Status}};
}
}  // namespace

QString FeeItemCaption(int item) { return QString::fromUtf8(kItemCaptions.at(size_t(item))); }

QString SettleStatusRefusal(const QString& batchStatus) {
    if (batchStatus == kStatusWaiting || batchStatus == kStatusDrying)
        return QStringLiteral("该批次尚未烘干入仓，暂不能结算");
    if (batchStatus == kStatusVoid) return QStringLiteral("该批次已作废，不能结算");
    return {};
}

QString MissingSettleText(const QString& settleNo) {
    return QStringLiteral("结算单 %1 已不存在（可能已被作废），请刷新后重新结算").arg(settleNo);
}

TSettleAmounts ReadSettleAmounts(const TSettleInput& in) {
    TSettleAmounts a;
    // What is no number counts as nothing in the preview; the save refuses it.
    for (size_t i = 0; i < a.Items.size(); ++i)
        a.Items[i] = RoundMoney(MoneyBox(in.Items[i], FeeItemCaption(int(i))).Value);
    a.Paid = Received(in, PaymentBox(in.Paid).Value);
    return a;
}

TSettlePreview SettlePreview(const TSettleInput& in) {
    TSettleAmounts a;
    bool itemsOk = true;
    bool rounded = false;
    for (size_t i = 0; i < a.Items.size(); ++i) {
        const std::optional<double> item = PreviewNum(in.Items[i], TNumRange::Money);
        itemsOk = itemsOk && item;
        rounded = rounded || (item && !WithinFen(*item));
        a.Items[i] = RoundMoney(item.value_or(0));
    }
    const std::optional<double> payment = PreviewNum(in.Paid, TNumRange::Unbounded);
    a.Paid = payment ? Received(in, *payment) : 0;
    const bool paidOk = payment && NumInRange(a.Paid, TNumRange::Money);
    rounded = rounded || (payment && !WithinFen(*payment));

    const TSettleTotals t = SettleTotals(a);
    TSettlePreview p;
    p.Total = itemsOk ? FmtMoney(t.Total) : kNoFigure;
    p.Received = paidOk ? FmtMoney(a.Paid) : kNoFigure;
    p.Debt = itemsOk && paidOk ? FmtMoney(t.Debt) : kNoFigure;
    p.Status = itemsOk && paidOk ? t.Status : QString();
    p.Line = QStringLiteral("保存后结算状态：") + (p.Status.isEmpty() ? kNoFigure : p.Status);
    if (!p.Status.isEmpty() && rounded) p.Line += QStringLiteral("（金额按分四舍五入）");
    return p;
}

QString LowerPaidQuestion(const TSettleInput& in) {
    const TNumEntry payment = PaymentBox(in.Paid);
    if (!payment.Ok()) return {};
    const double received = Received(in, payment.Value);
    if (received > in.EarlierPaid - 0.005) return {};
    return QStringLiteral("累计收款 %1 元低于此前已收的 %2 元，确认冲减已收金额？")
        .arg(FmtMoney(received), FmtMoney(in.EarlierPaid));
}

QString SettleHeaderText(const QString& batchNo, const TSettleView& v) {
    const TFeeFigures& f = v.Figures;
    return QStringLiteral("批次 %1\n").arg(batchNo) +
           QString::asprintf("湿粮 %.2f 吨  入库水分 %.2f%%  标准水分 %.2f%%  单价 %.2f 元/吨  烘干轮次 %d  ", f.Tons,
                             v.InMoisture, f.StdMoisture, f.PricePerTon, f.Rounds) +
           QStringLiteral("已堆放 %1 天(免费%2天)  超期%3天").arg(f.StoreDays).arg(f.FreeDays).arg(f.OverDays);
}

TSettleView TSettleLogic::Open(const QString& batchNo, const QString& settleNo, const QDateTime& asOf) const {
    TSettleView v;
    v.Figures = CalcFees(dm_, batchNo, asOf);
    v.InMoisture = VarToFloat(dm_.ScalarP("SELECT InMoisture FROM T_Batch WHERE BatchNo=:b", {{"b", batchNo}}), 0);
    if (settleNo.isEmpty()) return v;
    const TQuery q = dm_.OpenSQLP("SELECT * FROM T_Settle WHERE SettleNo=:n", {{"n", settleNo}});
    if (q.IsEmpty()) return v;
    TStoredSettle s;
    const char* const columns[] = {"BaseFee", "MoistureExtra", "StorageFee", "ReDryFee", "OtherFee"};
    for (size_t i = 0; i < s.Items.size(); ++i) s.Items[i] = VarToFloat(q.Field(columns[i]), 0);
    s.Paid = VarToFloat(q.Field("PaidAmt"), 0);
    s.SettleTime = q.Field("SettleTime").AsDateTime();
    s.Remark = VarToStr(q.Field("Remark"));
    QList<TStampCol> read;
    for (size_t i = 0; i < s.Items.size(); ++i) read.push_back({columns[i], FeeItemCaption(int(i))});
    read.append({{"PaidAmt", QStringLiteral("收款金额")},
                 {"SettleTime", QStringLiteral("结算时间")},
                 {"Remark", QStringLiteral("备注")},
                 {"Status", QStringLiteral("结算状态")}});
    s.Read = StampRow(q, "T_Settle", "SettleNo", settleNo, read);
    v.Stored = s;
    return v;
}

TSettleResult TSettleLogic::Check(const TSettleInput& in) const {
    for (size_t i = 0; i < in.Items.size(); ++i) {
        const TSettleBox box = TSettleBox(int(TSettleBox::Base) + int(i));
        const TNumEntry item = MoneyBox(in.Items[i], FeeItemCaption(int(i)));
        if (item.Value < 0) return Refused(QStringLiteral("费用金额不能为负：") + FeeItemCaption(int(i)), box);
        if (!item.Ok()) return Refused(item.Refusal, box);
    }
    const TNumEntry paid = PaymentBox(in.Paid);
    if (!paid.Ok()) return Refused(paid.Refusal, TSettleBox::Paid);
    const double received = Received(in, paid.Value);
    if (received < 0) return Refused(QStringLiteral("收款金额不能为负"), TSettleBox::Paid);
    if (!NumInRange(received, TNumRange::Money))
        return Refused(QStringLiteral("数值超出范围：") + kReceivedCaption, TSettleBox::Paid);
    if (const QString refusal = TextEntryRefusal("T_Settle", "Remark", QStringLiteral("备注"), in.Remark.trimmed());
        !refusal.isEmpty())
        return Refused(refusal, TSettleBox::Remark);
    return {};
}

QString TSettleLogic::BatchRefusal(const QString& batchNo, int* farmerId) const {
    // The batch row stays locked until the save ends: a second station settling the same batch
    // waits here, and then finds this settlement.
    const TLockedBatch batch = LockBatch(dm_, batchNo);
    if (!batch.Exists) return QStringLiteral("批次 %1 不存在").arg(batchNo);
    *farmerId = batch.FarmerID;
    return SettleStatusRefusal(batch.Status);
}

QString TSettleLogic::SettleRefusal(const TSettleInput& in, QString* existingNo) const {
    if (in.SettleNo.isEmpty()) {
        // Another station, or a ledger left open since, may have settled the batch already.
        *existingNo = VarToStr(dm_.ScalarP("SELECT MIN(SettleNo) FROM T_Settle WHERE BatchNo=:b", {{"b", in.BatchNo}}));
        if (existingNo->isEmpty()) return {};
        return QStringLiteral("该批次已有结算单 %1，请刷新后修改").arg(*existingNo);
    }
    // An administrator may have voided the settlement while it was being edited; it stays
    // locked, after its batch, until this save ends.
    const TValue batch =
        dm_.ScalarP("SELECT BatchNo FROM T_Settle WHERE SettleNo=:n" + SqlForUpdate(dm_.Engine()), {{"n", in.SettleNo}});
    if (batch.IsNull() || VarToStr(batch) != in.BatchNo) return MissingSettleText(in.SettleNo);
    // Another finance desk may have saved the same settlement since this dialog opened.
    return ChangedSinceRead(dm_, in.Read);
}

TSettleResult TSettleLogic::Save(const TSettleInput& in) {
    if (TSettleResult refusal = Check(in); !refusal.Saved()) return refusal;
    const TSettleAmounts amounts = ReadSettleAmounts(in);
    const TSettleTotals totals = SettleTotals(amounts);
    const bool isNew = in.SettleNo.isEmpty();
    QString settleNo;
    try {
        TTransaction tx(dm_);
        int farmerId = 0;
        if (const QString refusal = BatchRefusal(in.BatchNo, &farmerId); !refusal.isEmpty()) return Refused(refusal);
        QString existingNo;
        if (const QString refusal = SettleRefusal(in, &existingNo); !refusal.isEmpty())
            return Refused(refusal, TSettleBox::None, existingNo);
        settleNo = isNew ? NextSettleNo(dm_) : in.SettleNo;
        TParams params = AmountParams(amounts, totals);
        params.insert(params.end(), {{"no", settleNo},
                                     {"tm", in.SettleTime},
                                     {"sd", in.OverDays},
                                     {"mm", in.Remark.trimmed()}});
        if (isNew) {
            params.insert(params.end(), {{"b", in.BatchNo}, {"f", farmerId}});
            dm_.ExecSQLP(kInsertSettle, params);
        } else {
            dm_.ExecSQLP(kUpdateSettle, params);
        }
        dm_.ExecSQLP("UPDATE T_Batch SET Status=:s WHERE BatchNo=:b AND Status<>:v",
                     {{"s", totals.Status == kSettledInFull ? kBatchFinished : kBatchToSettle},
                      {"b", in.BatchNo},
                      {"v", kStatusVoid}});
        dm_.WriteLog(isNew ? QStringLiteral("结算") : QStringLiteral("修改结算"), "T_Settle", settleNo,
                     QStringLiteral("批次%1 合计%2 已收%3 欠款%4 %5")
                         .arg(in.BatchNo, FmtMoney(totals.Total), FmtMoney(amounts.Paid), FmtMoney(totals.Debt),
                              totals.Status));
        tx.Commit();
    } catch (const TDbError& e) {
        return Refused(DbFailureText(QStringLiteral("保存失败："), e));
    }
    return {{}, TSettleBox::None, settleNo, {}};
}

// ---- TfrmSettleEdit ---------------------------------------------------------------------

TfrmSettleEdit::TfrmSettleEdit(TDM& dm, const QString& batchNo, const QString& settleNo, QWidget* parent)
    : TEntryDialog(parent), dm_(dm), logic_(dm), batchNo_(batchNo), settleNo_(settleNo), isNew_(settleNo.isEmpty()) {
    const TSettleView view = logic_.Open(batchNo, settleNo, QDateTime::currentDateTime());
    loaded_ = isNew_ || view.Stored.has_value();
    if (view.Stored) read_ = view.Stored->Read;
    overDays_ = view.Figures.OverDays;
    earlierPaid_ = view.Stored ? RoundMoney(view.Stored->Paid) : 0;
    BuildUI(view);
    MarkUntouched();
}

void TfrmSettleEdit::BuildUI(const TSettleView& view) {
    setWindowTitle(QStringLiteral("烘干费用结算 - ") + batchNo_);
    setFixedSize(660, 470);
    CentreOnScreen(this);
    ApplyFormFont(this);

    lblHeader = MakeLabel(this, SettleHeaderText(batchNo_, view), 20, 10, 620, 40);
    lblHeader->setStyleSheet("color: navy;");

    const int lx = 20, ex = 124, ew = 180, rx = 340, rex = 444;
    auto top = [](int row) { return 66 + row * 38; };
    auto box = [&](int row, bool right, const QString& caption) {
        MakeLabel(this, caption, right ? rx : lx, top(row), 104);
        return MakeEdit(this, right ? rex : ex, top(row), ew);
    };
    const TFeeFigures& f = view.Figures;
    const std::array<double, 5> computed{f.BaseFee, f.MoistureExtra, f.StorageAmt, f.ReDryFee, f.OtherFee};
    const std::array<std::pair<int, bool>, 5> place{{{0, false}, {0, true}, {1, false}, {1, true}, {2, false}}};
    for (size_t i = 0; i < edItems.size(); ++i) {
        edItems[i] = box(place[i].first, place[i].second, FeeItemCaption(int(i)) + QStringLiteral("："));
        edItems[i]->setText(FmtMoney(view.Stored ? view.Stored->Items[i] : computed[i]));
    }
    edTotal = box(2, true, QStringLiteral("费用合计："));
    MarkReadOnlyBox(edTotal);
    edTotal->setStyleSheet("QLineEdit { background: #FFFFE1; font-weight: bold; }");
    // The cashier types what the farmer hands over today; what is stored is the sum received.
    edEarlier = box(3, false, QStringLiteral("此前已收："));
    edEarlier->setText(FmtMoney(earlierPaid_));
    MarkReadOnlyBox(edEarlier);
    edPaid = box(3, true, kPaidCaption + QStringLiteral("："));
    edPaid->setText(QStringLiteral("0"));
    edReceived = box(4, false, kReceivedCaption + QStringLiteral("："));
    MarkReadOnlyBox(edReceived);
    edReceived->setStyleSheet("QLineEdit { background: #FFFFE1; font-weight: bold; }");
    edDebt = box(4, true, QStringLiteral("欠款金额："));
    MarkReadOnlyBox(edDebt);
    edDebt->setStyleSheet("QLineEdit { background: #FFFFE1; font-weight: bold; }");

    lblPreview = MakeLabel(this, {}, lx, top(5) - 6, 620);
    lblPreview->setStyleSheet("color: red;");

    MakeLabel(this, QStringLiteral("结算时间："), lx, top(6) - 10, 104);
    dtSettle = MakeDatePicker(this, ex, top(6) - 10, ew, false,
                              view.Stored && view.Stored->SettleTime.isValid() ? view.Stored->SettleTime : QDateTime());
    MakeLabel(this, QStringLiteral("备注："), rx, top(6) - 10, 104);
    edRemark = MakeEdit(this, rex, top(6) - 10, ew, view.Stored ? view.Stored->Remark : QString());
    edRemark->setMaxLength(200);

    QLabel* note = MakeLabel(this,
                             QStringLiteral("说明：费用按湿粮重量计费；超水分加价=(入库水分-标准水分)×吨数×超水单价；"
                                            "仓储费=超期天数×吨数×日费率；返烘费=(轮次-1)×基础费×返烘费率。"
                                            "金额可手工调整。"),
                             lx, top(7) - 16, 620, 44);
    note->setWordWrap(true);
    note->setStyleSheet("color: gray;");

    QPushButton* ok = MakeButton(this, QStringLiteral("保存结算"), 440, 418, 100, 30, [this] { DoOK(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 550, 418, 90, 30, [this] { reject(); });

    for (QLineEdit* e : edItems) connect(e, &QLineEdit::textChanged, this, [this] { Recalc(); });
    connect(edPaid, &QLineEdit::textChanged, this, [this] { Recalc(); });
    Recalc();
    // The amounts are worked out already; what the clerk types is the money received.
    edPaid->setFocus();
    edPaid->selectAll();
}

void TfrmSettleEdit::Recalc() {
    const TSettlePreview p = SettlePreview(Collected());
    edTotal->setText(p.Total);
    edReceived->setText(p.Received);
    edDebt->setText(p.Debt);
    status_ = p.Status;
    lblPreview->setText(p.Line);
}

TSettleInput TfrmSettleEdit::Collected() const {
    TSettleInput in;
    in.BatchNo = batchNo_;
    in.SettleNo = isNew_ ? QString() : settleNo_;
    for (size_t i = 0; i < edItems.size(); ++i) in.Items[i] = edItems[i]->text();
    in.Paid = edPaid->text();
    in.SettleTime = dtSettle->dateTime();
    in.Remark = edRemark->text();
    in.OverDays = overDays_;
    in.Read = read_;
    in.EarlierPaid = earlierPaid_;
    return in;
}

QWidget* TfrmSettleEdit::FocusTarget(TSettleBox box) const {
    switch (box) {
    case TSettleBox::Base:
    case TSettleBox::Moisture:
    case TSettleBox::Storage:
    case TSettleBox::ReDry:
    case TSettleBox::Other: return edItems[size_t(int(box) - int(TSettleBox::Base))];
    case TSettleBox::Paid: return edPaid;
    case TSettleBox::Remark: return edRemark;
    case TSettleBox::None: break;
    }
    return nullptr;
}

void TfrmSettleEdit::DoOK() {
    RunGuarded([this] {
        const TSettleInput in = Collected();
        if (const QString question = LowerPaidQuestion(in);
            !question.isEmpty() && logic_.Check(in).Saved() && !AskYesNo(question, TDefaultAnswer::No)) {
            edPaid->setFocus();
            return;
        }
        const TSettleResult result = logic_.Save(in);
        if (!result.Saved()) {
            ShowWarn(result.Refusal);
            // The batch was settled elsewhere: the ledger offers that settlement instead.
            if (!result.ExistingNo.isEmpty()) {
                existingNo_ = result.ExistingNo;
                Leave();
            }
            if (QWidget* box = FocusTarget(result.Focus)) box->setFocus();
            return;
        }
        settleNo_ = result.SettleNo;
        accept();
    });
}
