#include "workflow/uDryEnd.h"

#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "workflow/uBatch.h"
#include "workflow/uLossAllowance.h"
#include "workflow/uLossRule.h"
#include "workflow/uSaveLock.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

TRoundFigures RecalcRound(double wetNetWt, const QString& dryNetWt, const QDateTime& start, const QDateTime& end) {
    TRoundFigures f;
    if (const std::optional<double> dry = PreviewNum(dryNetWt, TNumRange::Weight)) {
        const double loss = wetNetWt - *dry;
        f.LossWt = FmtNum(loss, 2);
        f.LossRate = wetNetWt > 0 ? FmtFixed(loss / wetNetWt * 100, 2) : QStringLiteral("0");
    } else {
        f.LossWt = f.LossRate = kNoFigure;
    }
    f.DryHours = FmtFixed(std::max(0.0, start.secsTo(end) / 3600.0), 1);
    return f;
}

QString PassLogDetail(int round, double dry, double lossWt, double lossRate, int dryWhId,
                      std::optional<double> theoretical) {
    QString detail = QStringLiteral("第%1轮 干粮%2kg 损耗%3kg(%4%) 仓位ID=%5")
                         .arg(round)
                         .arg(FmtFixed(dry, 1), FmtFixed(lossWt, 1), FmtFixed(lossRate, 2))
                         .arg(dryWhId);
    if (theoretical) detail += QStringLiteral(" 理论干重%1kg").arg(FmtFixed(*theoretical, 1));
    return detail;
}

std::optional<TOpenRound> TDryEndLogic::LoadOpenRound(const QString& batchNo) const {
    const TQuery q = dm_.OpenSQLP(
        "SELECT d.*, b.WetNetWt,b.GrainID,b.FarmerID,b.InMoisture FROM T_Drying d INNER JOIN T_Batch b ON d.BatchNo=b.BatchNo "
        "WHERE d.BatchNo=:b AND d.EndTime IS NULL ORDER BY d.Round DESC LIMIT 1",
        {{"b", batchNo}});
    if (q.IsEmpty()) return std::nullopt;
    TOpenRound r;
    r.BatchNo = batchNo;
    r.DryID = VarToInt(q.Field("DryID"));
    r.Round = VarToInt(q.Field("Round"));
    r.EquipID = VarToInt(q.Field("EquipID"));
    r.WhInID = VarToInt(q.Field("WhInID"));
    r.OpID = VarToInt(q.Field("OpID"));
    r.StartTime = q.Field("StartTime").AsDateTime();
    r.GrainID = VarToInt(q.Field("GrainID"));
    r.FarmerID = VarToInt(q.Field("FarmerID"));
    r.WetNetWt = VarToFloat(q.Field("WetNetWt"), 0);
    if (const TValue m = q.Field("InMoisture"); !m.IsNull()) r.InMoisture = VarToFloat(m);
    return r;
}

namespace {
// A box that must hold a positive number: what is not a number or out of range is refused with
// its caption, nothing or zero with the message of the box.
TRoundEndResult CheckRequired(const TNumEntry& entry, const QString& missing, TRoundField field) {
    if (entry.State == TNumState::NotANumber) return {entry.Refusal, field};
    if (entry.Value <= 0) return {missing, field};
    return {entry.Refusal, field};
}

// The figures worked out while typing stay editable, so they are checked like typed numbers.
TRoundEndResult CheckFigures(const TRoundEndInput& in) {
    const struct {
        QString text;
        TNumRange range;
        QString caption;
        TRoundField field;
    } figures[] = {
        {in.DryHours, TNumRange::Hours, QStringLiteral("烘干时长(小时)"), TRoundField::DryHours},
        {in.LossWt, TNumRange::Weight, QStringLiteral("损耗重量(公斤)"), TRoundField::LossWt},
        {in.LossRate, TNumRange::Percent, QStringLiteral("损耗率(%)"), TRoundField::LossRate},
    };
    for (const auto& f : figures)
        if (const TNumEntry entry = CheckNum(f.text, f.range, f.caption); !entry.Ok()) return {entry.Refusal, f.field};
    if (const QString refusal =
            TextEntryRefusal("T_Drying", "AbnormalMemo", QStringLiteral("异常记录"), in.AbnormalMemo.trimmed());
        !refusal.isEmpty())
        return {refusal, TRoundField::AbnormalMemo};
    return {};
}

TNumEntry OutMoisture(const TRoundEndInput& in) {
    return CheckNum(in.OutMoisture, TNumRange::Percent, QStringLiteral("烘后水分(%)"));
}

TNumEntry DryNetWt(const TRoundEndInput& in) {
    return CheckNum(in.DryNetWt, TNumRange::NetWeight, QStringLiteral("烘后净重(公斤)"));
}
}  // namespace

