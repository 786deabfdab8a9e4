#include "workflow/uStock.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"
#include "workflow/uStockRule.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QStringBuilder>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace {
// Whole numbers as the warnings print them: a half goes to the even neighbour.
qint64 RoundEven(double x) { return qint64(std::nearbyint(x)); }

QString BatchLike(const QString& text) { return "%" + text.trimmed() + "%"; }
}  // namespace

TSqlText LiveStockQuery(TDbEngine engine, int whId, const QString& batchText, bool onlyRemaining) {
    TSqlText q;
    q.Sql = "SELECT s.StockID, s.BatchNo AS 批次号, f.Name AS 农户, g.GrainName AS 粮种, w.WhName AS 仓位, "
            "s.Moisture AS 干粮水分, s.Qty AS 入仓数量, " +
            RemainingSql(engine) +
            " AS 剩余数量, s.InTime AS 入仓时间, s.Status AS 库存状态 FROM ((T_Stock s LEFT JOIN T_Farmer f ON "
            "s.FarmerID=f.FarmerID) LEFT JOIN T_Grain g ON s.GrainID=g.GrainID) LEFT JOIN T_Wh w ON s.WhID=w.WhID "
            "WHERE 1=1";
    if (whId > 0) {
        q.Sql += " AND s.WhID=:wh";
        q.Params.push_back({"wh", whId});
    }
    if (!batchText.trimmed().isEmpty()) {
        q.Sql += " AND " + SqlLikeNoCase(engine, "s.BatchNo", ":bn");
        q.Params.push_back({"bn", BatchLike(batchText)});
    }
    if (onlyRemaining) q.Sql += " AND " + LiveStockCondition() + " AND " + RemainingSql(engine) + " > 0";
    q.Order = QStringList{QStringLiteral("StockID DESC NOT NULL")};
    return q;
}

TSqlText StockMoveQuery(TDbEngine engine, const QString& batchText) {
    TSqlText q;
    q.Sql = "SELECT m.MoveID, m.MoveTime AS 时间, m.BatchNo AS 批次号, (SELECT f.Name FROM T_Batch b LEFT JOIN "
            "T_Farmer f ON b.FarmerID=f.FarmerID WHERE b.BatchNo=m.BatchNo LIMIT 1) AS 农户, w.WhName AS 仓位, "
            "m.MoveType AS 异动类型, m.Qty AS 数量公斤, o.OpName AS 经手人, m.Remark AS 备注 FROM (T_StockMove m "
            "LEFT JOIN T_Wh w ON m.WhID=w.WhID) LEFT JOIN T_Operator o ON m.OpID=o.OpID WHERE 1=1";
    if (!batchText.trimmed().isEmpty()) {
        q.Sql += " AND " + SqlLikeNoCase(engine, "m.BatchNo", ":bn");
        q.Params.push_back({"bn", BatchLike(batchText)});
    }
    q.Order = QStringList{QStringLiteral("MoveID DESC NOT NULL")};
    return q;
}

QStringList TStockWarnLogic::Lines(const QDate& today) const {
    const TLiveFigures live = ScanLive(today);
    QStringList lines{QStringLiteral("========== 仓位容量预警（使用率≥90%） ==========")};
    lines << CapacityLines(live);
    lines << QString() << QStringLiteral("========== 超期堆放预警（超过免费堆放天数） ==========");
    if (live.OverStored.isEmpty())
        lines << QStringLiteral("  暂无超期堆放批次");
    else
        lines << live.OverStored;
    return lines;
}

QStringList TStockWarnLogic::CapacityLines() const { return CapacityLines(ScanLive(QDate::currentDate())); }

QStringList TStockWarnLogic::OverStoredLines(const QDate& today) const { return ScanLive(today).OverStored; }

