#include "workflow/uBatch.h"

#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"
#include "scale/uPlate.h"
#include "scale/uPhotoDesk.h"
#include "scale/uScaleDesk.h"
#include "workflow/uSaveLock.h"
#include "workflow/uStockRule.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const char* const kInsertBatch =
    "INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,Impurity,QualityMemo,GrossWt,TareWt,"
    "WetNetWt,WhID,TargetMoisture,EstFee,OpID,Team,Status) VALUES(:BatchNo,:RegTime,:CarNo,:FarmerID,:GrainID,"
    ":InMoisture,:Impurity,:QualityMemo,:GrossWt,:TareWt,:WetNetWt,:WhID,:TargetMoisture,:EstFee,:OpID,:Team,"
    ":Status)";
const char* const kUpdateBatch =
    "UPDATE T_Batch SET RegTime=:RegTime,CarNo=:CarNo,FarmerID=:FarmerID,GrainID=:GrainID,InMoisture=:InMoisture,"
    "Impurity=:Impurity,QualityMemo=:QualityMemo,GrossWt=:GrossWt,TareWt=:TareWt,WetNetWt=:WetNetWt,WhID=:WhID,"
    "TargetMoisture=:TargetMoisture,EstFee=:EstFee,OpID=:OpID,Team=:Team WHERE BatchNo=:BatchNo";

TParams BatchParams(const TBatchInput& in, const QString& batchNo) {
    return {{"BatchNo", batchNo},
            {"RegTime", in.RegTime},
            {"CarNo", NormalisePlate(in.CarNo)},
            {"FarmerID", in.FarmerID},
            {"GrainID", in.GrainID},
            {"InMoisture", NumOrNull(in.InMoisture)},
            {"Impurity", NumOrNull(in.Impurity)},
            {"QualityMemo", in.QualityMemo.trimmed()},
            {"GrossWt", NumOrNull(in.GrossWt)},
            {"TareWt", NumOrNull(in.TareWt)},
            {"WetNetWt", ParseNum(in.WetNetWt)},
            {"WhID", in.WhID},
            {"TargetMoisture", NumOrNull(in.TargetMoisture)},
            {"EstFee", TValue::Money(ParseNum(in.EstFee))},
            {"OpID", in.OpID},
            {"Team", in.Team.trimmed()}};
}

TBatchSaveResult Refuse(const QString& message, TBatchField focus = TBatchField::None) {
    return {message, focus, {}};
}

// What the dialog shows of a batch, compared before a correction is saved over it.
const QList<TStampCol> kBatchRead{
    {"RegTime", QStringLiteral("登记时间")},     {"CarNo", QStringLiteral("车牌号")},
    {"FarmerID", QStringLiteral("农户/客户")},   {"GrainID", QStringLiteral("粮种")},
    {"OpID", QStringLiteral("操作员")},          {"WhID", QStringLiteral("湿粮仓位")},
    {"Team", QStringLiteral("班组")},            {"TargetMoisture", QStringLiteral("目标水分")},
    {"InMoisture", QStringLiteral("入库水分")},  {"Impurity", QStringLiteral("杂质")},
    {"GrossWt", QStringLiteral("毛重")},         {"TareWt", QStringLiteral("皮重")},
    {"WetNetWt", QStringLiteral("湿粮净重")},    {"EstFee", QStringLiteral("预计烘干费")},
    {"QualityMemo", QStringLiteral("粮质备注")}, {"Status", QStringLiteral("状态")}};

// The master rows the batch refers to stay until this save ends; one deleted meanwhile is to be
// picked again.
TBatchSaveResult LockChosenRows(TDM& dm, const TBatchInput& in) {
    const struct {
        const char *table, *key;
        int id;
        QString caption;
        TBatchField field;
    } chosen[] = {{"T_Farmer", "FarmerID", in.FarmerID, QStringLiteral("农户/客户"), TBatchField::Farmer},
                  {"T_Grain", "GrainID", in.GrainID, QStringLiteral("粮种"), TBatchField::Grain},
                  {"T_Wh", "WhID", in.WhID, QStringLiteral("湿粮仓位"), TBatchField::Wh},
                  {"T_Operator", "OpID", in.OpID, QStringLiteral("操作员"), TBatchField::None}};
    for (const auto& c : chosen)
        if (c.id > 0 && !LockReferencedRow(dm, c.table, c.key, c.id))
            return Refuse(QStringLiteral("所选的%1已被其他电脑删除，请重新选择").arg(c.caption), c.field);
    return {};
}
}  // namespace

