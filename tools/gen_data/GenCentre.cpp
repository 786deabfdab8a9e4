#include "GenCentre.h"

#include "GenBatch.h"
#include "GenFees.h"
#include "GenNames.h"
#include "GenWorld.h"
#include "GenWriter.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "scale/uPhoto.h"
#include "workflow/uDryEnd.h"
#include "workflow/uLossRule.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cmath>
#include <map>
#include <queue>

namespace {
enum class TKind : std::uint8_t { Intake, Dispatch, RoundEnd, Outbound, Settle, Void, Login, Logout, Standby, Maint };

struct TEvent {
    TStamp At;
    std::uint64_t Seq;  // ties are written in the order they were planned
    std::uint32_t Subject;  // batch, user or dryer
    std::uint16_t Index;    // round, outbound or maintenance type
    TKind Kind;
    bool operator>(const TEvent& o) const { return At != o.At ? At > o.At : Seq > o.Seq; }
};

const QStringList kMaintTypes = {QStringLiteral("保养"), QStringLiteral("维修"), QStringLiteral("耗材更换")};

class TCentre {
public:
    TCentre(TDM& dm, const TGenOptions& o, TStamp end)
        : dm_(dm), options_(o), end_(end), root_(o.Seed), writer_(dm) {}

    void Run();

private:
    void PlanYear(TStamp from, TStamp to);
    void PlanDay(TStamp day, int loads);
    void PlanRoutine(TStamp day);
    void Push(TStamp at, TKind kind, std::uint32_t subject, std::uint16_t index = 0);
    void WriteUntil(TStamp until);
    void Write(const TEvent& e);

    void WriteIntake(const TGenBatch& b);
    void WritePhotos(const TGenBatch& b);
    void WriteDispatch(const TGenBatch& b);
    void WriteRoundEnd(const TGenBatch& b, size_t round);
    void WriteOutbound(const TGenBatch& b, size_t index);
    void WriteSettle(const TGenBatch& b);
    void WriteRun(const TGenBatch& b, const TGenRound& rd);
    void InsertRound(const TGenBatch& b, const TGenRound& rd);
    void WriteStandby(const TEvent& e);
    void WriteMaint(const TEvent& e);
    QString NextNo(const QString& prefix, TStamp at);

    TDM& dm_;
    TGenOptions options_;
    TStamp end_;
    TGenRandom root_;
    TGenRandom calendar_ = root_.Fork(2);
    TGenRandom lives_ = root_.Fork(3);
    TGenRandom deeds_ = root_.Fork(4);
    TGenWriter writer_;
    TGenWorld world_;
    std::vector<TGenBatch> batches_;
    std::vector<TStamp> nextService_;
    std::priority_queue<TEvent, std::vector<TEvent>, std::greater<>> queue_;
    std::uint64_t seq_ = 0;
    double voidCredit_ = 0.5;
    int voids_ = 0;
    std::map<QString, std::pair<QString, int>> numbers_;  // prefix: day and last sequence
};

void TCentre::Run() {
    const QDate lastDay = DateOf(end_);
    const QDate firstDay = lastDay.addYears(-options_.Years);
    const TStamp start = StampOf(firstDay);
    TGenRandom worldRandom = root_.Fork(1);
    const int farmers = std::clamp(options_.Years * options_.BatchesPerYear / 60, 300, 3000);
    world_ = CreateWorld(dm_, writer_, worldRandom, start - 2 * kDay + 9 * kHour, end_, farmers);
    for (size_t i = 0; i < world_.Dryers.size(); ++i)
        nextService_.push_back(start + TStamp(calendar_.Int(1, 90)) * kDay);
    batches_.reserve(size_t(options_.Years) * size_t(options_.BatchesPerYear));
    for (int y = 0; y < options_.Years; ++y)
        PlanYear(StampOf(firstDay.addYears(y)), StampOf(firstDay.addYears(y + 1)));
    WriteUntil(end_);
    writer_.Finish();
}

void TCentre::PlanYear(TStamp from, TStamp to) {
    // The year's loads are shared out over its days by the harvest seasons, with some
    // day-to-day unevenness, and the rounding carried on so that the year gets them all.
    std::vector<double> weights;
    double total = 0;
    for (TStamp day = from; day < to; day += kDay)
        total += weights.emplace_back(world_.IntakeWeight(DateOf(day).dayOfYear()) * calendar_.Uniform(0.75, 1.25));
    double running = 0;
    int given = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        running += weights[i];
        const int due = int(std::llround(running / total * options_.BatchesPerYear));
        const TStamp day = from + TStamp(i) * kDay;
        PlanDay(day, due - given);
        PlanRoutine(day);
        WriteUntil(day + kDay);
        given = due;
    }
}