TRoundEndResult TDryEndLogic::CheckPass(const TOpenRound& round, const TRoundEndInput& in) const {
    if (TRoundEndResult r = CheckRequired(OutMoisture(in), QStringLiteral("请填写烘后水分"), TRoundField::OutMoisture);
        !r.Saved())
        return r;
    if (TRoundEndResult r = CheckRequired(DryNetWt(in), QStringLiteral("烘后净重必须大于0"), TRoundField::DryNetWt);
        !r.Saved())
        return r;
    if (in.DryWhID <= 0) return {QStringLiteral("请选择入仓干粮仓位"), TRoundField::DryWh};
    if (in.EndTime < round.StartTime) return {QStringLiteral("下机时间不能早于上机时间"), TRoundField::EndTime};
    return CheckFigures(in);
}

TRoundEndResult TDryEndLogic::CheckFail(const TOpenRound& round, const TRoundEndInput& in) const {
    if (TRoundEndResult r = CheckRequired(DryNetWt(in), QStringLiteral("请填写本轮烘后净重"), TRoundField::DryNetWt);
        !r.Saved())
        return r;
    if (in.EndTime < round.StartTime) return {QStringLiteral("下机时间不能早于上机时间"), TRoundField::EndTime};
    // A failed round may leave the moisture unmeasured; what is typed must still be a moisture.
    if (const TNumEntry moisture = OutMoisture(in); !moisture.Ok()) return {moisture.Refusal, TRoundField::OutMoisture};
    return CheckFigures(in);
}

QString TDryEndLogic::StaleRefusal(const TOpenRound& round) const {
    // Another station may have ended the round or voided the batch since the dialog opened. The
    // batch row and then the round are locked until this save ends, so no station ends the round
    // a second time.
    const TLockedBatch batch = LockBatch(dm_, round.BatchNo);
    const TQuery open = dm_.OpenSQLP("SELECT EndTime FROM T_Drying WHERE DryID=:id" + SqlForUpdate(dm_.Engine()),
                                     {{"id", round.DryID}});
    if (open.IsEmpty() || !open.Field("EndTime").IsNull())
        return QStringLiteral("第 %1 轮已经结束，请刷新后查看").arg(round.Round);
    if (batch.Status == kStatusVoid) return QStringLiteral("该批次已作废，不能结束烘干轮次");
    return {};
}

void TDryEndLogic::CloseRound(const TOpenRound& round, const TRoundEndInput& in) {
    dm_.ExecSQLP("UPDATE T_Drying SET EndTime=:et,DryHours=:dh,OutMoisture=:om,DryNetWt=:dn,LossWt=:lw,"
                 "LossRate=:lr,AbnormalMemo=:ab WHERE DryID=:id",
                 {{"et", in.EndTime},
                  {"dh", ParseNum(in.DryHours)},
                  {"om", NumOrNull(in.OutMoisture)},
                  {"dn", ParseNum(in.DryNetWt)},
                  {"lw", ParseNum(in.LossWt)},
                  {"lr", ParseNum(in.LossRate)},
                  {"ab", in.AbnormalMemo.trimmed()},
                  {"id", round.DryID}});
}