QString NetWeightText(const QString& gross, const QString& tare) {
    const std::optional<double> g = PreviewNum(gross, TNumRange::Weight);
    const std::optional<double> t = PreviewNum(tare, TNumRange::Weight);
    if (!g || !t) return kNoFigure;
    return FmtNum(*g - *t, 2);
}

QString EstimateFeeText(const TBatchLogic& logic, int grainId, const QString& wetNet, const QString& moisture) {
    // A negative net is shown as weighed, yet no fee is worked out from it.
    const std::optional<double> net = PreviewNum(wetNet, TNumRange::Weight);
    const std::optional<double> m = PreviewNum(moisture, TNumRange::Percent);
    if (!net || !m) return kNoFigure;
    return FmtMoney(logic.EstimateFee(grainId, *net, *m));
}

double TBatchLogic::EstimateFee(int grainId, double wetNetKg, double inMoisture) const {
    const double tons = wetNetKg / 1000;
    if (grainId <= 0 || tons <= 0) return 0;
    const TQuery std = dm_.OpenSQLP(
        "SELECT PricePerTon,StdMoisture,ExtraPerPoint FROM T_FeeStd WHERE GrainID=:g ORDER BY FeeID LIMIT 1",
        {{"g", grainId}});
    if (std.IsEmpty()) return 0;
    const double price = VarToFloat(std.Field("PricePerTon"), 0);
    const double stdMoisture = VarToFloat(std.Field("StdMoisture"), 0);
    const double extra = VarToFloat(std.Field("ExtraPerPoint"), 0);
    double fee = tons * price;
    if (inMoisture > stdMoisture) fee += (inMoisture - stdMoisture) * tons * extra;
    return fee;
}

QString TBatchLogic::OperatorTeam(int opId) const {
    if (opId <= 0) return {};
    return VarToStr(dm_.ScalarP("SELECT Team FROM T_Operator WHERE OpID=:i", {{"i", opId}}));
}

std::optional<TBatchRecord> TBatchLogic::Load(const QString& batchNo) const {
    const TQuery q = dm_.OpenSQLP("SELECT * FROM T_Batch WHERE BatchNo=:b", {{"b", batchNo}});
    if (q.IsEmpty()) return std::nullopt;
    TBatchRecord rec;
    TBatchInput& in = rec.Input;
    in.BatchNo = batchNo;
    in.RegTime = q.Field("RegTime").AsDateTime();
    in.CarNo = VarToStr(q.Field("CarNo"));
    in.FarmerID = VarToInt(q.Field("FarmerID"));
    in.GrainID = VarToInt(q.Field("GrainID"));
    in.OpID = VarToInt(q.Field("OpID"));
    in.WhID = VarToInt(q.Field("WhID"));
    in.Team = VarToStr(q.Field("Team"));
    in.TargetMoisture = VarToStr(q.Field("TargetMoisture"));
    in.InMoisture = VarToStr(q.Field("InMoisture"));
    in.Impurity = VarToStr(q.Field("Impurity"));
    in.GrossWt = VarToStr(q.Field("GrossWt"));
    in.TareWt = VarToStr(q.Field("TareWt"));
    in.WetNetWt = VarToStr(q.Field("WetNetWt"));
    in.EstFee = FmtMoney(VarToFloat(q.Field("EstFee"), 0));
    in.QualityMemo = VarToStr(q.Field("QualityMemo"));
    rec.Status = VarToStr(q.Field("Status"));
    in.Read = StampRow(q, "T_Batch", "BatchNo", batchNo, kBatchRead);
    return rec;
}

