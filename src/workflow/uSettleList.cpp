#include "workflow/uSettleList.h"

#include "app/uGlobal.h"
#include "data/uDM.h"
#include "data/uDbText.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "reports/uPrint.h"
#include "workflow/uBatch.h"
#include "workflow/uSaveLock.h"
#include "workflow/uSettle.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>

#include <memory>

namespace {
const QString kNotSettled = QStringLiteral("未结算");
}  // namespace

TSqlText SettleListQuery(TDbEngine engine, const QString& filter, const QString& keyword) {
    TSqlText q;
    q.Sql = "SELECT b.BatchNo AS 批次号, f.Name AS 农户, g.GrainName AS 粮种, b.WetNetWt AS 湿粮净重, "
            "(SELECT d.DryNetWt FROM T_Drying d WHERE d.BatchNo=b.BatchNo ORDER BY d.Round DESC LIMIT 1) AS 最终干粮, "
            "s.SettleNo AS 结算单号, s.TotalFee AS 总费用, s.PaidAmt AS 已收金额, s.DebtAmt AS 欠款金额, "
            "s.Status AS 结算状态, s.SettleTime AS 结算时间, b.Status AS 批次状态 FROM ((T_Batch b LEFT JOIN "
            "T_Farmer f ON b.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON b.GrainID=g.GrainID) LEFT JOIN T_Settle s "
            "ON s.BatchNo=b.BatchNo WHERE b.Status<>:v";
    q.Params.push_back({"v", kStatusVoid});
    // The settlement filters ask after the batch's settlement rather than filter the joined row,
    // so that the batches are still read newest first and the first screen stops early, whether
    // the status asked for is common or rare.
    if (filter == kNotSettled) {
        q.Sql += " AND NOT EXISTS (SELECT 1 FROM T_Settle x WHERE x.BatchNo=b.BatchNo)";
    } else if (filter == kOnAccount || filter == kSettledInPart || filter == kSettledInFull) {
        q.Sql += " AND EXISTS (SELECT 1 FROM T_Settle x WHERE x.BatchNo=b.BatchNo AND x.Status=:fs)";
        q.Params.push_back({"fs", filter});
    }
    const QString k = keyword.trimmed();
    if (!k.isEmpty()) {
        // The farmers are matched once, not per batch; number, farmer and status are read from a
        // narrow index, so a keyword found nowhere in ten years is answered at once.
        q.Sql += " AND (" + SqlLikeNoCase(engine, "b.BatchNo", ":k") + " OR b.FarmerID IN (SELECT FarmerID FROM T_Farmer WHERE " +
                 SqlLikeNoCase(engine, "Name", ":k") + "))";
        q.Params.push_back({"k", "%" + k + "%"});
    }
    q.Order = QStringList{QStringLiteral("批次号 DESC NOT NULL")};
    return q;
}

QString TSettleVoidLogic::StartRefusal(const TSession& session, const QString& settleNo) {
    if (const QString refusal = ActionRefusal(session, TAction::VoidSettle); !refusal.isEmpty()) return refusal;
    if (settleNo.isEmpty()) return QStringLiteral("该批次没有结算单");
    return {};
}

QString TSettleVoidLogic::Void(const QString& settleNo) {
    try {
        TTransaction tx(dm_);
        // Read under the locks, its batch's row and then its own: another station may have voided
        // or changed it since the ledger was read. A settlement's batch never changes.
        LockBatch(dm_, VarToStr(dm_.ScalarP("SELECT BatchNo FROM T_Settle WHERE SettleNo=:n", {{"n", settleNo}})));
        const TQuery q = dm_.OpenSQLP("SELECT BatchNo,TotalFee,PaidAmt,DebtAmt,Status FROM T_Settle WHERE SettleNo=:n" +
                                          SqlForUpdate(dm_.Engine()),
                                      {{"n", settleNo}});
        if (q.IsEmpty()) return QStringLiteral("结算单 %1 已不存在，可能已被作废，请刷新").arg(settleNo);
        const QString batchNo = VarToStr(q.Field("BatchNo"));
        dm_.ExecSQLP("DELETE FROM T_Settle WHERE SettleNo=:n", {{"n", settleNo}});
        dm_.ExecSQLP("UPDATE T_Batch SET Status=:s WHERE BatchNo=:b AND Status=:d",
                     {{"s", kBatchToSettle}, {"b", batchNo}, {"d", kBatchFinished}});
        // The row is deleted, so its money stays on record here.
        dm_.WriteLog(QStringLiteral("作废结算"), "T_Settle", settleNo,
                     QStringLiteral("批次%1 合计%2 已收%3 欠款%4 %5")
                         .arg(batchNo, FmtMoney(VarToFloat(q.Field("TotalFee"), 0)),
                              FmtMoney(VarToFloat(q.Field("PaidAmt"), 0)), FmtMoney(VarToFloat(q.Field("DebtAmt"), 0)),
                              VarToStr(q.Field("Status"))));
        tx.Commit();
    } catch (const TDbError& e) {
        return DbFailureText(QStringLiteral("作废失败："), e);
    }
    return {};
}

// ---- TfrmSettleList ---------------------------------------------------------------------

