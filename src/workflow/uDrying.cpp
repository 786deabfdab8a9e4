#include "workflow/uDrying.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uSaveLock.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <memory>

TSqlText DryingListQuery(TDryingView view) {
    TSqlText q;
    q.Sql = "SELECT b.BatchNo AS 批次号, f.Name AS 农户, g.GrainName AS 粮种, b.WetNetWt AS 湿粮净重, "
            "b.InMoisture AS 入库水分, b.TargetMoisture AS 目标水分, (SELECT COUNT(*) FROM T_Drying d WHERE "
            "d.BatchNo=b.BatchNo) AS 烘干轮次, b.Status AS 状态, b.Team AS 班组 FROM (T_Batch b LEFT JOIN "
            "T_Farmer f ON b.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON b.GrainID=g.GrainID WHERE b.Status<>:v ";
    q.Params.push_back({"v", kStatusVoid});
    const bool waiting = view == TDryingView::Queue || view == TDryingView::WaitingOnly;
    const bool drying = view == TDryingView::Queue || view == TDryingView::DryingOnly;
    if (waiting && drying)
        q.Sql += "AND (b.Status=:a OR b.Status=:b) ";
    else if (waiting)
        q.Sql += "AND b.Status=:a ";
    else if (drying)
        q.Sql += "AND b.Status=:b ";
    if (waiting) q.Params.push_back({"a", kStatusWaiting});
    if (drying) q.Params.push_back({"b", kStatusDrying});
    q.Order = QStringList{QStringLiteral("批次号")};
    return q;
}

TSqlText DryingRoundsQuery(const QString& batchNo) {
    return {"SELECT d.Round AS 轮次, e.EquipNo AS 设备, w.WhName AS 湿粮仓位, d.StartTime AS 上机时间, "
            "d.EndTime AS 下机时间, d.DryHours AS 时长小时, d.DryTemp AS 温度, d.FanGear AS 档位, "
            "d.OutMoisture AS 烘后水分, d.DryNetWt AS 烘后净重, d.LossWt AS 损耗重量, d.LossRate AS 损耗率, "
            "d.AbnormalMemo AS 异常记录 FROM (T_Drying d LEFT JOIN T_Equip e ON d.EquipID=e.EquipID) LEFT JOIN "
            "T_Wh w ON d.WhInID=w.WhID WHERE d.BatchNo=:b",
            {{"b", batchNo}},
            {QStringLiteral("轮次")}};
}

QString DispatchStatusRefusal(const QString& status) {
    return status == kStatusWaiting ? QString() : QStringLiteral("只有【待烘干】状态的批次才能派工上机");
}

QString OpenRoundRefusal(TDM& dm, const QString& batchNo) {
    const int open = VarToInt(
        dm.ScalarP("SELECT COUNT(*) FROM T_Drying WHERE BatchNo=:b AND EndTime IS NULL", {{"b", batchNo}}));
    if (open == 0) return QStringLiteral("该批次没有进行中（未下机）的轮次，无需结束");
    return {};
}

TDispatchHeader TDispatchLogic::Header(const QString& batchNo) const {
    const TQuery q = dm_.OpenSQLP(
        "SELECT b.WetNetWt,b.InMoisture,b.TargetMoisture,f.Name,g.GrainName FROM (T_Batch b LEFT JOIN T_Farmer f "
        "ON b.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON b.GrainID=g.GrainID WHERE b.BatchNo=:b",
        {{"b", batchNo}});
    TDispatchHeader h;
    if (q.IsEmpty()) return h;
    h.FarmerName = VarToStr(q.Field("Name"));
    h.GrainName = VarToStr(q.Field("GrainName"));
    h.WetNetWt = VarToFloat(q.Field("WetNetWt"), 0);
    h.InMoisture = VarToFloat(q.Field("InMoisture"), 0);
    h.TargetMoisture = VarToStr(q.Field("TargetMoisture"));
    return h;
}

TDispatchResult TDispatchLogic::Check(const TDispatchInput& in) const {
    if (in.EquipID <= 0) return {QStringLiteral("请选择烘干机"), TDispatchField::Equip};
    if (in.WhInID <= 0) return {QStringLiteral("请选择湿粮仓位"), TDispatchField::Wh};
    if (const TNumEntry target = CheckNum(in.TargetMoisture, TNumRange::Percent, QStringLiteral("目标水分(%)"));
        !target.Ok())
        return {target.Refusal, TDispatchField::TargetMoisture};
    if (const TNumEntry temp = CheckNum(in.DryTemp, TNumRange::Temperature, QStringLiteral("烘干温度(℃)"));
        !temp.Ok())
        return {temp.Refusal, TDispatchField::DryTemp};
    return {};
}