TBatchSaveResult TBatchLogic::Check(const TBatchInput& in) const {
    if (in.FarmerID <= 0) return Refuse(QStringLiteral("请选择农户/客户"), TBatchField::Farmer);
    if (in.GrainID <= 0) return Refuse(QStringLiteral("请选择粮种"), TBatchField::Grain);
    if (in.WhID <= 0) return Refuse(QStringLiteral("请选择湿粮仓位"), TBatchField::Wh);

    const struct {
        QString column, caption, text;
        TBatchField field;
    } texts[] = {{"CarNo", QStringLiteral("车牌号"), in.CarNo, TBatchField::CarNo},
                 {"Team", QStringLiteral("班组"), in.Team, TBatchField::Team},
                 {"QualityMemo", QStringLiteral("粮质备注"), in.QualityMemo, TBatchField::QualityMemo}};
    for (const auto& t : texts)
        if (const QString refusal = TextEntryRefusal("T_Batch", t.column, t.caption, t.text.trimmed());
            !refusal.isEmpty())
            return Refuse(refusal, t.field);

    const struct {
        QString text;
        TNumRange range;
        QString caption;
        TBatchField field;
    } numbers[] = {
        {in.TargetMoisture, TNumRange::Percent, QStringLiteral("目标水分(%)"), TBatchField::TargetMoisture},
        {in.InMoisture, TNumRange::Percent, QStringLiteral("入库水分(%)"), TBatchField::InMoisture},
        {in.Impurity, TNumRange::Percent, QStringLiteral("杂质(%)"), TBatchField::Impurity},
        {in.GrossWt, TNumRange::Weight, QStringLiteral("毛重(公斤)"), TBatchField::GrossWt},
        {in.TareWt, TNumRange::Weight, QStringLiteral("皮重(公斤)"), TBatchField::TareWt},
    };
    for (const auto& n : numbers)
        if (const TNumEntry entry = CheckNum(n.text, n.range, n.caption); !entry.Ok())
            return Refuse(entry.Refusal, n.field);

    const TNumEntry net = CheckNum(in.WetNetWt, TNumRange::NetWeight, QStringLiteral("湿粮净重(公斤)"));
    if (net.State == TNumState::NotANumber) return Refuse(net.Refusal, TBatchField::WetNetWt);
    if (net.Value <= 0) return Refuse(QStringLiteral("湿粮净重必须大于0，请检查毛重、皮重"), TBatchField::GrossWt);
    if (!net.Ok()) return Refuse(net.Refusal, TBatchField::WetNetWt);
    if (const TNumEntry fee = CheckNum(in.EstFee, TNumRange::Money, QStringLiteral("预计烘干费(元)")); !fee.Ok())
        return Refuse(fee.Refusal, TBatchField::EstFee);
    return {};
}

QString TBatchLogic::CapacityQuestion(const TBatchInput& in) const {
    const TQuery wh = dm_.OpenSQLP("SELECT WhName, Capacity FROM T_Wh WHERE WhID=:w", {{"w", in.WhID}});
    if (wh.IsEmpty()) return {};
    const double capacity = VarToFloat(wh.Field("Capacity"), 0);
    if (capacity <= 0) return {};
    // A corrected registration replaces its own load, so the batch's own row is not counted twice.
    const double after = PositionUsed(dm_, in.WhID, in.BatchNo) + ParseNum(in.WetNetWt);
    if (after <= capacity + kWeightSlack) return {};
    return QStringLiteral("湿粮仓位【%1】容量 %2 公斤，登记后结余将达 %3 公斤，超出容量。是否仍要保存？")
        .arg(VarToStr(wh.Field("WhName")), FmtFixed(capacity, 0), FmtFixed(after, 1));
}

TBatchSaveResult TBatchLogic::Save(const TBatchInput& in) {
    if (TBatchSaveResult refusal = Check(in); !refusal.Saved()) return refusal;
    try {
        return Write(in);
    } catch (const TDbError& e) {
        return Refuse(DbFailureText(QStringLiteral("保存失败："), e));
    }
}