void TCentre::PlanDay(TStamp day, int loads) {
    std::vector<TStamp> arrivals;
    for (int i = 0; i < loads; ++i) {
        // The weighbridge works from dawn to evening; in the harvest some loads come at night.
        const double hour = calendar_.Chance(0.92) ? calendar_.Uniform(5.5, 21) : calendar_.Uniform(21, 24);
        arrivals.push_back(day + TStamp(hour * kHour));
    }
    // When the history ends the centre is at work: a load waits in the yard, another is on a dryer.
    const bool lastDay = day + kDay >= end_;
    TStamp onDryer = -1, waiting = -1;
    if (lastDay) {
        while (arrivals.size() < 2) arrivals.push_back(day);
        arrivals[0] = onDryer = end_ - TStamp(calendar_.Uniform(3, 5) * kHour);
        arrivals[1] = waiting = end_ - TStamp(calendar_.Uniform(0.5, 2) * kHour);
    }
    std::sort(arrivals.begin(), arrivals.end());
    const QString head = QStringLiteral("PC") + DayCode(day);
    for (size_t i = 0; i < arrivals.size(); ++i) {
        const auto index = std::uint32_t(batches_.size());
        const QString no = head + QStringLiteral("%1").arg(i + 1, 3, 10, QChar('0'));
        TGenFate fate = TGenFate::AsItComes;
        // About one load in a hundred is voided, spread evenly enough that a small history has some.
        voidCredit_ += calendar_.Uniform(0.005, 0.015);
        if (voidCredit_ >= 1) {
            voidCredit_ -= 1;
            // Most are registration errors; every third is voided after drying.
            fate = ++voids_ % 3 == 2 ? TGenFate::VoidedInStore : TGenFate::VoidedAtIntake;
        }
        if (arrivals[i] == onDryer) fate = TGenFate::OnDryer;
        if (arrivals[i] == waiting) fate = TGenFate::StillWaiting;
        TGenBatch& b = batches_.emplace_back(PlanBatch(world_, lives_, no, arrivals[i], end_, fate));
        Push(b.Reg, TKind::Intake, index);
        if (!b.Rounds.empty()) Push(b.Rounds.front().Start, TKind::Dispatch, index);
        for (size_t r = 0; r < b.Rounds.size(); ++r)
            if (!b.Rounds[r].Open()) Push(b.Rounds[r].End, TKind::RoundEnd, index, std::uint16_t(r));
        for (size_t o = 0; o < b.Outs.size(); ++o) Push(b.Outs[o].At, TKind::Outbound, index, std::uint16_t(o));
        if (b.Settled) Push(b.SettleAt, TKind::Settle, index);
        if (b.Voided) Push(b.VoidAt, TKind::Void, index);
        b.PendingEvents = int(1 + (b.Rounds.empty() ? 0 : 1) +
                              std::count_if(b.Rounds.begin(), b.Rounds.end(), [](const TGenRound& rd) { return !rd.Open(); }) +
                              b.Outs.size() + (b.Settled ? 1 : 0) + (b.Voided ? 1 : 0));
    }
}