TRoundEndResult TDryEndLogic::Pass(const TOpenRound& round, const TRoundEndInput& in) {
    if (TRoundEndResult refusal = CheckPass(round, in); !refusal.Saved()) return refusal;
    const double dry = ParseNum(in.DryNetWt);
    try {
        TTransaction tx(dm_);
        if (const QString refusal = StaleRefusal(round); !refusal.isEmpty()) return {refusal};
        if (!LockReferencedRow(dm_, "T_Wh", "WhID", in.DryWhID))
            return {QStringLiteral("所选的干粮仓位已被其他电脑删除，请重新选择"), TRoundField::DryWh};
        CloseRound(round, in);
        dm_.ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) "
                     "VALUES(:b,:w,:g,:f,:q,:t,:m,:s)",
                     {{"b", round.BatchNo},
                      {"w", in.DryWhID},
                      {"g", round.GrainID},
                      {"f", round.FarmerID},
                      {"q", dry},
                      {"t", in.EndTime},
                      {"m", ParseNum(in.OutMoisture)},
                      {"s", kStatusInStore}});
        dm_.ExecSQLP("INSERT INTO T_StockMove(BatchNo,WhID,MoveType,Qty,MoveTime,OpID,Remark) "
                     "VALUES(:b,:w,:mt,:q,:t,:op,:mm)",
                     {{"b", round.BatchNo},
                      {"w", in.DryWhID},
                      {"mt", QStringLiteral("入仓")},
                      {"q", dry},
                      {"t", in.EndTime},
                      {"op", round.OpID},
                      {"mm", QStringLiteral("第%1轮烘后入仓").arg(round.Round)}});
        // The wet grain has left its position for the dryer, so the dry row alone now holds the
        // batch. The wet row is kept, not deleted: its InTime is when storage started for the fee.
        dm_.ExecSQLP("UPDATE T_Stock SET Status=:out WHERE BatchNo=:b AND Status=:wet",
                     {{"out", kStockOut}, {"b", round.BatchNo}, {"wet", kStatusWaiting}});
        dm_.ExecSQLP("UPDATE T_Batch SET Status=:s WHERE BatchNo=:b", {{"s", kStatusInStore}, {"b", round.BatchNo}});
        dm_.WriteLog(QStringLiteral("烘干入仓"), "T_Stock", round.BatchNo,
                     PassLogDetail(round.Round, dry, ParseNum(in.LossWt), ParseNum(in.LossRate), in.DryWhID,
                                   TheoreticalDryWeight(round.WetNetWt, round.InMoisture, ParseNum(in.OutMoisture))));
        tx.Commit();
    } catch (const TDbError& e) {
        return {DbFailureText(QStringLiteral("入仓失败："), e)};
    }
    return {};
}

TRoundEndResult TDryEndLogic::Fail(const TOpenRound& round, const TRoundEndInput& in) {
    if (TRoundEndResult refusal = CheckFail(round, in); !refusal.Saved()) return refusal;
    try {
        TTransaction tx(dm_);
        if (const QString refusal = StaleRefusal(round); !refusal.isEmpty()) return {refusal};
        CloseRound(round, in);
        // The next round carries on where this one stopped: same dryer, wet position and operator.
        dm_.ExecSQLP("INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,OutMoisture,DryNetWt,LossWt,"
                     "LossRate,OpID) VALUES(:b,:r,:e,:w,:t,0,0,0,0,:op)",
                     {{"b", round.BatchNo},
                      {"r", round.Round + 1},
                      {"e", round.EquipID},
                      {"w", round.WhInID},
                      {"t", in.EndTime},
                      {"op", round.OpID}});
        dm_.WriteLog(QStringLiteral("返烘"), "T_Drying", round.BatchNo,
                     QStringLiteral("第%1轮不达标，生成第%2轮，本轮干粮%3kg，%4")
                         .arg(round.Round)
                         .arg(round.Round + 1)
                         .arg(FmtFixed(ParseNum(in.DryNetWt), 1), in.AbnormalMemo.trimmed()));
        tx.Commit();
    } catch (const TDbError& e) {
        return {DbFailureText(QStringLiteral("返烘单生成失败："), e)};
    }
    return {};
}