TBatchSaveResult TBatchLogic::Write(const TBatchInput& in) {
    const bool isNew = in.BatchNo.isEmpty();
    const double wetNet = ParseNum(in.WetNetWt);

    TTransaction tx(dm_);
    QString batchNo = in.BatchNo;
    if (isNew) {
        if (TBatchSaveResult refusal = LockChosenRows(dm_, in); !refusal.Saved()) return refusal;
        batchNo = dm_.NextNo("PC", "T_Batch", "BatchNo");
        TParams params = BatchParams(in, batchNo);
        params.push_back({"Status", kStatusWaiting});
        dm_.ExecSQLP(kInsertBatch, params);
    } else {
        // Another station may have dispatched or voided the batch since the dialog opened; the row
        // stays locked until this save ends, so none can do it before this correction is saved.
        const TLockedBatch batch = LockBatch(dm_, batchNo);
        if (!batch.Exists) return Refuse(QStringLiteral("批次 %1 不存在，无法保存").arg(batchNo));
        if (batch.Status != kStatusWaiting)
            return Refuse(QStringLiteral("该批次已是【%1】状态，不能再修改登记").arg(batch.Status));
        if (const QString changed = ChangedSinceRead(dm_, in.Read); !changed.isEmpty()) return Refuse(changed);
        if (TBatchSaveResult refusal = LockChosenRows(dm_, in); !refusal.Saved()) return refusal;
        dm_.ExecSQLP(kUpdateBatch, BatchParams(in, batchNo));
    }

    const int stockRows =
        VarToInt(dm_.ScalarP("SELECT COUNT(*) FROM T_Stock WHERE BatchNo=:b", {{"b", batchNo}}));
    // The wet row follows the registration in full, farmer and grain included, so the stock
    // window never shows a load under the farmer it was first typed in for.
    const TParams stockParams{{"b", batchNo},          {"w", in.WhID},  {"g", in.GrainID},
                              {"f", in.FarmerID},      {"q", wetNet},   {"t", in.RegTime},
                              {"m", NumOrNull(in.InMoisture)}};
    if (!isNew && stockRows > 0) {
        dm_.ExecSQLP("UPDATE T_Stock SET WhID=:w, GrainID=:g, FarmerID=:f, Qty=:q, Moisture=:m, InTime=:t "
                     "WHERE BatchNo=:b",
                     stockParams);
    } else {
        TParams params = stockParams;
        params.push_back({"s", kStatusWaiting});
        dm_.ExecSQLP("INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) "
                     "VALUES(:b,:w,:g,:f,:q,:t,:m,:s)",
                     params);
    }
    InsertPhotos(dm_, batchNo, in.Photos);
    QString detail = QStringLiteral("农户ID=%1 净重%2kg").arg(in.FarmerID).arg(FmtFixed(wetNet, 1));
    if (!in.LogNote.isEmpty()) detail += " " + in.LogNote;
    for (const TPhoto& p : in.Photos)
        if (!p.HasFile()) detail += " " + p.WtKind + (p.Failure.isEmpty() ? NoPictureText(p.Camera) : p.Failure);
    dm_.WriteLog(isNew ? QStringLiteral("收粮登记") : QStringLiteral("修改登记"), "T_Batch", batchNo, detail);
    tx.Commit();
    return {{}, TBatchField::None, batchNo};
}

TfrmBatchEdit::TfrmBatchEdit(TDM& dm, const QString& batchNo, QWidget* parent)
    : TEntryDialog(parent), dm_(dm), logic_(dm), batchNo_(batchNo), isNew_(batchNo.isEmpty()) {
    BuildUI();
    if (!isNew_) LoadBatch();
    MarkUntouched();
}

