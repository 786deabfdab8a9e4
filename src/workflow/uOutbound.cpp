#include "workflow/uOutbound.h"

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
#include "workflow/uStockRule.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringBuilder>
#include <QTableView>

namespace {
// The longest date span the outbound ledger reads through its time index.
constexpr qint64 kIndexedDays = 62;

const QString kOutTypes[] = {QStringLiteral("农户自提"), QStringLiteral("对外销售")};

// Only dry grain in store is handed out; a batch still waiting for the dryer has nothing to give.
QString OfferedCondition() { return LiveStockCondition() + QStringLiteral(" AND s.Status='在库'"); }

TOutboundResult Refuse(const QString& message, TOutField focus = TOutField::None) { return {message, focus, {}}; }

QString OverWeightMessage(double weight, double remaining) {
    return QStringLiteral("出库重量 %1 大于可出库存 %2").arg(FmtFixed(weight, 1), FmtFixed(remaining, 1));
}

// The weight box as read on save: a load's net weight in kilograms.
TNumEntry OutWeight(const QString& text) {
    return CheckNum(text, TNumRange::NetWeight, QStringLiteral("出库净重(公斤)"));
}
}  // namespace

// ---- TOutboundLogic ---------------------------------------------------------------------

struct TOutboundLogic::TRowState {
    QString BatchNo;
    int WhID = 0;
    int FarmerID = 0;
    int GrainID = 0;
    double Remaining = 0;
};

QList<TStockChoice> TOutboundLogic::Choices() const {
    // Read as a stream in the list's order: a centre may hold tens of thousands of rows in store.
    // The names come from their small tables, read once, not joined to every row.
    const QHash<int, QString> farmers = Names(dm_, "SELECT FarmerID, Name FROM T_Farmer");
    const QHash<int, QString> grains = Names(dm_, "SELECT GrainID, GrainName FROM T_Grain");
    const QHash<int, QString> positions = Names(dm_, "SELECT WhID, WhName FROM T_Wh");
    TStatement st = dm_.NewQuery("SELECT s.StockID, s.BatchNo, s.FarmerID, s.GrainID, s.WhID, " +
                                 RemainingSql(dm_.Engine()) + " FROM T_Stock s WHERE " + OfferedCondition() +
                                 " ORDER BY s.StockID DESC");
    QList<TStockChoice> choices;
    while (st.Next()) {
        TStockChoice c;
        c.Remaining = VarToFloat(st.Value(5), 0);
        if (c.Remaining <= 0) continue;
        c.StockID = VarToInt(st.Value(0));
        c.BatchNo = VarToStr(st.Value(1));
        c.Text = c.BatchNo % u" | " % farmers.value(VarToInt(st.Value(2))) % u" | " % grains.value(VarToInt(st.Value(3))) %
                 u" | 结余" % FmtFixed(c.Remaining, 1) % u"kg | " % positions.value(VarToInt(st.Value(4)));
        choices << c;
    }
    return choices;
}

TOutboundLogic::TRowState TOutboundLogic::ReadRow(int stockId) const {
    const TQuery q = dm_.OpenSQLP("SELECT s.BatchNo, s.WhID, s.FarmerID, s.GrainID, CASE WHEN " + OfferedCondition() +
                                      " THEN " + RemainingSql(dm_.Engine()) + " ELSE 0.0 END AS Remain FROM T_Stock s "
                                      "WHERE s.StockID=:id",
                                  {{"id", stockId}});
    TRowState row;
    if (q.IsEmpty()) return row;
    row.BatchNo = VarToStr(q.Field("BatchNo"));
    row.WhID = VarToInt(q.Field("WhID"));
    row.FarmerID = VarToInt(q.Field("FarmerID"));
    row.GrainID = VarToInt(q.Field("GrainID"));
    row.Remaining = VarToFloat(q.Field("Remain"), 0);
    return row;
}

void TOutboundLogic::LockBatchStock(int stockId) {
    // What is left counts every outbound of the batch, so the batch row is what is locked, then
    // its stock rows. A row's batch never changes.
    const QString batchNo = VarToStr(dm_.ScalarP("SELECT BatchNo FROM T_Stock WHERE StockID=:id", {{"id", stockId}}));
    LockBatch(dm_, batchNo);
    dm_.OpenSQLP("SELECT StockID FROM T_Stock WHERE BatchNo=:b" + SqlForUpdate(dm_.Engine()), {{"b", batchNo}});
}