QString TDispatchLogic::BusyQuestion(const TDispatchInput& in) const {
    // A round left open by a voided batch is no grain in the dryer.
    const TQuery q = dm_.OpenSQLP("SELECT DISTINCT d.BatchNo FROM T_Drying d INNER JOIN T_Batch b ON b.BatchNo=d.BatchNo "
                                  "WHERE d.EndTime IS NULL AND d.EquipID=:e AND b.Status=:s AND d.BatchNo<>:b "
                                  "ORDER BY d.BatchNo",
                                  {{"e", in.EquipID}, {"s", kStatusDrying}, {"b", in.BatchNo}});
    if (q.IsEmpty()) return {};
    QStringList batches;
    for (int r = 0; r < q.RowCount(); ++r) batches << VarToStr(q.Value(r, 0));
    return QStringLiteral("该烘干机正在烘干批次 %1，是否仍要派工？").arg(batches.join(QStringLiteral("、")));
}

TDispatchResult TDispatchLogic::Save(const TDispatchInput& in) {
    if (TDispatchResult refusal = Check(in); !refusal.Saved()) return refusal;
    try {
        return Write(in);
    } catch (const TDbError& e) {
        return {DbFailureText(QStringLiteral("派工失败："), e)};
    }
}

TDispatchResult TDispatchLogic::Write(const TDispatchInput& in) {
    const double target = ParseNum(in.TargetMoisture);

    TTransaction tx(dm_);
    // The queue on screen may be stale: another station may have dispatched or voided the batch,
    // or taken the dryer out of service. Both rows stay locked until this dispatch is saved.
    if (const QString refusal = DispatchStatusRefusal(LockBatch(dm_, in.BatchNo).Status); !refusal.isEmpty())
        return {refusal};
    const TValue equipStatus =
        dm_.ScalarP("SELECT Status FROM T_Equip WHERE EquipID=:e" + SqlForUpdate(dm_.Engine()), {{"e", in.EquipID}});
    if (equipStatus.IsNull() || VarToStr(equipStatus) == QStringLiteral("停用"))
        return {QStringLiteral("该烘干机已停用，不能派工"), TDispatchField::Equip};
    if (!LockReferencedRow(dm_, "T_Wh", "WhID", in.WhInID))
        return {QStringLiteral("所选的仓位已被其他电脑删除，请重新选择"), TDispatchField::Wh};
    if (in.OpID > 0 && !LockReferencedRow(dm_, "T_Operator", "OpID", in.OpID))
        return {QStringLiteral("所选的操作员已被其他电脑删除，请重新选择")};

    dm_.ExecSQLP("INSERT INTO T_Drying(BatchNo,Round,EquipID,WhInID,StartTime,DryTemp,FanGear,OpID,OutMoisture,"
                 "DryNetWt,LossWt,LossRate,DryHours) VALUES(:b,1,:e,:w,:t,:temp,:fan,:op,0,0,0,0,0)",
                 {{"b", in.BatchNo},
                  {"e", in.EquipID},
                  {"w", in.WhInID},
                  {"t", in.StartTime},
                  {"temp", NumOrNull(in.DryTemp)},
                  {"fan", in.FanGear},
                  {"op", in.OpID}});
    dm_.ExecSQLP("UPDATE T_Batch SET Status=:s,TargetMoisture=:tm WHERE BatchNo=:b",
                 {{"s", kStatusDrying}, {"tm", target > 0 ? TValue(target) : TValue()}, {"b", in.BatchNo}});
    dm_.WriteLog(QStringLiteral("派工上机"), "T_Drying", in.BatchNo,
                 QStringLiteral("设备ID=%1 上机时间%2").arg(in.EquipID).arg(in.StartTime.toString("yyyy-MM-dd HH:mm")));
    tx.Commit();
    return {};
}

TfrmDryStart::TfrmDryStart(TDM& dm, const QString& batchNo, QWidget* parent)
    : QDialog(parent), logic_(dm), dm_(dm), batchNo_(batchNo) {
    BuildUI(logic_.Header(batchNo));
}