void TfrmBatchEdit::BuildUI() {
    setWindowTitle(QStringLiteral("收粮入库登记"));
    setFixedSize(660, 470);
    CentreOnScreen(this);
    ApplyFormFont(this);

    const int lx = 20, ex = 122, ew = 190, rx = 340, rex = 452;
    auto top = [](int row) { return 16 + row * 34; };
    auto left = [&](int row, const QString& caption) { MakeLabel(this, caption, lx, top(row), 100); };
    auto right = [&](int row, const QString& caption) { MakeLabel(this, caption, rx, top(row), 110); };

    left(0, QStringLiteral("批次单号："));
    edNo = MakeEdit(this, ex, top(0), ew, isNew_ ? QStringLiteral("(保存后自动生成)") : batchNo_);
    MarkReadOnlyBox(edNo);
    right(0, QStringLiteral("登记时间："));
    dtReg = MakeDatePicker(this, rex, top(0), ew, false);

    left(1, QStringLiteral("车牌号："));
    edCar = MakeEdit(this, ex, top(1), ew);
    right(1, QStringLiteral("农户/客户 *："));
    cbFarmer = MakeCombo(this, rex, top(1), ew);
    FillFarmerCombo(dm_, cbFarmer);
    cbFarmer->setCurrentIndex(-1);

    left(2, QStringLiteral("粮种 *："));
    cbGrain = MakeCombo(this, ex, top(2), ew);
    FillGrainCombo(dm_, cbGrain);
    cbGrain->setCurrentIndex(-1);
    right(2, QStringLiteral("操作员："));
    cbOperator = MakeCombo(this, rex, top(2), ew);
    FillOperatorCombo(dm_, cbOperator);
    cbOperator->setCurrentIndex(-1);

    left(3, QStringLiteral("班组："));
    cbTeam = MakeCombo(this, ex, top(3), ew, TComboStyle::Editable);
    FillShiftCombo(cbTeam);
    cbTeam->setCurrentIndex(-1);
    cbTeam->setEditText({});
    right(3, QStringLiteral("目标水分(%)："));
    edTarget = MakeEdit(this, rex, top(3), ew, QStringLiteral("14.5"));

    left(4, QStringLiteral("湿粮仓位 *："));
    cbWh = MakeCombo(this, ex, top(4), ew);
    FillWhCombo(dm_, cbWh, QStringLiteral("湿粮区"));
    cbWh->setCurrentIndex(-1);
    right(4, QStringLiteral("入库水分(%)："));
    edMoisture = MakeEdit(this, rex, top(4), ew);

    left(5, QStringLiteral("杂质(%)："));
    edImpurity = MakeEdit(this, ex, top(5), ew, QStringLiteral("0"));
    right(5, QStringLiteral("毛重(公斤)："));
    edGross = MakeEdit(this, rex, top(5), ew);

    left(6, QStringLiteral("皮重(公斤)："));
    edTare = MakeEdit(this, ex, top(6), ew);
    right(6, QStringLiteral("湿粮净重(公斤)："));
    edWetNet = MakeEdit(this, rex, top(6), ew, QStringLiteral("0"));

    left(7, QStringLiteral("预计烘干费(元)："));
    edFee = MakeEdit(this, ex, top(7), ew, QStringLiteral("0.00"));
    MarkInfoBox(edFee);

    left(8, QStringLiteral("粮质备注："));
    mmMemo = MakeMemo(this, ex, top(8), 520, 80);

    btnOK = MakeButton(this, QStringLiteral("保存登记"), 440, 418, 100, 30, [this] { DoOK(); });
    btnOK->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 550, 418, 90, 30, [this] { reject(); });

    connect(edGross, &QLineEdit::textChanged, this, [this] { UpdateNet(); });
    connect(edTare, &QLineEdit::textChanged, this, [this] { UpdateNet(); });
    connect(edWetNet, &QLineEdit::textChanged, this, [this] { UpdateFee(); });
    connect(edMoisture, &QLineEdit::textChanged, this, [this] { UpdateFee(); });
    connect(cbGrain, &QComboBox::currentIndexChanged, this, [this] { UpdateFee(); });
    connect(cbOperator, &QComboBox::currentIndexChanged, this, [this] { FillTeam(); });
    scale = TScaleDesk::Attach(this, dm_,
                               {edCar, edGross, edTare, {edGross, edTare, edCar, cbFarmer, cbGrain, cbWh, edMoisture},
                                btnOK});
    photos = TPhotoDesk::Attach(this, dm_);
    if (scale && photos)
        connect(scale, &TScaleDesk::Taken, photos, [this](QLineEdit* box, double kg) {
            photos->Take(box == edGross ? kWtKindGross : kWtKindTare, kg);
        });
    edCar->setFocus();
}

void TfrmBatchEdit::LoadBatch() {
    const std::optional<TBatchRecord> rec = logic_.Load(batchNo_);
    if (!rec) return;
    const TBatchInput& in = rec->Input;
    read_ = in.Read;
    dtReg->setDateTime(in.RegTime);
    edCar->setText(in.CarNo);
    SetComboID(cbFarmer, in.FarmerID);
    SetComboID(cbGrain, in.GrainID);
    SetComboID(cbOperator, in.OpID);
    SetComboID(cbWh, in.WhID);
    cbTeam->setEditText(in.Team);
    edTarget->setText(in.TargetMoisture);
    edMoisture->setText(in.InMoisture);
    edImpurity->setText(in.Impurity);
    edGross->setText(in.GrossWt);
    edTare->setText(in.TareWt);
    edWetNet->setText(in.WetNetWt);
    edFee->setText(in.EstFee);
    mmMemo->setPlainText(in.QualityMemo);
    if (scale) scale->LoadBatch(batchNo_);
    if (rec->Status != kStatusWaiting) MakeViewOnly(rec->Status);
}

void TfrmBatchEdit::MakeViewOnly(const QString& status) {
    setWindowTitle(QStringLiteral("批次详情（") + status + QStringLiteral("，不可修改）"));
    btnOK->setEnabled(false);
    for (QLineEdit* e : findChildren<QLineEdit*>()) MarkReadOnlyBox(e);
    MarkReadOnlyBox(mmMemo);
    for (QWidget* w : std::initializer_list<QWidget*>{dtReg, cbFarmer, cbGrain, cbOperator, cbTeam, cbWh})
        w->setEnabled(false);
    if (scale) scale->Lock();
}