double TOutboundLogic::Remaining(int stockId) const { return ReadRow(stockId).Remaining; }

TOutboundResult TOutboundLogic::CheckInput(const TOutboundInput& in) const {
    if (in.StockID <= 0) return Refuse(QStringLiteral("没有可出库的在库批次"));
    const TNumEntry weight = OutWeight(in.Weight);
    if (weight.IsBlank() || weight.State == TNumState::NotANumber || weight.Value <= 0)
        return Refuse(QStringLiteral("请输入有效的出库净重"), TOutField::Weight);
    if (!weight.Ok()) return Refuse(weight.Refusal, TOutField::Weight);
    const struct {
        QString text;
        const char* column;
        QString caption;
        TOutField field;
    } texts[] = {
        {in.Destination, "Destination", QStringLiteral("去向"), TOutField::Destination},
        {in.Driver, "Driver", QStringLiteral("司机"), TOutField::Driver},
        {in.CarNo, "CarNo", QStringLiteral("车牌号"), TOutField::CarNo},
        {in.Remark, "Remark", QStringLiteral("备注"), TOutField::Remark},
    };
    for (const auto& t : texts)
        if (const QString refusal = TextEntryRefusal("T_Outbound", t.column, t.caption, t.text.trimmed());
            !refusal.isEmpty())
            return Refuse(refusal, t.field);
    return {};
}

TOutboundResult TOutboundLogic::CheckAgainst(const TOutboundInput& in, double remaining) const {
    if (TOutboundResult refusal = CheckInput(in); !refusal.Saved()) return refusal;
    const double weight = OutWeight(in.Weight).Value;
    if (ExceedsRemaining(weight, remaining)) return Refuse(OverWeightMessage(weight, remaining), TOutField::Weight);
    return {};
}

TOutboundResult TOutboundLogic::Check(const TOutboundInput& in) const {
    return CheckAgainst(in, in.StockID > 0 ? Remaining(in.StockID) : 0);
}

TOutboundResult TOutboundLogic::Save(const TOutboundInput& in) {
    if (TOutboundResult refusal = CheckInput(in); !refusal.Saved()) return refusal;
    try {
        TTransaction tx(dm_);
        // The stock is judged under the locks only: whatever another station handed out since
        // the dialog showed its figure counts, and none hands out of the batch until this is saved.
        LockBatchStock(in.StockID);
        const TRowState row = ReadRow(in.StockID);
        if (TOutboundResult refusal = CheckAgainst(in, row.Remaining); !refusal.Saved()) return refusal;
        if (in.OpID > 0 && !LockReferencedRow(dm_, "T_Operator", "OpID", in.OpID))
            return {QStringLiteral("所选的操作员已被其他电脑删除，请重新选择")};
        const QString outNo = dm_.NextNo("CK", "T_Outbound", "OutNo");
        Write(in, row, outNo);
        dm_.WriteLog(QStringLiteral("出库"), "T_Outbound", outNo,
                     QStringLiteral("批次%1 %2kg %3").arg(row.BatchNo, FmtFixed(OutWeight(in.Weight).Value, 1), in.OutType));
        tx.Commit();
        return {{}, TOutField::None, outNo};
    } catch (const TDbError& e) {
        return Refuse(DbFailureText(QStringLiteral("出库失败："), e));
    }
}

