#include "reports/uLog.h"

#include "data/uDM.h"
#include "data/uSqlDialect.h"
#include "forms/uCtl.h"
#include "forms/uGrid.h"
#include "forms/uMsg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>

const QStringList& LogActions() {
    static const QStringList actions{QStringLiteral("全部"), QStringLiteral("新增"), QStringLiteral("修改"),
                                     QStringLiteral("删除"), QStringLiteral("收粮登记"), QStringLiteral("派工上机"),
                                     QStringLiteral("返烘"), QStringLiteral("烘干入仓"), QStringLiteral("出库"),
                                     QStringLiteral("结算"), QStringLiteral("作废")};
    return actions;
}

TSqlText LogQuery(TDM& dm, const TLogFilter& filter) {
    const QString ref = filter.Ref.trimmed();
    const TLogSource source = SqlLogSource(dm.Engine(), ref, !ref.isEmpty() && dm.HasLogRefWords());
    TSqlText q;
    q.Sql = "SELECT " + source.Key + " AS 序号, l.OpTime AS 操作时间, l.LoginName AS 操作员, l.ActType AS 操作类型, "
            "l.TblName AS 数据表, l.RefNo AS 关联单号, l.Detail AS 明细 FROM " + source.From + " WHERE 1=1";
    if (filter.UseDates) {
        q.Sql += " AND l.OpTime BETWEEN :d1 AND :d2";
        q.Params.push_back({"d1", QDateTime(filter.From, QTime(0, 0))});
        q.Params.push_back({"d2", EndOfDay(filter.To)});
    }
    // An action word is matched whole: "作废" is the void of a batch, not "作废结算".
    if (!filter.Action.isEmpty() && filter.Action != LogActions().front()) {
        q.Sql += " AND l.ActType=:a";
        q.Params.push_back({"a", filter.Action});
    }
    if (const QString user = filter.User.trimmed(); !user.isEmpty()) {
        q.Sql += " AND " + SqlLikeNoCase(dm.Engine(), "l.LoginName", ":u");
        q.Params.push_back({"u", "%" + user + "%"});
    }
    if (!source.Condition.isEmpty()) {
        q.Sql += " AND " + source.Condition;
        q.Params.push_back({"r", source.Value});
    }
    q.Order = QStringList{QStringLiteral("序号 DESC NOT NULL")};
    return q;
}

TfrmLog::TfrmLog(TDM& dm, QWidget* owner) : QWidget(owner, Qt::Window), dm_(dm) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildUI();
}

void TfrmLog::BuildUI() {
    setWindowTitle(QStringLiteral("系统操作日志"));
    resize(980, 540);
    ApplyFormFont(this);

    QWidget* bar = MakeToolbar(this, 70);
    chkDate = MakeCheck(bar, QStringLiteral("日期:"), 8, 10, false);
    chkDate->resize(60, 20);
    dtp1 = MakeDatePicker(bar, 70, 9, 140, true, QDateTime(QDate::currentDate().addDays(-30), QTime(0, 0)));
    dtp2 = MakeDatePicker(bar, 216, 9, 140, true, QDateTime(QDate::currentDate(), QTime(0, 0)));
    MakeLabel(bar, QStringLiteral("操作:"), 366, 8, 40);
    cbAction = MakeCombo(bar, 406, 7, 90);
    cbAction->addItems(LogActions());
    MakeLabel(bar, QStringLiteral("用户:"), 506, 8, 40);
    edtUser = MakeEdit(bar, 546, 9, 90);
    MakeLabel(bar, QStringLiteral("单号:"), 646, 8, 40);
    edtRef = MakeEdit(bar, 686, 9, 120);
    const auto query = [this] { RunGuarded([this] { DoQuery(); }); };
    MakeButton(bar, QStringLiteral("查询"), 816, 6, 70, 28, query);
    MakeLabel(bar,
              QStringLiteral("所有新增、修改、删除、结算、作废操作均全程留痕，业务数据只允许作废、不提供物理删除入口。"),
              8, 40, 700);
    MakeButton(bar, QStringLiteral("关闭"), 896, 38, 70, 28, [this] { close(); });

    model_ = new TQueryModel(dm_, this);
    grid = MakeGrid(this, model_);
    // Choices take effect at once; typed text when Enter is pressed or 查询 is clicked.
    connect(chkDate, &QCheckBox::clicked, this, query);
    connect(dtp1, &QDateTimeEdit::dateChanged, this, query);
    connect(dtp2, &QDateTimeEdit::dateChanged, this, query);
    connect(cbAction, &QComboBox::currentIndexChanged, this, query);
    connect(edtUser, &QLineEdit::returnPressed, this, query);
    connect(edtRef, &QLineEdit::returnPressed, this, query);
    CentreOnScreen(this);
}

TLogFilter TfrmLog::Filter() const {
    return {chkDate->isChecked(), dtp1->date(), dtp2->date(), cbAction->currentText(), edtUser->text(),
            edtRef->text()};
}

void TfrmLog::DoQuery() {
    const TSqlText q = LogQuery(dm_, Filter());
    model_->Close();
    model_->Open(q);
    FitColumns(grid, 40);
}

void OpenLogViewer(TDM& dm, QWidget* owner) {
    static QPointer<TfrmLog> instance;
    if (!instance) instance = new TfrmLog(dm, owner);
    BringToFront(instance);
    RunGuarded([] { instance->DoQuery(); });
}