TStockWarnLogic::TLiveFigures TStockWarnLogic::ScanLive(const QDate& today) const {
    // A grain type with several fee standards is judged by its first, as the fee estimate is.
    QHash<int, TValue> freeDays;
    const TQuery standards = dm_.OpenSQL("SELECT GrainID, FreeDays FROM T_FeeStd ORDER BY FeeID");
    for (int r = 0; r < standards.RowCount(); ++r)
        if (const int grain = VarToInt(standards.Value(r, 0)); !freeDays.contains(grain))
            freeDays.insert(grain, standards.Value(r, 1));

    // One pass over the live rows, oldest first, gives both sections: every remaining quantity is
    // worked out once however many rows a centre keeps in store. Farmer and position names come
    // from their small tables, read once, rather than joined to each of the tens of thousands of rows.
    const QHash<int, QString> farmers = Names(dm_, "SELECT FarmerID, Name FROM T_Farmer");
    const QHash<int, QString> positions = Names(dm_, "SELECT WhID, WhName FROM T_Wh");
    TStatement st = dm_.NewQuery("SELECT s.WhID, s.GrainID, s.BatchNo, s.InTime, s.FarmerID, " +
                                 RemainingSql(dm_.Engine()) + " FROM T_Stock s WHERE " + LiveStockCondition() +
                                 " ORDER BY s.InTime, s.StockID");
    const qint64 todayDay = today.toJulianDay();
    TLiveFigures live;
    while (st.Next()) {
        const double remain = VarToFloat(st.Value(5), 0);
        if (remain <= 0) continue;
        const int wh = VarToInt(st.Value(0));
        live.Used[wh] += remain;
        QDate inDay;
        QTime inTime;
        const TValue free = freeDays.value(VarToInt(st.Value(1)));
        if (free.IsNull() || !st.Value(3).AsDateAndTime(&inDay, &inTime)) continue;
        // Calendar days to the start of today, the time of day as a fraction.
        const double days = double(todayDay - inDay.toJulianDay()) - inTime.msecsSinceStartOfDay() / 86400000.0;
        if (days <= VarToFloat(free, 0)) continue;
        // Joined piece by piece, not through a format string parsed again for each of the lines.
        live.OverStored << (u"  批次 " % VarToStr(st.Value(2)) % u"  农户:" % farmers.value(VarToInt(st.Value(4))) %
                            u"  仓位:" % positions.value(wh) % u"  结余" % FmtFixed(remain, 1) % u"kg  已堆放" %
                            QString::number(RoundEven(days)) % u"天(免费" % QString::number(VarToInt(free)) % u"天)");
    }
    return live;
}

QStringList TStockWarnLogic::CapacityLines(const TLiveFigures& live) const {
    const TQuery q = dm_.OpenSQL("SELECT WhID, WhName, Capacity FROM T_Wh ORDER BY WhID");
    QStringList lines;
    for (int r = 0; r < q.RowCount(); ++r) {
        const qint64 cap = RoundEven(VarToFloat(q.Value(r, "Capacity"), 0));
        if (cap <= 0) continue;
        const double used = live.Used.value(VarToInt(q.Value(r, "WhID")));
        QString line = QStringLiteral("  [%1] 结余 %2 / 容量 %3 公斤，使用率 %4%")
                           .arg(VarToStr(q.Value(r, "WhName")), FmtFixed(used, 1), QString::number(cap),
                                FmtFixed(used / double(cap) * 100, 0));
        if (used >= double(cap) * 0.9)
            line += used >= double(cap) ? QStringLiteral("  ★已满仓") : QStringLiteral("  ★接近满仓");
        lines << line;
    }
    return lines;
}