void TOutboundLogic::Write(const TOutboundInput& in, const TRowState& row, const QString& outNo) {
    const double weight = OutWeight(in.Weight).Value;
    dm_.ExecSQLP("INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime,Destination,Driver,"
                 "CarNo,OpID,Remark) VALUES(:no,:tp,:b,:f,:g,:w,:t,:dest,:dr,:car,:op,:mm)",
                 {{"no", outNo},
                  {"tp", in.OutType},
                  {"b", row.BatchNo},
                  {"f", row.FarmerID},
                  {"g", row.GrainID},
                  {"w", weight},
                  {"t", in.OutTime},
                  {"dest", in.Destination.trimmed()},
                  {"dr", in.Driver.trimmed()},
                  {"car", in.CarNo.trimmed()},
                  {"op", in.OpID},
                  {"mm", in.Remark.trimmed()}});
    dm_.ExecSQLP("INSERT INTO T_StockMove(BatchNo,WhID,MoveType,Qty,MoveTime,OpID,Remark) "
                 "VALUES(:b,:w,:tp,:q,:t,:op,:mm)",
                 {{"b", row.BatchNo},
                  {"w", row.WhID},
                  {"tp", QStringLiteral("出仓")},
                  {"q", weight},
                  {"t", in.OutTime},
                  {"op", in.OpID},
                  {"mm", in.OutType}});
    if (IsEmptied(row.Remaining - weight))
        dm_.ExecSQLP("UPDATE T_Stock SET Status=:s WHERE StockID=:i", {{"s", kStockOut}, {"i", in.StockID}});
    // The emptied row no longer counts, so a batch whose grain is all handed out is ready to settle.
    if (IsEmptied(BatchRemaining(dm_, row.BatchNo)))
        dm_.ExecSQLP("UPDATE T_Batch SET Status=:s WHERE BatchNo=:b AND Status<>:v",
                     {{"s", kBatchToSettle}, {"b", row.BatchNo}, {"v", kStatusVoid}});
}

// ---- Ledger query -----------------------------------------------------------------------

TSqlText OutListQuery(TDbEngine engine, std::optional<std::pair<QDate, QDate>> dates, const QString& type, const QString& keyword) {
    TSqlText q;
    q.Sql = "SELECT o.OutNo AS 出库单号, o.OutTime AS 出库时间, o.OutType AS 出库类型, o.BatchNo AS 批次号, "
            "f.Name AS 农户, g.GrainName AS 粮种, o.OutWt AS 出库净重公斤, o.Destination AS 去向, o.Driver AS 司机, "
            "o.CarNo AS 车牌, o.Remark AS 备注 FROM (T_Outbound o LEFT JOIN T_Farmer f ON o.FarmerID=f.FarmerID) "
            "LEFT JOIN T_Grain g ON o.GrainID=g.GrainID WHERE 1=1";
    if (dates) {
        // A few weeks are read through the time index and sorted; a longer span is read in number
        // order, where the first screen fills long before the whole span is sorted.
        const bool fewWeeks = dates->first.daysTo(dates->second) <= kIndexedDays;
        q.Sql += " AND " + (fewWeeks ? QStringLiteral("o.OutTime") : SqlSkipIndex(engine, "o.OutTime")) + " BETWEEN :d1 AND :d2";
        q.Params.push_back({"d1", QDateTime(dates->first, QTime(0, 0))});
        q.Params.push_back({"d2", EndOfDay(dates->second)});
    }
    if (!type.isEmpty() && type != QStringLiteral("全部")) {
        q.Sql += " AND o.OutType=:tp";
        q.Params.push_back({"tp", type});
    }
    const QString k = keyword.trimmed();
    if (!k.isEmpty()) {
        // The farmers are matched once, not once per outbound.
        q.Sql += " AND (" + SqlLikeNoCase(engine, "o.BatchNo", ":k") + " OR o.FarmerID IN (SELECT FarmerID FROM T_Farmer WHERE " +
                 SqlLikeNoCase(engine, "Name", ":k") + "))";
        q.Params.push_back({"k", "%" + k + "%"});
    }
    q.Order = QStringList{QStringLiteral("出库单号 DESC NOT NULL")};
    return q;
}

// ---- TfrmOutEdit ------------------------------------------------------------------------

TfrmOutEdit::TfrmOutEdit(TDM& dm, QWidget* parent) : TEntryDialog(parent), dm_(dm), logic_(dm) {
    BuildUI();
    MarkUntouched();
}