void TCentre::PlanRoutine(TStamp day) {
    // Each working day a few users log in in the morning and out in the evening.
    for (std::uint32_t u = 0; u < world_.Users.size(); ++u) {
        const QString& role = world_.Users[u].Role;
        const double p = role == Roles::Weigher || role == Roles::Operator ? 0.6
                         : role == Roles::Finance                          ? 0.4
                                                                           : 0.08;
        if (!calendar_.Chance(p)) continue;
        Push(day + TStamp(calendar_.Uniform(6.5, 8.5) * kHour), TKind::Login, u);
        Push(day + TStamp(calendar_.Uniform(17, 21.5) * kHour), TKind::Logout, u);
    }
    for (std::uint32_t d = 0; d < world_.Dryers.size(); ++d) {
        if (day >= world_.Dryers[d].Until) continue;
        if (calendar_.Chance(0.06)) Push(day + TStamp(calendar_.Uniform(6, 18) * kHour), TKind::Standby, d);
        if (day >= nextService_[d]) {
            Push(day + TStamp(calendar_.Uniform(9, 16) * kHour), TKind::Maint, d, 0);
            nextService_[d] = day + TStamp(calendar_.Int(80, 100)) * kDay;
        }
        if (calendar_.Chance(0.004)) Push(day + TStamp(calendar_.Uniform(9, 16) * kHour), TKind::Maint, d, 1);
        if (calendar_.Chance(0.003)) Push(day + TStamp(calendar_.Uniform(9, 16) * kHour), TKind::Maint, d, 2);
    }
}

void TCentre::Push(TStamp at, TKind kind, std::uint32_t subject, std::uint16_t index) {
    if (at >= end_) return;
    queue_.push({at, seq_++, subject, index, kind});
}

void TCentre::WriteUntil(TStamp until) {
    while (!queue_.empty() && queue_.top().At < until) {
        const TEvent e = queue_.top();
        queue_.pop();
        Write(e);
        writer_.MaybeCommit();
    }
}

void TCentre::Write(const TEvent& e) {
    switch (e.Kind) {
    case TKind::Login:
    case TKind::Logout: {
        const TGenUser& u = world_.Users[e.Subject];
        if (e.Kind == TKind::Login)
            writer_.Log(e.At, u.Login, QStringLiteral("登录"), "T_User", u.Login, u.Role);
        else
            writer_.Log(e.At, u.Login, QStringLiteral("退出"), "T_User", u.Login, {});
        return;
    }
    case TKind::Standby: WriteStandby(e); return;
    case TKind::Maint: WriteMaint(e); return;
    default: break;
    }
    TGenBatch& b = batches_[e.Subject];
    switch (e.Kind) {
    case TKind::Intake: WriteIntake(b); break;
    case TKind::Dispatch: WriteDispatch(b); break;
    case TKind::RoundEnd: WriteRoundEnd(b, e.Index); break;
    case TKind::Outbound: WriteOutbound(b, e.Index); break;
    case TKind::Settle: WriteSettle(b); break;
    case TKind::Void:
        writer_.Log(e.At, world_.PickUser(deeds_, Roles::Admin), QStringLiteral("作废"), "T_Batch", b.BatchNo,
                    b.VoidReason);
        break;
    default: break;
    }
    // A batch whose history is written in full is not needed any more.
    if (--b.PendingEvents == 0) b = TGenBatch{};
}

void TCentre::WriteIntake(const TGenBatch& b) {
    const TGenFarmer& farmer = world_.Farmers[b.Farmer];
    const int grainId = world_.Grains[b.Grain].Std.GrainID;
    writer_.Insert(TGenTable::Batch, {{"no", b.BatchNo},
                                      {"t", At(b.Reg)},
                                      {"car", b.CarNo},
                                      {"f", farmer.ID},
                                      {"g", grainId},
                                      {"m", b.Moisture},
                                      {"imp", b.Impurity},
                                      {"qm", b.QualityMemo},
                                      {"gross", b.Gross},
                                      {"tare", b.Tare},
                                      {"net", b.Net},
                                      {"wh", b.WetWh},
                                      {"target", b.Target},
                                      {"fee", TValue::Money(b.EstFee)},
                                      {"op", b.WeighOp},
                                      {"team", b.Team},
                                      {"st", b.Status},
                                      {"void", b.Voided ? TValue(b.VoidReason) : TValue()}});
    writer_.Insert(TGenTable::Stock, {{"b", b.BatchNo},
                                      {"w", b.WetWh},
                                      {"g", grainId},
                                      {"f", farmer.ID},
                                      {"q", b.Net},
                                      {"t", At(b.Reg)},
                                      {"m", b.Moisture},
                                      {"s", b.WetStatus}});
    writer_.Log(b.Reg, world_.PickUser(deeds_, Roles::Weigher), QStringLiteral("收粮登记"), "T_Batch", b.BatchNo,
                QStringLiteral("农户ID=%1 净重%2kg").arg(farmer.ID).arg(FmtFixed(b.Net, 1)));
    WritePhotos(b);
}

