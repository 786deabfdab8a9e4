#include "workflow/uBatchList.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "scale/uPhotoView.h"
#include "scale/uTicket.h"
#include "workflow/uBatch.h"
#include "workflow/uSaveLock.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <memory>

TSqlText BatchListQuery(TDbEngine engine, const QString& status, const QString& keyword) {
    TSqlText q;
    q.Sql = "SELECT b.BatchNo AS 批次号, b.RegTime AS 登记时间, b.CarNo AS 车牌号, f.Name AS 农户, "
            "g.GrainName AS 粮种, b.InMoisture AS 入库水分, b.Impurity AS 杂质, b.GrossWt AS 毛重, "
            "b.TareWt AS 皮重, b.WetNetWt AS 湿粮净重, b.TargetMoisture AS 目标水分, b.EstFee AS 预计费用, "
            "o.OpName AS 操作员, b.Team AS 班组, b.Status AS 状态 FROM ((T_Batch b LEFT JOIN T_Farmer f ON "
            "b.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON b.GrainID=g.GrainID) LEFT JOIN T_Operator o ON "
            "b.OpID=o.OpID WHERE 1=1";
    if (!status.isEmpty() && status != QStringLiteral("全部")) {
        q.Sql += " AND b.Status=:st";
        q.Params.push_back({"st", status});
    }
    const QString k = keyword.trimmed();
    if (!k.isEmpty()) {
        // The farmers are matched once, not per batch, and the number and plate are read from
        // a narrow index instead of whole batch rows: a ten-year ledger is searched at once.
        q.Sql += " AND (" + SqlLikeNoCase(engine, "b.BatchNo", ":k") + " OR " + SqlLikeNoCase(engine, "b.CarNo", ":k") +
                 " OR b.FarmerID IN (SELECT FarmerID FROM T_Farmer WHERE " + SqlLikeNoCase(engine, "Name", ":k") + "))";
        q.Params.push_back({"k", "%" + k + "%"});
    }
    q.Order = QStringList{QStringLiteral("批次号 DESC NOT NULL")};
    return q;
}

QString TBatchVoidLogic::StatusRefusal(const QString& batchNo, const TLockedBatch& batch) {
    if (!batch.Exists) return QStringLiteral("批次 %1 不存在").arg(batchNo);
    if (batch.Status == kStatusVoid) return QStringLiteral("该批次已作废");
    return {};
}

QString TBatchVoidLogic::StartRefusal(const TSession& session, const QString& batchNo) const {
    if (const QString refusal = ActionRefusal(session, TAction::VoidBatch); !refusal.isEmpty()) return refusal;
    const TValue status = dm_.ScalarP("SELECT Status FROM T_Batch WHERE BatchNo=:b", {{"b", batchNo}});
    return StatusRefusal(batchNo, {.Exists = !status.IsNull(), .Status = VarToStr(status)});
}

QString TBatchVoidLogic::ReasonRefusal(const QString& reason) {
    if (reason.trimmed().isEmpty()) return QStringLiteral("必须填写作废原因");
    return TextEntryRefusal("T_Batch", "VoidMemo", QStringLiteral("作废原因"), reason.trimmed());
}

QString TBatchVoidLogic::Void(const QString& batchNo, const QString& reason) {
    if (const QString refusal = ReasonRefusal(reason); !refusal.isEmpty()) return refusal;
    const QString memo = reason.trimmed();
    TTransaction tx(dm_);
    // A second station may have voided it while the reason was being typed; read with the row
    // locked, so that no station dispatches, corrects or voids it before this void is saved.
    if (const QString refusal = StatusRefusal(batchNo, LockBatch(dm_, batchNo)); !refusal.isEmpty()) return refusal;
    dm_.ExecSQLP("UPDATE T_Batch SET Status=:s, VoidMemo=:m WHERE BatchNo=:b",
                 {{"s", kStatusVoid}, {"m", memo}, {"b", batchNo}});
    dm_.ExecSQLP("UPDATE T_Stock SET Status=:s WHERE BatchNo=:b", {{"s", kStatusVoid}, {"b", batchNo}});
    dm_.WriteLog(QStringLiteral("作废"), "T_Batch", batchNo, memo);
    tx.Commit();
    return {};
}