TfrmDryEnd::TfrmDryEnd(TDM& dm, const QString& batchNo, QWidget* parent)
    : TEntryDialog(parent), dm_(dm), logic_(dm), round_(logic_.LoadOpenRound(batchNo)), allowance_(LossAllowance()) {
    setWindowTitle(QStringLiteral("结束本轮烘干 - ") + batchNo);
    if (round_) BuildUI();
    MarkUntouched();
}

void TfrmDryEnd::BuildUI() {
    setFixedSize(680, 360);
    CentreOnScreen(this);
    ApplyFormFont(this);

    MakeLabel(this, QStringLiteral("批次：%1   第 %2 轮").arg(round_->BatchNo).arg(round_->Round), 20, 14, 300);
    MakeLabel(this, QStringLiteral("上机时间：") + round_->StartTime.toString("yyyy-MM-dd HH:mm"), 350, 14, 300);
    MakeLabel(this, QStringLiteral("上机湿粮净重：%1 公斤").arg(FmtFixed(round_->WetNetWt, 1)), 20, 38, 300);

    const int lx = 20, ex = 132, ew = 190, rx = 350, rex = 468;
    auto top = [](int row) { return 76 + row * 40; };
    MakeLabel(this, QStringLiteral("下机时间 *："), lx, top(0), 110);
    dtEnd = MakeDatePicker(this, ex, top(0), ew, false);
    MakeLabel(this, QStringLiteral("烘后水分(%) *："), rx, top(0), 118);
    edMoisture = MakeEdit(this, rex, top(0), ew);

    MakeLabel(this, QStringLiteral("烘后净重(公斤)*："), lx, top(1), 110);
    edDryNet = MakeEdit(this, ex, top(1), ew, FmtNum(round_->WetNetWt, 2));
    MakeLabel(this, QStringLiteral("烘干时长(小时)："), rx, top(1), 118);
    edHours = MakeEdit(this, rex, top(1), ew);
    MarkInfoBox(edHours);

    MakeLabel(this, QStringLiteral("损耗重量(公斤)："), lx, top(2), 110);
    edLoss = MakeEdit(this, ex, top(2), ew, QStringLiteral("0"));
    MarkInfoBox(edLoss);
    MakeLabel(this, QStringLiteral("损耗率(%)："), rx, top(2), 118);
    edRate = MakeEdit(this, rex, top(2), ew, QStringLiteral("0"));
    MarkInfoBox(edRate);

    MakeLabel(this, QStringLiteral("异常记录："), lx, top(3), 110);
    edAbnormal = MakeEdit(this, ex, top(3), 520);
    // A hint, not a record: an untouched box must not log an abnormality for every round.
    edAbnormal->setPlaceholderText(QStringLiteral("（如：返烘、二次烘干、霉变挑拣、杂质扣除等，没有可留空）"));

    MakeLabel(this, QStringLiteral("入干粮仓位 *："), lx, top(4), 110);
    cbDryWh = MakeCombo(this, ex, top(4), ew);
    FillWhCombo(dm_, cbDryWh, QStringLiteral("干粮区"));
    cbDryWh->setCurrentIndex(-1);
    QLabel* note = MakeLabel(this, QStringLiteral("（水分合格→入仓；不合格→返烘，自动生成下一轮作业单）"), rx,
                             top(4), 320);
    note->setStyleSheet("color: gray;");
    lblLossCheck = MakeLabel(this, QString(), lx, top(5) - 4, 640);

    QPushButton* pass = MakeButton(this, QStringLiteral("水分合格，确认入仓"), 300, 308, 150, 30, [this] { DoPass(); });
    pass->setDefault(true);
    MakeButton(this, QStringLiteral("不达标，返烘"), 460, 308, 110, 30, [this] { DoFail(); });
    MakeButton(this, QStringLiteral("取消"), 580, 308, 80, 30, [this] { reject(); });

    connect(edDryNet, &QLineEdit::textChanged, this, [this] { Recalc(); });
    connect(edMoisture, &QLineEdit::textChanged, this, [this] { Recalc(); });
    connect(dtEnd, &QDateTimeEdit::dateTimeChanged, this, [this] { Recalc(); });
    Recalc();
    edMoisture->setFocus();
}