// Two cameras at each take, the gross a few minutes before the registration is saved and the
// tare at the save. Only the rows: no picture file is written. Everything is drawn from the
// batch number, not from the centre's random streams, so the rest of the history stays as it was
// for the same seed.
void TCentre::WritePhotos(const TGenBatch& b) {
    static const QString kCameras[] = {QStringLiteral("车头"), QStringLiteral("侧面")};
    const QByteArray seed = b.BatchNo.toUtf8();
    for (const bool gross : {true, false}) {
        const TStamp at = gross ? b.Reg - 3 * kMinute : b.Reg;
        const QString kind = gross ? "G" : "T";
        const QTime time = QTime(0, 0).addSecs(SecondOfDay(at));
        for (const QString& camera : kCameras) {
            const QByteArray sha = QCryptographicHash::hash(seed + kind.toLatin1() + camera.toUtf8(), QCryptographicHash::Sha256);
            const auto byte = [&](int i) { return quint8(sha[i]); };
            // About one take in forty a camera does not answer.
            const bool shot = byte(0) > 6;
            const QString path = QStringLiteral("%1/%2-%3-000-%4-%5.jpg")
                                     .arg(DateOf(at).toString("yyyy/MM"), DayCode(at), time.toString("HHmmss"), kind,
                                          QString::fromLatin1(sha.left(4).toHex()));
            writer_.Insert(TGenTable::Photo, {{"b", b.BatchNo},
                                              {"k", gross ? kWtKindGross : kWtKindTare},
                                              {"c", camera},
                                              {"t", At(at)},
                                              {"w", gross ? b.Gross : b.Tare},
                                              {"f", shot ? TValue(path) : TValue()},
                                              {"s", shot ? TValue(qint64(90000 + (byte(1) << 8 | byte(2)))) : TValue()},
                                              {"h", shot ? TValue(QString::fromLatin1(sha.toHex())) : TValue()}});
        }
    }
}

void TCentre::InsertRound(const TGenBatch& b, const TGenRound& rd) {
    // A round is written as it stands at the end of the history: closed with its results, or
    // open with the zeros its opening wrote. Later rounds are opened by a re-dry, which leaves
    // temperature, fan gear and hours empty.
    const bool first = rd.Round == 1;
    const double loss = b.Net - rd.DryNetWt;
    const bool open = rd.Open();
    writer_.Insert(TGenTable::Drying,
                   {{"b", b.BatchNo},
                    {"r", rd.Round},
                    {"e", rd.EquipID},
                    {"w", b.WetWh},
                    {"st", At(rd.Start)},
                    {"et", open ? TValue() : At(rd.End)},
                    {"dh", open ? (first ? TValue(0.0) : TValue()) : TValue(std::round((rd.End - rd.Start) / 360.0) / 10)},
                    {"temp", first ? TValue(rd.Temp) : TValue()},
                    {"fan", first ? TValue(rd.FanGear) : TValue()},
                    {"om", open ? 0.0 : rd.OutMoisture},
                    {"dn", open ? 0.0 : rd.DryNetWt},
                    {"lw", open ? 0.0 : loss},
                    {"lr", open ? 0.0 : RoundFen(loss / b.Net * 100)},
                    {"ab", open ? TValue() : TValue(rd.Memo)},
                    {"op", b.DryOp}});
}

void TCentre::WriteDispatch(const TGenBatch& b) {
    const TGenRound& rd = b.Rounds.front();
    InsertRound(b, rd);
    writer_.Log(rd.Start, world_.PickUser(deeds_, Roles::Operator), QStringLiteral("派工上机"), "T_Drying",
                b.BatchNo, QStringLiteral("设备ID=%1 上机时间%2").arg(rd.EquipID).arg(MinuteText(rd.Start)));
}

void TCentre::WriteRun(const TGenBatch& b, const TGenRound& rd) {
    const double hours = std::round((rd.End - rd.Start) / 360.0) / 10;
    writer_.Insert(TGenTable::EquipRun,
                   {{"e", rd.EquipID},
                    {"b", b.BatchNo},
                    {"st", At(rd.Start)},
                    {"et", At(rd.End)},
                    {"h", hours},
                    {"kwh", std::round(hours * deeds_.Uniform(25, 40) * 10) / 10},
                    {"temp", rd.Temp > 0 ? rd.Temp : double(deeds_.Int(55, 70))},
                    {"s", rd.Fault ? QStringLiteral("故障") : QStringLiteral("作业")},
                    {"memo", rd.Fault ? FaultMemo(deeds_) : QString()}});
}