TfrmSettleList::TfrmSettleList(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmSettleList::BuildUI() {
    setWindowTitle(QStringLiteral("烘干费用结算管理"));
    resize(1080, 560);  // room for the preview and Excel buttons
    CentreOnScreen(this);
    ApplyFormFont(this);

    QWidget* bar = MakeToolbar(this, 44);
    TButtonRow buttons(bar, 8);
    buttons.Add(QStringLiteral("结算/修改"), 84, [this] { DoSettle(); });
    buttons.Add(QStringLiteral("打印结算单"), 90, [this] { DoPrint(); });
    buttons.Add(QStringLiteral("打印预览"), 76, [this] { DoPrint(TPrintTarget::Preview); });
    buttons.Add(QStringLiteral("作废结算"), 80, [this] { DoVoid(); });
    buttons.Add(QStringLiteral("导出CSV"), 76, [this] { DoExport(); });
    buttons.Add(QStringLiteral("导出Excel"), 84, [this] { DoExport(TExportFormat::Excel); });
    const TButtonRow::TSearch search =
        buttons.AddSearch(QStringLiteral("筛选:"),
                          {QStringLiteral("全部"), kNotSettled, kOnAccount, kSettledInPart, kSettledInFull},
                          QStringLiteral("批次/农户:"), 70, [this] { RunGuarded([this] { Reload(); }); });
    cbFilter = search.Filter;
    edKeyword = search.Keyword;
    buttons.Add(QStringLiteral("关闭"), 64, [this] { close(); });

    model_ = new TQueryModel(dm_, this);
    grid = MakeGrid(this, model_);
    connect(grid, &QTableView::doubleClicked, this, [this] { DoSettle(); });
}

void TfrmSettleList::Reload() {
    const TSqlText q = SettleListQuery(dm_.Engine(), cbFilter->currentText(), edKeyword->text());
    model_->Close();
    model_->Open(q);
    grid->resizeColumnsToContents();
    if (model_->rowCount() > 0) grid->selectRow(0);
}

TValue TfrmSettleList::CurrentValue(const QString& column) const {
    const int row = grid->currentIndex().isValid() ? grid->currentIndex().row() : -1;
    if (row < 0 || row >= model_->rowCount()) return {};
    return model_->Value(row, column);
}

void TfrmSettleList::SelectBatch(const QString& batchNo) {
    // Only the rows on hand are looked at: finding an old batch must not read the whole ledger.
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (VarToStr(model_->Value(row, QStringLiteral("批次号"))) == batchNo) {
            grid->selectRow(row);
            return;
        }
    }
}

QString TfrmSettleList::Settle(const QString& batchNo, const QString& settleNo) {
    std::unique_ptr<TfrmSettleEdit> dlg;
    if (!RunGuarded([&] { dlg = std::make_unique<TfrmSettleEdit>(dm_, batchNo, settleNo, this); },
                    QStringLiteral("无法打开结算窗口：")))
        return {};
    if (!dlg->IsLoaded()) {
        ShowWarn(MissingSettleText(settleNo));
        RunGuarded([this] { Reload(); });
        return {};
    }
    const bool saved = dlg->exec() == QDialog::Accepted;
    if (saved || !dlg->ExistingSettleNo().isEmpty()) {
        RunGuarded([this] { Reload(); });
        SelectBatch(batchNo);
    }
    if (saved) return dlg->SettleNo();
    const QString existing = dlg->ExistingSettleNo();
    if (!existing.isEmpty() && AskYesNo(QStringLiteral("是否打开该批次已有的结算单 %1 进行修改？").arg(existing)))
        return Settle(batchNo, existing);
    return {};
}

void TfrmSettleList::DoSettle() {
    RunGuarded([this] {
        if (const QString refusal = ActionRefusal(Session, TAction::Settle); !refusal.isEmpty()) {
            ShowWarn(refusal);
            return;
        }
        const QString batchNo = VarToStr(CurrentValue(QStringLiteral("批次号")));
        if (batchNo.isEmpty()) return;
        if (const QString refusal = SettleStatusRefusal(VarToStr(CurrentValue(QStringLiteral("批次状态"))));
            !refusal.isEmpty()) {
            ShowWarn(refusal);
            return;
        }
        const QString saved = Settle(batchNo, VarToStr(CurrentValue(QStringLiteral("结算单号"))));
        if (!saved.isEmpty() && AskYesNo(QStringLiteral("结算已保存，是否立即打印结算单？"))) PrintSettleSlip(dm_, saved);
    });
}

void TfrmSettleList::DoPrint(TPrintTarget target) {
    if (model_->rowCount() == 0) return;
    const QString settleNo = VarToStr(CurrentValue(QStringLiteral("结算单号")));
    if (settleNo.isEmpty()) {
        ShowWarn(QStringLiteral("该批次尚未结算"));
        return;
    }
    RunGuarded([&] { PrintSettleSlip(dm_, settleNo, target); });
}

void TfrmSettleList::DoVoid() {
    if (model_->rowCount() == 0) return;
    const QString settleNo = VarToStr(CurrentValue(QStringLiteral("结算单号")));
    if (const QString refusal = TSettleVoidLogic::StartRefusal(Session, settleNo); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    if (!AskYesNo(QStringLiteral("确认作废结算单 ") + settleNo + QStringLiteral("？作废后批次回到待结算状态。"),
                   TDefaultAnswer::No))
        return;
    RunGuarded([&] {
        if (const QString refusal = TSettleVoidLogic(dm_).Void(settleNo); !refusal.isEmpty()) ShowWarn(refusal);
        Reload();
    });
}

void TfrmSettleList::DoExport(TExportFormat format) {
    RunGuarded([&] { ExportGrid(*model_, QStringLiteral("结算台账"), format); });
}

void OpenSettleList(TDM& dm, QWidget* owner) {
    static QPointer<TfrmSettleList> instance;
    if (!instance) instance = new TfrmSettleList(dm, owner);
    BringToFront(instance);
    RunGuarded([] { instance->Reload(); });
}