void TfrmBatchEdit::UpdateNet() {
    const QString net = NetWeightText(edGross->text(), edTare->text());
    // An unchanged net sets off no change signal, yet a fee typed over by hand must still be redone.
    if (net == edWetNet->text())
        UpdateFee();
    else
        edWetNet->setText(net);
}

void TfrmBatchEdit::UpdateFee() {
    edFee->setText(EstimateFeeText(logic_, ComboID(cbGrain), edWetNet->text(), edMoisture->text()));
}

void TfrmBatchEdit::FillTeam() {
    const QString team = logic_.OperatorTeam(ComboID(cbOperator));
    if (!team.isEmpty()) cbTeam->setEditText(team);
}

TBatchInput TfrmBatchEdit::Collected() const {
    TBatchInput in;
    in.BatchNo = isNew_ ? QString() : batchNo_;
    in.RegTime = dtReg->dateTime();
    in.CarNo = edCar->text();
    in.FarmerID = ComboID(cbFarmer);
    in.GrainID = ComboID(cbGrain);
    in.OpID = ComboID(cbOperator);
    in.WhID = ComboID(cbWh);
    in.Team = cbTeam->currentText();
    in.TargetMoisture = edTarget->text();
    in.InMoisture = edMoisture->text();
    in.Impurity = edImpurity->text();
    in.GrossWt = edGross->text();
    in.TareWt = edTare->text();
    in.WetNetWt = edWetNet->text();
    in.EstFee = edFee->text();
    in.QualityMemo = mmMemo->toPlainText();
    in.Read = read_;
    return in;
}

QWidget* TfrmBatchEdit::FocusTarget(TBatchField field) const {
    switch (field) {
    case TBatchField::CarNo: return edCar;
    case TBatchField::Farmer: return cbFarmer;
    case TBatchField::Grain: return cbGrain;
    case TBatchField::Wh: return cbWh;
    case TBatchField::Team: return cbTeam;
    case TBatchField::TargetMoisture: return edTarget;
    case TBatchField::InMoisture: return edMoisture;
    case TBatchField::Impurity: return edImpurity;
    case TBatchField::GrossWt: return edGross;
    case TBatchField::TareWt: return edTare;
    case TBatchField::WetNetWt: return edWetNet;
    case TBatchField::EstFee: return edFee;
    case TBatchField::QualityMemo: return mmMemo;
    case TBatchField::None: break;
    }
    return nullptr;
}

// The tare is asked about only once the registration is otherwise complete; an incomplete one
// goes on to the save, which refuses it with its own message.
bool TfrmBatchEdit::ConfirmScale(TBatchInput& in) {
    if (!logic_.Check(in).Saved()) return true;
    if (!scale->ConfirmTare()) {
        edTare->setFocus();
        return false;
    }
    in.LogNote = scale->LogNote();
    return true;
}

// A new registration's weight typed by hand is photographed at its save, as a taken one is at
// its take; the save then waits for the cameras still answering (at most their time limit).
QList<TPhoto> TfrmBatchEdit::Photographed(const TBatchInput& in) {
    if (isNew_ && logic_.Check(in).Saved()) {
        if (!in.GrossWt.trimmed().isEmpty() && !photos->HasTaken(kWtKindGross))
            photos->Take(kWtKindGross, ParseNum(in.GrossWt));
        if (!in.TareWt.trimmed().isEmpty() && !photos->HasTaken(kWtKindTare))
            photos->Take(kWtKindTare, ParseNum(in.TareWt));
    }
    return photos->Finish();
}

void TfrmBatchEdit::DoOK() {
    RunGuarded([this] {
        TBatchInput in = Collected();
        if (scale && !ConfirmScale(in)) return;
        if (logic_.Check(in).Saved()) {
            if (const QString question = logic_.CapacityQuestion(in);
                !question.isEmpty() && !AskYesNo(question, TDefaultAnswer::No)) {
                cbWh->setFocus();
                return;
            }
        }
        if (photos) in.Photos = Photographed(in);
        const TBatchSaveResult result = logic_.Save(in);
        if (!result.Saved()) {
            ShowWarn(result.Refusal);
            if (QWidget* target = FocusTarget(result.Focus)) target->setFocus();
            return;
        }
        batchNo_ = result.BatchNo;
        if (scale) scale->Saved();
        if (photos) photos->Saved();
        accept();
    });
}