void TCentre::WriteRoundEnd(const TGenBatch& b, size_t round) {
    const TGenRound& rd = b.Rounds[round];
    const QString user = world_.PickUser(deeds_, Roles::Operator);
    WriteRun(b, rd);
    if (round + 1 < b.Rounds.size()) {
        InsertRound(b, b.Rounds[round + 1]);
        writer_.Log(rd.End, user, QStringLiteral("返烘"), "T_Drying", b.BatchNo,
                    QStringLiteral("第%1轮不达标，生成第%2轮，本轮干粮%3kg，%4")
                        .arg(rd.Round)
                        .arg(rd.Round + 1)
                        .arg(FmtFixed(rd.DryNetWt, 1), rd.Memo));
        return;
    }
    const TGenFarmer& farmer = world_.Farmers[b.Farmer];
    const int grainId = world_.Grains[b.Grain].Std.GrainID;
    writer_.Insert(TGenTable::Stock, {{"b", b.BatchNo},
                                      {"w", b.DryWh},
                                      {"g", grainId},
                                      {"f", farmer.ID},
                                      {"q", rd.DryNetWt},
                                      {"t", At(rd.End)},
                                      {"m", rd.OutMoisture},
                                      {"s", b.DryStatus}});
    writer_.Insert(TGenTable::Move, {{"b", b.BatchNo},
                                     {"w", b.DryWh},
                                     {"mt", QStringLiteral("入仓")},
                                     {"q", rd.DryNetWt},
                                     {"t", At(rd.End)},
                                     {"op", b.DryOp},
                                     {"mm", QStringLiteral("第%1轮烘后入仓").arg(rd.Round)}});
    const double loss = b.Net - rd.DryNetWt;
    writer_.Log(rd.End, user, QStringLiteral("烘干入仓"), "T_Stock", b.BatchNo,
                PassLogDetail(rd.Round, rd.DryNetWt, loss, loss / b.Net * 100, b.DryWh,
                              TheoreticalDryWeight(b.Net, b.Moisture, rd.OutMoisture)));
}

void TCentre::WriteOutbound(const TGenBatch& b, size_t index) {
    const TGenOutbound& out = b.Outs[index];
    const TGenFarmer& farmer = world_.Farmers[b.Farmer];
    const bool sale = deeds_.Chance(farmer.Trader ? 0.7 : 0.15);
    const QString type = sale ? QStringLiteral("对外销售") : QStringLiteral("农户自提");
    const QString no = NextNo(QStringLiteral("CK"), out.At);
    const int op = world_.OnShift(world_.Weighers, deeds_, SecondOfDay(out.At)).ID;
    writer_.Insert(TGenTable::Outbound,
                   {{"no", no},
                    {"tp", type},
                    {"b", b.BatchNo},
                    {"f", farmer.ID},
                    {"g", world_.Grains[b.Grain].Std.GrainID},
                    {"w", out.Wt},
                    {"t", At(out.At)},
                    {"dest", sale ? SaleDestination(deeds_) : farmer.Village},
                    {"dr", PersonName(deeds_)},
                    {"car", sale || farmer.CarNo.isEmpty() ? Plate(deeds_) : farmer.CarNo},
                    {"op", op},
                    {"mm", QString()}});
    writer_.Insert(TGenTable::Move, {{"b", b.BatchNo},
                                     {"w", b.DryWh},
                                     {"mt", QStringLiteral("出仓")},
                                     {"q", out.Wt},
                                     {"t", At(out.At)},
                                     {"op", op},
                                     {"mm", type}});
    writer_.Log(out.At, world_.PickUser(deeds_, Roles::Weigher), QStringLiteral("出库"), "T_Outbound", no,
                QStringLiteral("批次%1 %2kg %3").arg(b.BatchNo, FmtFixed(out.Wt, 1), type));
}