void TfrmDryEnd::Recalc() {
    const TRoundFigures f = RecalcRound(round_->WetNetWt, edDryNet->text(), round_->StartTime, dtEnd->dateTime());
    edLoss->setText(f.LossWt);
    edRate->setText(f.LossRate);
    edHours->setText(f.DryHours);
    ShowLossCheck();
}

// Red when the scale finds less than the water explains by more than the handling allowance.
void TfrmDryEnd::ShowLossCheck() {
    const std::optional<double> moisture = PreviewNum(edMoisture->text(), TNumRange::Percent);
    if (!moisture) {
        lblLossCheck->setText(QStringLiteral("理论干重 ") + kNoFigure);
        lblLossCheck->setStyleSheet({});
        return;
    }
    const std::optional<TLossCheck> check = CheckLoss(round_->WetNetWt, round_->InMoisture, *moisture,
                                                      PreviewNum(edDryNet->text(), TNumRange::NetWeight).value_or(0));
    lblLossCheck->setText(check ? LossCheckLine(*check) : QString());
    lblLossCheck->setStyleSheet(check && check->BeyondAllowance(allowance_) ? QStringLiteral("color: red;")
                                                                             : QString());
}

TRoundEndInput TfrmDryEnd::Collected() const {
    TRoundEndInput in;
    in.EndTime = dtEnd->dateTime();
    in.OutMoisture = edMoisture->text();
    in.DryNetWt = edDryNet->text();
    in.DryHours = edHours->text();
    in.LossWt = edLoss->text();
    in.LossRate = edRate->text();
    in.AbnormalMemo = edAbnormal->text();
    in.DryWhID = ComboID(cbDryWh);
    return in;
}

void TfrmDryEnd::Finish(const TRoundEndResult& result) {
    if (result.Saved()) {
        accept();
        return;
    }
    ShowWarn(result.Refusal);
    switch (result.Focus) {
    case TRoundField::OutMoisture: edMoisture->setFocus(); break;
    case TRoundField::DryNetWt: edDryNet->setFocus(); break;
    case TRoundField::DryWh: cbDryWh->setFocus(); break;
    case TRoundField::EndTime: dtEnd->setFocus(); break;
    case TRoundField::DryHours: edHours->setFocus(); break;
    case TRoundField::LossWt: edLoss->setFocus(); break;
    case TRoundField::LossRate: edRate->setFocus(); break;
    case TRoundField::AbnormalMemo: edAbnormal->setFocus(); break;
    case TRoundField::None: break;
    }
}

void TfrmDryEnd::DoPass() {
    const TRoundEndInput in = Collected();
    if (const TRoundEndResult refusal = logic_.CheckPass(*round_, in); !refusal.Saved()) {
        Finish(refusal);
        return;
    }
    if (!AskYesNo(QStringLiteral("确认第 %1 轮烘干合格并入仓？干粮净重 %2 公斤")
                      .arg(round_->Round)
                      .arg(FmtFixed(ParseNum(in.DryNetWt), 1))))
        return;
    RunGuarded([&] { Finish(logic_.Pass(*round_, in)); });
}

void TfrmDryEnd::DoFail() {
    if (!AskYesNo(QStringLiteral("第 %1 轮不达标，确认生成第 %2 轮返烘作业单？").arg(round_->Round).arg(round_->Round + 1)))
        return;
    RunGuarded([&] { Finish(logic_.Fail(*round_, Collected())); });
}