TfrmBatchList::TfrmBatchList(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmBatchList::BuildUI() {
    setWindowTitle(QStringLiteral("收粮入库登记"));
    resize(960, 560);
    CentreOnScreen(this);
    ApplyFormFont(this);

    // The ticket's two buttons make one row too wide for the window: the search has its own.
    QWidget* bar = MakeToolbar(this, 78);
    TButtonRow buttons(bar, 8);
    buttons.Add(QStringLiteral("新增登记"), 84, [this] { DoNew(); });
    buttons.Add(QStringLiteral("修改"), 64, [this] { DoEdit(); });
    buttons.Add(QStringLiteral("作废"), 64, [this] { DoVoid(); });
    buttons.Add(QStringLiteral("导出CSV"), 76, [this] { DoExport(); });
    buttons.Add(QStringLiteral("导出Excel"), 84, [this] { DoExport(TExportFormat::Excel); });
    buttons.Add(QStringLiteral("补打磅单"), 84, [this] { DoReprint(); });
    buttons.Add(QStringLiteral("打印预览"), 76, [this] { DoReprint(TPrintTarget::Preview); });
    buttons.Add(QStringLiteral("过磅照片"), 84, [this] { OpenBatchPhotos(dm_, CurrentBatchNo(), this); });
    buttons.Add(QStringLiteral("关闭"), 64, [this] { close(); });
    TButtonRow searchRow(bar, 42);
    searchRow.Skip(-10);  // the filter's caption brings its own margin
    const TButtonRow::TSearch search =
        searchRow.AddSearch(QStringLiteral("状态:"),
                          {QStringLiteral("全部"), kStatusWaiting, kStatusDrying, kStatusInStore,
                           QStringLiteral("待结算"), QStringLiteral("已完结"), kStatusVoid},
                          QStringLiteral("关键字:"), 54, [this] { RunGuarded([this] { Reload(); }); });
    cbStatus = search.Filter;
    edKeyword = search.Keyword;

    model_ = new TQueryModel(dm_, this);
    grid = MakeGrid(this, model_);
    connect(grid, &QTableView::doubleClicked, this, [this] { DoEdit(); });
}

void TfrmBatchList::Reload() {
    const TSqlText q = BatchListQuery(dm_.Engine(), cbStatus->currentText(), edKeyword->text());
    model_->Close();
    model_->Open(q);
    grid->resizeColumnsToContents();
    if (model_->rowCount() > 0) grid->selectRow(0);
}

QString TfrmBatchList::CurrentBatchNo() const {
    const int row = grid->currentIndex().isValid() ? grid->currentIndex().row() : -1;
    if (row < 0 || row >= model_->rowCount()) return {};
    return VarToStr(model_->Value(row, QStringLiteral("批次号")));
}

void TfrmBatchList::OpenEditor(const QString& batchNo) {
    // The dialog reads its lookup lists as it is built; a locked or damaged file is told to the
    // weigher instead of a dialog with empty lists.
    std::unique_ptr<TfrmBatchEdit> dlg;
    if (!RunGuarded([&] { dlg = std::make_unique<TfrmBatchEdit>(dm_, batchNo, this); },
                    QStringLiteral("无法打开登记窗口：")))
        return;
    if (dlg->exec() != QDialog::Accepted) return;
    RunGuarded([this] { Reload(); });
    // At the weighbridge the driver waits for his ticket before he drives off.
    if (batchNo.isEmpty()) OfferTicket(dm_, dlg->BatchNo());
}

void TfrmBatchList::DoNew() {
    if (const QString refusal = ActionRefusal(Session, TAction::NewIntake); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    OpenEditor({});
}

void TfrmBatchList::DoEdit() {
    const QString batchNo = CurrentBatchNo();
    if (!batchNo.isEmpty()) OpenEditor(batchNo);
}

void TfrmBatchList::DoVoid() {
    const QString batchNo = CurrentBatchNo();
    if (batchNo.isEmpty()) return;
    RunGuarded([&] {
        TBatchVoidLogic logic(dm_);
        if (const QString refusal = logic.StartRefusal(Session, batchNo); !refusal.isEmpty()) {
            ShowWarn(refusal);
            return;
        }
        QString reason;
        if (!InputMemo(QStringLiteral("作废批次 ") + batchNo, QStringLiteral("请填写作废原因（将记入操作日志）："),
                       reason))
            return;
        if (const QString refusal = TBatchVoidLogic::ReasonRefusal(reason); !refusal.isEmpty()) {
            ShowWarn(refusal);
            return;
        }
        if (!AskYesNo(QStringLiteral("确认作废批次 ") + batchNo + QStringLiteral("？已产生的作业单据不受影响。"),
                      TDefaultAnswer::No))
            return;
        if (const QString refusal = logic.Void(batchNo, reason); !refusal.isEmpty()) {
            ShowWarn(refusal);
            return;
        }
        Reload();
    }, QStringLiteral("作废失败："));
}

void TfrmBatchList::DoExport(TExportFormat format) {
    RunGuarded([&] { ExportGrid(*model_, QStringLiteral("收粮入库台账"), format); });
}

void TfrmBatchList::DoReprint(TPrintTarget target) {
    const QString batchNo = CurrentBatchNo();
    if (!batchNo.isEmpty()) RunGuarded([&] { PrintTicket(dm_, batchNo, true, target); }, QStringLiteral("打印失败："));
}

void OpenBatchList(TDM& dm, QWidget* owner) {
    static QPointer<TfrmBatchList> instance;
    if (!instance) instance = new TfrmBatchList(dm, owner);
    BringToFront(instance);
    RunGuarded([] { instance->Reload(); });
}