void TfrmOutEdit::BuildUI() {
    setWindowTitle(QStringLiteral("粮食出库登记"));
    setFixedSize(660, 380);
    ApplyFormFont(this);
    CentreOnScreen(this);

    const int lx = 20, ex = 142, ew = 180, rx = 340, rex = 442;
    MakeLabel(this, QStringLiteral("选择在库批次 *："), lx, 20, 120);
    cbStock = MakeCombo(this, ex, 20, 490);
    lblRemain = MakeLabel(this, {}, ex, 48, 490);
    lblRemain->setStyleSheet("color: blue;");

    // Two columns below the stock list; a text box takes no more than its column holds.
    auto top = [](int row) { return 84 + row * 40; };
    auto edit = [&](int left, int row, const char* column = nullptr) {
        QLineEdit* e = MakeEdit(this, left, top(row), ew);
        if (column) e->setMaxLength(TextLimit("T_Outbound", column));
        return e;
    };
    MakeLabel(this, QStringLiteral("出库类型 *："), lx, top(0), 120);
    cbType = MakeCombo(this, ex, top(0), ew);
    for (const QString& t : kOutTypes) cbType->addItem(t);
    cbType->setCurrentIndex(0);
    MakeLabel(this, QStringLiteral("出库时间 *："), rx, top(0), 100);
    dtOut = MakeDatePicker(this, rex, top(0), ew, false);

    MakeLabel(this, QStringLiteral("出库净重(公斤)*："), lx, top(1), 120);
    edWeight = edit(ex, 1);
    MakeLabel(this, QStringLiteral("去向："), rx, top(1), 100);
    edDest = edit(rex, 1, "Destination");

    MakeLabel(this, QStringLiteral("司机："), lx, top(2), 120);
    edDriver = edit(ex, 2, "Driver");
    MakeLabel(this, QStringLiteral("车牌号："), rx, top(2), 100);
    edCar = edit(rex, 2, "CarNo");

    MakeLabel(this, QStringLiteral("操作员："), lx, top(3), 120);
    cbOperator = MakeCombo(this, ex, top(3), ew);
    FillOperatorCombo(dm_, cbOperator);
    cbOperator->setCurrentIndex(-1);
    MakeLabel(this, QStringLiteral("备注："), rx, top(3), 100);
    edRemark = edit(rex, 3, "Remark");

    QPushButton* ok = MakeButton(this, QStringLiteral("确认出库"), 430, 320, 100, 30, [this] { DoOK(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 540, 320, 90, 30, [this] { reject(); });

    FillStock();
    connect(cbStock, &QComboBox::currentIndexChanged, this, [this] { RunGuarded([this] { ShowRemaining(); }); });
    edWeight->setFocus();
}

void TfrmOutEdit::FillStock() {
    cbStock->clear();
    for (const TStockChoice& c : logic_.Choices()) AddComboItem(cbStock, c.Text, c.StockID);
    cbStock->setCurrentIndex(cbStock->count() > 0 ? 0 : -1);
    ShowRemaining();
}

void TfrmOutEdit::ShowRemaining() {
    const int stockId = ComboID(cbStock);
    lblRemain->setText(stockId > 0 ? QStringLiteral("该批次当前可出库存：%1 公斤").arg(FmtFixed(logic_.Remaining(stockId), 1))
                                   : QStringLiteral("没有可出库的在库粮食"));
}

TOutboundInput TfrmOutEdit::Collected() const {
    TOutboundInput in;
    in.StockID = ComboID(cbStock);
    in.OutType = cbType->currentText();
    in.OutTime = dtOut->dateTime();
    in.Weight = edWeight->text();
    in.Destination = edDest->text();
    in.Driver = edDriver->text();
    in.CarNo = edCar->text();
    in.OpID = ComboID(cbOperator);
    in.Remark = edRemark->text();
    return in;
}

void TfrmOutEdit::DoOK() {
    RunGuarded([this] {
        const TOutboundResult result = logic_.Save(Collected());
        if (result.Saved()) {
            outNo_ = result.OutNo;
            accept();
            return;
        }
        ShowWarn(result.Refusal);
        // Another station may have taken grain meanwhile: show what is left now.
        ShowRemaining();
        switch (result.Focus) {
        case TOutField::Weight: edWeight->setFocus(); break;
        case TOutField::Destination: edDest->setFocus(); break;
        case TOutField::Driver: edDriver->setFocus(); break;
        case TOutField::CarNo: edCar->setFocus(); break;
        case TOutField::Remark: edRemark->setFocus(); break;
        case TOutField::None: break;
        }
    });
}

// ---- TfrmOutList ------------------------------------------------------------------------

TfrmOutList::TfrmOutList(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmOutList::BuildUI() {
    setWindowTitle(QStringLiteral("粮食出库管理"));
    resize(1000, 560);
    ApplyFormFont(this);
    CentreOnScreen(this);

    QWidget* bar = MakeToolbar(this, 70);
    TButtonRow buttons(bar, 6);
    buttons.Add(QStringLiteral("新增出库"), 84, [this] { DoNew(); });
    buttons.Add(QStringLiteral("打印出库单"), 96, [this] { DoPrint(); });
    buttons.Add(QStringLiteral("打印预览"), 76, [this] { DoPrint(TPrintTarget::Preview); });
    buttons.Add(QStringLiteral("导出CSV"), 76, [this] { DoExport(); });
    buttons.Add(QStringLiteral("导出Excel"), 84, [this] { DoExport(TExportFormat::Excel); });
    buttons.Add(QStringLiteral("关闭"), 64, [this] { close(); });

    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    chkDate = MakeCheck(bar, QStringLiteral("日期:"), 8, 42, false);
    chkDate->setFixedWidth(56);
    dtFrom = MakeDatePicker(bar, 64, 40, 110, true, today);
    MakeLabel(bar, QStringLiteral("至"), 180, 40, 16);
    dtTo = MakeDatePicker(bar, 198, 40, 110, true, today);
    MakeLabel(bar, QStringLiteral("类型:"), 324, 40, 40);
    cbType = MakeCombo(bar, 364, 38, 100);
    cbType->addItem(QStringLiteral("全部"));
    for (const QString& t : kOutTypes) cbType->addItem(t);
    MakeLabel(bar, QStringLiteral("批次/农户:"), 478, 40, 70);
    edKeyword = MakeEdit(bar, 548, 40, 160);
    MakeButton(bar, QStringLiteral("查询"), 718, 37, 64, 28, [this] { RunGuarded([this] { Reload(); }); });

    model_ = new TQueryModel(dm_, this);
    grid = MakeGrid(this, model_);

    const auto reload = [this] { RunGuarded([this] { Reload(); }); };
    connect(chkDate, &QCheckBox::toggled, this, reload);
    connect(dtFrom, &QDateTimeEdit::dateChanged, this, reload);
    connect(dtTo, &QDateTimeEdit::dateChanged, this, reload);
    connect(cbType, &QComboBox::currentIndexChanged, this, reload);
    connect(edKeyword, &QLineEdit::returnPressed, this, reload);
    edKeyword->setFocus();
}

void TfrmOutList::Reload() {
    std::optional<std::pair<QDate, QDate>> dates;
    if (chkDate->isChecked()) dates = std::make_pair(dtFrom->date(), dtTo->date());
    const TSqlText q = OutListQuery(dm_.Engine(), dates, cbType->currentText(), edKeyword->text());
    model_->Close();
    model_->Open(q);
    grid->resizeColumnsToContents();
    if (model_->rowCount() > 0) grid->selectRow(0);
}

QString TfrmOutList::CurrentOutNo() const {
    const int row = grid->currentIndex().isValid() ? grid->currentIndex().row() : -1;
    if (row < 0 || row >= model_->rowCount()) return {};
    return VarToStr(model_->Value(row, QStringLiteral("出库单号")));
}

void TfrmOutList::DoNew() {
    if (const QString refusal = ActionRefusal(Session, TAction::NewOutbound); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    RunGuarded([this] {
        QString outNo;
        {
            TfrmOutEdit dlg(dm_, this);
            if (dlg.exec() != QDialog::Accepted) return;
            outNo = dlg.OutNo();
        }
        Reload();
        if (!outNo.isEmpty() && AskYesNo(QStringLiteral("出库单已保存，是否立即打印？"))) PrintSlip(outNo);
    });
}

void TfrmOutList::DoPrint(TPrintTarget target) {
    const QString outNo = CurrentOutNo();
    if (!outNo.isEmpty()) PrintSlip(outNo, target);
}

void TfrmOutList::DoExport(TExportFormat format) {
    RunGuarded([&] { ExportGrid(*model_, QStringLiteral("出库台账"), format); });
}

void TfrmOutList::PrintSlip(const QString& outNo, TPrintTarget target) {
    RunGuarded([&] { PrintOutSlip(dm_, outNo, target); });
}

void OpenOutList(TDM& dm, QWidget* owner) {
    static QPointer<TfrmOutList> instance;
    if (!instance) instance = new TfrmOutList(dm, owner);
    BringToFront(instance);
    RunGuarded([] { instance->Reload(); });
}