void TCentre::WriteSettle(const TGenBatch& b) {
    const TGenGrain& grain = world_.Grains[b.Grain];
    TGenFeeInput in;
    in.Std = grain.Std;
    in.WetNetWt = b.Net;
    in.InMoisture = b.Moisture;
    in.InStore = b.Reg;
    in.AsOf = b.SettleAt;
    in.Rounds = int(b.Rounds.size());
    in.OtherFee = b.OtherFee;
    const TGenFees fees = GenCalcFees(in);
    const double total = fees.Total();
    const double paid = b.Payment == TGenPayment::Full     ? total
                        : b.Payment == TGenPayment::Partly ? std::floor(total * b.PartShare)
                                                           : 0.0;
    const TGenSettlement s = GenSettle(fees, paid);
    QString remark;
    if (b.Payment == TGenPayment::Partly) remark = QStringLiteral("余款约定年底结清");
    if (b.Payment == TGenPayment::OnAccount) remark = QStringLiteral("挂账");
    if (b.Payment == TGenPayment::Full && deeds_.Chance(0.5))
        remark = deeds_.Chance(0.5) ? QStringLiteral("微信收款") : QStringLiteral("现金");
    const QString no = NextNo(QStringLiteral("JS"), b.SettleAt);
    writer_.Insert(TGenTable::Settle, {{"no", no},
                                       {"b", b.BatchNo},
                                       {"f", world_.Farmers[b.Farmer].ID},
                                       {"bf", TValue::Money(fees.BaseFee)},
                                       {"mf", TValue::Money(fees.MoistureExtra)},
                                       {"sf", TValue::Money(fees.StorageFee)},
                                       {"rf", TValue::Money(fees.ReDryFee)},
                                       {"of", TValue::Money(fees.OtherFee)},
                                       {"tf", TValue::Money(s.Total)},
                                       {"pa", TValue::Money(s.Paid)},
                                       {"da", TValue::Money(s.Debt)},
                                       {"st", s.Status},
                                       {"tm", At(b.SettleAt)},
                                       {"sd", fees.OverDays},
                                       {"mm", remark}});
    writer_.Log(b.SettleAt, world_.PickUser(deeds_, Roles::Finance), QStringLiteral("结算"), "T_Settle", no,
                QStringLiteral("批次%1 合计%2 已收%3 欠款%4 %5")
                    .arg(b.BatchNo, FmtMoney(s.Total), FmtMoney(s.Paid), FmtMoney(s.Debt), s.Status));
}

void TCentre::WriteStandby(const TEvent& e) {
    const double hours = std::round(deeds_.Uniform(1, 6) * 10) / 10;
    writer_.Insert(TGenTable::EquipRun, {{"e", world_.Dryers[e.Subject].ID},
                                         {"b", TValue()},
                                         {"st", At(e.At)},
                                         {"et", At(e.At + TStamp(hours * kHour))},
                                         {"h", hours},
                                         {"kwh", std::round(hours * deeds_.Uniform(1, 3) * 10) / 10},
                                         {"temp", TValue()},
                                         {"s", QStringLiteral("待机")},
                                         {"memo", QStringLiteral("预热待料")}});
}

void TCentre::WriteMaint(const TEvent& e) {
    const QString type = kMaintTypes[e.Index];
    const double cost = e.Index == 1 ? deeds_.Stepped(500, 6000, 10) : deeds_.Stepped(100, 900, 10);
    writer_.Insert(TGenTable::EquipMaint, {{"e", world_.Dryers[e.Subject].ID},
                                           {"tp", type},
                                           {"d", At(StartOfDay(e.At))},
                                           {"c", MaintContent(deeds_, type)},
                                           {"cost", TValue::Money(cost)},
                                           {"next", At(StartOfDay(e.At) + 90 * kDay)}});
    writer_.Log(e.At, world_.PickUser(deeds_, Roles::Operator), QStringLiteral("新增"), "T_EquipMaint",
                QString::number(writer_.LastId()), {});
}

QString TCentre::NextNo(const QString& prefix, TStamp at) {
    auto& [day, seq] = numbers_[prefix];
    const QString code = DayCode(at);
    if (day != code) {
        day = code;
        seq = 0;
    }
    return prefix + code + QStringLiteral("%1").arg(++seq, 3, 10, QChar('0'));
}
}  // namespace

void GenerateCentre(TDM& dm, const TGenOptions& options, TStamp historyEnd) {
    TCentre(dm, options, historyEnd).Run();
}