TfrmStock::TfrmStock(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmStock::BuildUI() {
    setWindowTitle(QStringLiteral("粮仓库存管理"));
    resize(980, 580);
    ApplyFormFont(this);
    CentreOnScreen(this);

    QWidget* bar = MakeToolbar(this, 44);
    MakeLabel(bar, QStringLiteral("仓位:"), 8, 10, 40);
    cbWh = MakeCombo(bar, 48, 9, 170);
    FillWhCombo(dm_, cbWh);
    cbWh->insertItem(0, QStringLiteral("全部仓位"), 0);
    cbWh->setCurrentIndex(0);
    chkRemain = MakeCheck(bar, QStringLiteral("只看有结余"), 232, 12, true);
    MakeLabel(bar, QStringLiteral("批次号:"), 350, 10, 54);
    edBatch = MakeEdit(bar, 404, 11, 150);
    MakeButton(bar, QStringLiteral("刷新"), 570, 8, 64, 28, [this] { RunGuarded([this] { RefreshAll(); }); });
    MakeButton(bar, QStringLiteral("关闭"), 640, 8, 64, 28, [this] { close(); });

    pages = new QTabWidget(this);
    qobject_cast<QVBoxLayout*>(layout())->addWidget(pages, 1);
    auto* stockPage = new QWidget(pages);
    stock_ = new TQueryModel(dm_, this);
    stockGrid = MakeGrid(stockPage, stock_);
    pages->addTab(stockPage, QStringLiteral("实时库存"));
    auto* movePage = new QWidget(pages);
    moves_ = new TQueryModel(dm_, this);
    moveGrid = MakeGrid(movePage, moves_);
    pages->addTab(movePage, QStringLiteral("库存异动记录"));
    mmWarn = new QPlainTextEdit(pages);
    MarkReadOnlyBox(mmWarn);
    mmWarn->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ApplyFormFont(mmWarn, 10);
    pages->addTab(mmWarn, QStringLiteral("库存预警"));

    const auto refresh = [this] { RunGuarded([this] { RefreshAll(); }); };
    connect(cbWh, &QComboBox::currentIndexChanged, this, refresh);
    connect(chkRemain, &QCheckBox::toggled, this, refresh);
    connect(edBatch, &QLineEdit::textChanged, this, refresh);
    connect(edBatch, &QLineEdit::returnPressed, this, refresh);
    connect(pages, &QTabWidget::currentChanged, this, refresh);
    edBatch->setFocus();
}

void TfrmStock::RefreshAll() {
    switch (pages->currentIndex()) {
    case PageStock: RefreshStock(); break;
    case PageMove: RefreshMove(); break;
    default: RefreshWarn(); break;
    }
}

void TfrmStock::RefreshStock() {
    const TSqlText q = LiveStockQuery(dm_.Engine(), ComboID(cbWh), edBatch->text(), chkRemain->isChecked());
    stock_->Close();
    stock_->Open(q);
    // The key column keeps its table name in the query; the staff read it in Chinese.
    stock_->SetCaption(0, QStringLiteral("库存编号"));
    stockGrid->resizeColumnsToContents();
}

void TfrmStock::RefreshMove() {
    const TSqlText q = StockMoveQuery(dm_.Engine(), edBatch->text());
    moves_->Close();
    moves_->Open(q);
    moves_->SetCaption(0, QStringLiteral("异动编号"));
    moveGrid->resizeColumnsToContents();
}

void TfrmStock::RefreshWarn() {
    // Built in full before it is shown: a failing query leaves the previous warnings in view.
    const QStringList lines = TStockWarnLogic(dm_).Lines(QDate::currentDate());
    mmWarn->setPlainText(lines.join('\n'));
}

void TfrmStock::ShowPage(TPage page) {
    {
        const QSignalBlocker quiet(pages);
        pages->setCurrentIndex(page);
    }
    RefreshAll();
}

namespace {
TfrmStock* ShownStockWindow(TDM& dm, QWidget* owner) {
    static QPointer<TfrmStock> instance;
    if (!instance) instance = new TfrmStock(dm, owner);
    BringToFront(instance);
    return instance;
}
}  // namespace

void OpenStock(TDM& dm, QWidget* owner) {
    TfrmStock* w = ShownStockWindow(dm, owner);
    RunGuarded([w] { w->RefreshAll(); });
}

void OpenStockWarn(TDM& dm, QWidget* owner) {
    TfrmStock* w = ShownStockWindow(dm, owner);
    RunGuarded([w] { w->ShowPage(TfrmStock::PageWarn); });
}