void TfrmDryStart::BuildUI(const TDispatchHeader& header) {
    setWindowTitle(QStringLiteral("烘干派工上机 - ") + batchNo_);
    setFixedSize(660, 340);
    CentreOnScreen(this);
    ApplyFormFont(this);

    MakeLabel(this, QStringLiteral("批次：") + batchNo_, 20, 14, 300);
    MakeLabel(this, QStringLiteral("农户：") + header.FarmerName, 340, 14, 300);
    MakeLabel(this, QStringLiteral("粮种：") + header.GrainName, 20, 38, 300);
    MakeLabel(this,
              QStringLiteral("湿粮净重：%1 公斤    入库水分：%2%")
                  .arg(FmtFixed(header.WetNetWt, 1), FmtFixed(header.InMoisture, 2)),
              340, 38, 300);

    const int lx = 20, ex = 122, ew = 190, rx = 340, rex = 452;
    auto top = [](int row) { return 80 + row * 40; };
    MakeLabel(this, QStringLiteral("烘干机 *："), lx, top(0), 100);
    cbEquip = MakeCombo(this, ex, top(0), ew);
    FillEquipCombo(dm_, cbEquip);
    cbEquip->setCurrentIndex(-1);
    MakeLabel(this, QStringLiteral("湿粮仓位 *："), rx, top(0), 110);
    cbWh = MakeCombo(this, rex, top(0), ew);
    FillWhCombo(dm_, cbWh, QStringLiteral("湿粮区"));
    cbWh->setCurrentIndex(-1);

    MakeLabel(this, QStringLiteral("上机时间 *："), lx, top(1), 100);
    dtStart = MakeDatePicker(this, ex, top(1), ew, false);
    MakeLabel(this, QStringLiteral("操作工："), rx, top(1), 110);
    cbOperator = MakeCombo(this, rex, top(1), ew);
    FillOperatorCombo(dm_, cbOperator);
    cbOperator->setCurrentIndex(-1);

    MakeLabel(this, QStringLiteral("目标水分(%)："), lx, top(2), 100);
    edTarget = MakeEdit(this, ex, top(2), ew, header.TargetMoisture);
    MakeLabel(this, QStringLiteral("烘干温度(℃)："), rx, top(2), 110);
    edTemp = MakeEdit(this, rex, top(2), ew, QStringLiteral("60"));

    MakeLabel(this, QStringLiteral("风机档位："), lx, top(3), 100);
    cbFan = MakeCombo(this, ex, top(3), ew);
    cbFan->addItems({QStringLiteral("高档"), QStringLiteral("中档"), QStringLiteral("低档")});
    cbFan->setCurrentIndex(1);

    QPushButton* ok = MakeButton(this, QStringLiteral("确认派工上机"), 420, 290, 120, 30, [this] { DoOK(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 550, 290, 90, 30, [this] { reject(); });
}

TDispatchInput TfrmDryStart::Collected() const {
    TDispatchInput in;
    in.BatchNo = batchNo_;
    in.EquipID = ComboID(cbEquip);
    in.WhInID = ComboID(cbWh);
    in.StartTime = dtStart->dateTime();
    in.OpID = ComboID(cbOperator);
    in.TargetMoisture = edTarget->text();
    in.DryTemp = edTemp->text();
    in.FanGear = cbFan->currentText();
    return in;
}

void TfrmDryStart::DoOK() {
    RunGuarded([this] {
        const TDispatchInput in = Collected();
        if (logic_.Check(in).Saved()) {
            if (const QString question = logic_.BusyQuestion(in);
                !question.isEmpty() && !AskYesNo(question, TDefaultAnswer::No)) {
                cbEquip->setFocus();
                return;
            }
        }
        const TDispatchResult result = logic_.Save(in);
        if (result.Saved()) {
            accept();
            return;
        }
        ShowWarn(result.Refusal);
        if (result.Focus == TDispatchField::Equip) cbEquip->setFocus();
        if (result.Focus == TDispatchField::Wh) cbWh->setFocus();
        if (result.Focus == TDispatchField::TargetMoisture) edTarget->setFocus();
        if (result.Focus == TDispatchField::DryTemp) edTemp->setFocus();
    });
}

TfrmDrying::TfrmDrying(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmDrying::BuildUI() {
    setWindowTitle(QStringLiteral("烘干批次作业管理"));
    resize(1000, 640);
    CentreOnScreen(this);
    ApplyFormFont(this);

    QWidget* bar = MakeToolbar(this, 44);
    MakeButton(bar, QStringLiteral("派工上机"), 8, 8, 84, 28, [this] { DoDispatch(); });
    MakeButton(bar, QStringLiteral("结束本轮"), 98, 8, 84, 28, [this] { DoEndRound(); });
    MakeLabel(bar, QStringLiteral("视图:"), 200, 10, 40);
    cbView = MakeCombo(bar, 240, 9, 200);
    cbView->addItems({QStringLiteral("作业队列(待烘干+烘干中)"), QStringLiteral("仅待烘干"), QStringLiteral("仅烘干中"),
                      QStringLiteral("全部批次")});
    MakeButton(bar, QStringLiteral("刷新"), 456, 8, 64, 28, [this] { RunGuarded([this] { Reload(); }); });
    MakeButton(bar, QStringLiteral("关闭"), 526, 8, 64, 28, [this] { close(); });

    batches_ = new TQueryModel(dm_, this);
    grid = MakeGrid(this, batches_);

    auto* panel = new QWidget(this);
    panel->setFixedHeight(230);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 4, 0, 0);
    panelLayout->addWidget(new QLabel(QStringLiteral("  本批次烘干轮次记录："), panel));
    rounds_ = new TQueryModel(dm_, this);
    roundsGrid = MakeGrid(panel, rounds_);
    qobject_cast<QVBoxLayout*>(layout())->addWidget(panel);

    connect(grid, &QTableView::doubleClicked, this, [this] { DoEndRound(); });
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { RunGuarded([this] { ReloadRounds(); }); });
    connect(cbView, &QComboBox::currentIndexChanged, this, [this] { RunGuarded([this] { Reload(); }); });
}

void TfrmDrying::Reload() {
    const TSqlText q = DryingListQuery(TDryingView(cbView->currentIndex()));
    batches_->Close();
    batches_->Open(q);
    grid->resizeColumnsToContents();
    if (batches_->rowCount() > 0) grid->selectRow(0);
    ReloadRounds();
}

void TfrmDrying::ReloadRounds() {
    const QString batchNo = CurrentBatchNo();
    if (batchNo.isEmpty()) {
        rounds_->Close();
        return;
    }
    const TSqlText q = DryingRoundsQuery(batchNo);
    rounds_->Open(q);
    roundsGrid->resizeColumnsToContents();
}

QString TfrmDrying::CurrentValue(const QString& column) const {
    const int row = grid->currentIndex().isValid() ? grid->currentIndex().row() : -1;
    if (row < 0 || row >= batches_->rowCount()) return {};
    return VarToStr(batches_->Value(row, column));
}

QString TfrmDrying::CurrentBatchNo() const { return CurrentValue(QStringLiteral("批次号")); }
QString TfrmDrying::CurrentStatus() const { return CurrentValue(QStringLiteral("状态")); }

void TfrmDrying::DoDispatch() {
    if (const QString refusal = ActionRefusal(Session, TAction::Dispatch); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    const QString batchNo = CurrentBatchNo();
    if (batchNo.isEmpty()) return;
    if (const QString refusal = DispatchStatusRefusal(CurrentStatus()); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    // The dialog reads its dryer, position and operator lists as it is built.
    std::unique_ptr<TfrmDryStart> dlg;
    if (!RunGuarded([&] { dlg = std::make_unique<TfrmDryStart>(dm_, batchNo, this); },
                    QStringLiteral("无法打开派工窗口：")))
        return;
    if (dlg->exec() == QDialog::Accepted) RunGuarded([this] { Reload(); });
}

void TfrmDrying::DoEndRound() {
    if (const QString refusal = ActionRefusal(Session, TAction::EndRound); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    const QString batchNo = CurrentBatchNo();
    if (batchNo.isEmpty()) return;
    QString refusal;
    std::unique_ptr<TfrmDryEnd> dlg;
    if (!RunGuarded(
            [&] {
                refusal = OpenRoundRefusal(dm_, batchNo);
                if (refusal.isEmpty()) dlg = std::make_unique<TfrmDryEnd>(dm_, batchNo, this);
            },
            QStringLiteral("无法打开结束本轮窗口：")))
        return;
    if (!refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    if (!dlg->HasOpenRound()) {
        ShowWarn(QStringLiteral("该批次没有进行中的烘干轮次"));
        return;
    }
    if (dlg->exec() == QDialog::Accepted) RunGuarded([this] { Reload(); });
}

void OpenDrying(TDM& dm, QWidget* owner) {
    static QPointer<TfrmDrying> instance;
    if (!instance) instance = new TfrmDrying(dm, owner);
    BringToFront(instance);
    RunGuarded([] { instance->Reload(); });
}
