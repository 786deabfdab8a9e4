#include "app/uMain.h"

#include "app/uLogin.h"
#include "app/uRestore.h"

#include "data/uDM.h"
#include "data/uPassword.h"
#include "data/uSqlDialect.h"
#include "forms/uCrud.h"
#include "forms/uDefs.h"
#include "forms/uMsg.h"
#include "reports/uLog.h"
#include "reports/uReport.h"
#include "scale/uPhoto.h"
#include "scale/uScaleSet.h"
#include "workflow/uBatchList.h"
#include "workflow/uDrying.h"
#include "workflow/uOutbound.h"
#include "workflow/uStock.h"
#include "workflow/uSettleList.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>

#include <array>

namespace {
const char* const kVersion = "v1.0.0";

struct TBoardButton {
    int code;
    const char* caption;
    int group;
};

const std::array<const char*, 6> kGroups{
    "基础信息（管理员）", "农户与业务", "库存与出库", "结算与设备", "报表台账（监管迎检）", "系统管理",
};

// In the order the buttons stand in their group; 粮食出库 and 出库单打印 open the same ledger.
const std::array<TBoardButton, 23> kBoard{{
    {1, "粮种管理", 0},      {2, "收费标准", 0},    {3, "仓位管理", 0},      {4, "设备台账", 0},
    {5, "班组操作员", 0},    {6, "农户/客户档案", 1}, {7, "收粮入库登记", 1},  {8, "烘干批次作业", 1},
    {9, "粮仓库存", 2},      {20, "库存预警", 2},   {10, "粮食出库", 2},     {10, "出库单打印", 2},
    {11, "费用结算", 3},     {12, "运行能耗填报", 3}, {13, "保养维修记录", 3},  {14, "报表/溯源中心", 4},
    {21, "每日烘干台账", 4}, {22, "农户对账", 4},   {23, "损耗能耗报表", 4}, {16, "用户权限", 5},
    {15, "操作日志", 5},     {17, "修改密码", 5},   {18, "数据备份", 5},
}};

QString NativeDbName() { return TAppPaths::DbShownName(); }

QString DatabaseInUse(const TDM& dm) {
    if (dm.Config().IsPostgres()) return QStringLiteral("数据库：") + dm.Config().Describe();
    return QStringLiteral("数据库：数据文件夹下 ") + NativeDbName();
}
}  // namespace

QString ChangePassword(TDM& dm, const TSession& s, const QString& oldPwd, const QString& newPwd,
                       const QString& confirm) {
    const auto stored = [&](const QString& lock) {
        const TQuery q = dm.OpenSQLP("SELECT Pwd,PwdHash FROM T_User WHERE UserID=:i" + lock, {{"i", s.UserID}});
        return q.IsEmpty() ? QStringList() : QStringList{VarToStr(q.Field("Pwd")), VarToStr(q.Field("PwdHash"))};
    };
    // The hashes are slow on purpose: they are worked out before the row is locked, and the lock
    // then only confirms that the password checked is still the one stored.
    const QStringList before = stored({});
    if (before.isEmpty() || !PasswordMatches(before[1], before[0], oldPwd)) return QStringLiteral("原密码不正确");
    if (const QString refusal = NewPasswordRefusal(newPwd, confirm); !refusal.isEmpty()) return refusal;
    const QString hash = PasswordHash(newPwd);
    TTransaction tx(dm);
    if (stored(SqlForUpdate(dm.Engine())) != before)
        return QStringLiteral("密码刚在其他电脑上被修改，请重新输入原密码");
    dm.ExecSQLP("UPDATE T_User SET PwdHash=:h,Pwd='' WHERE UserID=:i", {{"h", hash}, {"i", s.UserID}});
    dm.WriteLog(QStringLiteral("修改密码"), "T_User", QString::number(s.UserID), {});
    tx.Commit();
    return {};
}

// ---- TfrmPwd ----------------------------------------------------------------------------

TfrmPwd::TfrmPwd(QWidget* parent) : QDialog(parent) {}

void TfrmPwd::BuildUI() {
    setWindowTitle(QStringLiteral("修改密码"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(340, 230);
    CentreOnScreen(this);
    ApplyFormFont(this);
    const auto passwordBox = [this](const QString& caption, int top) {
        MakeLabel(this, caption, 40, top, 90);
        return MakePasswordBox(this, 130, top, 160);
    };
    edtOld_ = passwordBox(QStringLiteral("原密码："), 30);
    edtNew_ = passwordBox(QStringLiteral("新密码："), 70);
    edtConfirm_ = passwordBox(QStringLiteral("确认新密码："), 110);
    QPushButton* ok = MakeButton(this, QStringLiteral("确定"), 80, 165, 80, 28, [this] { accept(); });
    ok->setDefault(true);
    MakeButton(this, QStringLiteral("取消"), 180, 165, 80, 28, [this] { reject(); });
    edtOld_->setFocus();
}

TPwdInput TfrmPwd::Input() const { return {edtOld_->text(), edtNew_->text(), edtConfirm_->text()}; }

// ---- TfrmMain ---------------------------------------------------------------------------

TfrmMain::TfrmMain(TDM& dm, const TAppPaths& paths, QWidget* parent)
    : QMainWindow(parent), dm_(dm), paths_(paths), backupSettings_(ReadBackupSettings(paths.StationIni())) {}

void TfrmMain::BuildUI() {
    setWindowTitle(QStringLiteral("Movelkar  ") + kVersion);
    resize(1010, 600);
    ApplyFormFont(this);
    CentreOnScreen(this);
    BuildMenus();
    BuildBoard();
    BuildStatusBar();
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &TfrmMain::Tick);
    timer_->start();
    dm_.WriteLog(QStringLiteral("登录"), "T_User", Session.LoginName, Session.Role);
    daily_ = std::make_unique<TDailyBackup>(dm_, paths_.BackupDir(), backupSettings_.Keep);
    background_ = new TBackgroundBackup(dm_.Config(), this);
    connect(background_, &TBackgroundBackup::Finished, this, &TfrmMain::BackupFinished);
    // The first login of the day copies the data as it stood before the day's work.
    if (backupSettings_.Auto && daily_->DueAtLogin())
        background_->Start(paths_.BackupDir(), daily_->Now(), backupSettings_.Keep);
    ShowBackupStatus();
}

void TfrmMain::BuildMenus() {
    QMenu* system = menuBar()->addMenu(QStringLiteral("系统(&S)"));
    system->addAction(QStringLiteral("修改密码"), this, [this] { RunGuarded([this] { DoPwd(); }); });
    system->addAction(QStringLiteral("数据备份"), this, [this] { RunGuarded([this] { DoBackup(); }); });
    if (ActionAllowed(Session, TAction::Restore))
        system->addAction(QStringLiteral("数据恢复"), this, [this] { RunGuarded([this] { DoRestore(); }); });
    if (Session.IsAdmin())
        system->addAction(QStringLiteral("地磅设置"), this, [this] { RunGuarded([this] { OpenScaleSettings(dm_, this); }); });
    system->addSeparator();
    system->addAction(QStringLiteral("退出系统"), this, [this] { DoExit(); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->addAction(QStringLiteral("关于本系统"), this, [this] { DoAbout(); });
}

void TfrmMain::BuildBoard() {
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* board = new QWidget(scroll);
    auto* grid = new QGridLayout(board);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);

    QFont titleFont(kSongFamily, 9);
    titleFont.setBold(true);
    std::array<QGridLayout*, kGroups.size()> groupButtons{};
    for (size_t g = 0; g < kGroups.size(); ++g) {
        auto* group = new QGroupBox(QStringLiteral("  %1  ").arg(QString::fromUtf8(kGroups[g])), board);
        group->setFont(titleFont);
        groupButtons[g] = new QGridLayout(group);
        groupButtons[g]->setContentsMargins(10, 14, 10, 10);
        // Four groups in the first row, the reports and the system functions below them.
        const int row = g < 4 ? 0 : 1;
        const int column = g < 4 ? int(g) : int(g) - 4;
        grid->addWidget(group, row, column, Qt::AlignTop);
    }
    // Stated outright, or the buttons would inherit the bold of their group's title.
    QFont buttonFont(kSongFamily, 9);
    buttonFont.setBold(false);
    std::array<int, kGroups.size()> placed{};
    for (const TBoardButton& b : kBoard) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), board);
        button->setFont(buttonFont);
        button->setMinimumHeight(32);
        button->setProperty("actionCode", b.code);
        const int code = b.code;
        connect(button, &QPushButton::clicked, this, [this, code] { RunGuarded([this, code] { DoAction(code); }); });
        const int index = placed[size_t(b.group)]++;
        groupButtons[size_t(b.group)]->addWidget(button, index / 2, index % 2);
    }
    for (int c = 0; c < 4; ++c) grid->setColumnStretch(c, 1);
    grid->setRowStretch(2, 1);
    scroll->setWidget(board);
    setCentralWidget(scroll);
}

void TfrmMain::BuildStatusBar() {
    pnlUser_ = new QLabel(QStringLiteral("  当前用户：%1（%2）").arg(Session.UserName, Session.Role), this);
    pnlDate_ = new QLabel(QStringLiteral("  今天：") + QDate::currentDate().toString(QStringLiteral("yyyy年MM月dd日")), this);
    pnlClock_ = new QLabel(this);
    pnlUser_->setMinimumWidth(320);
    pnlDate_->setMinimumWidth(220);
    statusBar()->addWidget(pnlUser_);
    statusBar()->addWidget(pnlDate_);
    statusBar()->addWidget(pnlClock_, 1);
    pnlBackup_ = new QLabel(this);
    statusBar()->addPermanentWidget(pnlBackup_);
}

void TfrmMain::ShowBackupStatus() {
    if (!daily_) return;
    const TBackupStatus status = daily_->Status();
    QString text = status.Text;
    if (background_ && background_->Running()) text += QStringLiteral("（正在自动备份…）");
    pnlBackup_->setText(text + "  ");
    pnlBackup_->setStyleSheet(status.Overdue ? QStringLiteral("color: red;") : QString());
}

void TfrmMain::BackupFinished(const TBackupRun& run) {
    const QString failure = daily_->Record(run);
    ShowBackupStatus();
    if (!failure.isEmpty()) ShowWarn(failure);
}

QString TfrmMain::UserPanelText() const { return pnlUser_->text(); }
QString TfrmMain::DatePanelText() const { return pnlDate_->text(); }
QString TfrmMain::ClockPanelText() const { return pnlClock_->text(); }
QString TfrmMain::BackupPanelText() const { return pnlBackup_->text(); }

void TfrmMain::Tick() {
    pnlClock_->setText("  " + QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"));
}

void TfrmMain::DoAction(int code) {
    if (code == 17) {
        DoPwd();
        return;
    }
    if (code == 18) {
        DoBackup();
        return;
    }
    if (!ButtonAllowed(Session, code)) {
        ShowWarn(ButtonRefusal(Session));
        return;
    }
    OpenWindow(code);
}

// Each opener keeps its window single: a second use raises the open one.
void TfrmMain::OpenWindow(int code) {
    const auto crud = [this](TCrudDef def) {
        def.ReadOnly = Session.ReadOnly;
        OpenCrud(dm_, std::move(def), this);
    };
    switch (code) {
    case 1: crud(DefGrain()); break;
    case 2: crud(DefFeeStd()); break;
    case 3: crud(DefWh()); break;
    case 4: crud(DefEquip()); break;
    case 5: crud(DefOperator()); break;
    case 6: crud(DefFarmer()); break;
    case 12: crud(DefEquipRun()); break;
    case 13: crud(DefEquipMaint()); break;
    case 16: crud(DefUser()); break;
    case 7: OpenBatchList(dm_, this); break;
    case 8: OpenDrying(dm_, this); break;
    case 9: OpenStock(dm_, this); break;
    case 20: OpenStockWarn(dm_, this); break;
    case 10: OpenOutList(dm_, this); break;
    case 11: OpenSettleList(dm_, this); break;
    case 14:
    case 21: OpenReport(dm_, int(TReportKind::Daily), this); break;
    case 22: OpenReport(dm_, int(TReportKind::FarmerStatement), this); break;
    case 23: OpenReport(dm_, int(TReportKind::Loss), this); break;
    case 15: OpenLogViewer(dm_, this); break;
    default:
        // Functions whose windows are not part of this build yet.
        ShowInfo(QStringLiteral("该功能尚未开放"));
        break;
    }
}

std::optional<TPwdInput> TfrmMain::AskPasswords() {
    TfrmPwd dlg(this);
    dlg.BuildUI();
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.Input();
}

bool TfrmMain::DoPwd() {
    const std::optional<TPwdInput> input = AskPasswords();
    if (!input) return false;
    const QString refusal = ChangePassword(dm_, Session, input->oldPwd, input->newPwd, input->confirm);
    if (!refusal.isEmpty()) {
        ShowWarn(refusal);
        return false;
    }
    ShowInfo(QStringLiteral("密码修改成功"));
    return true;
}

void TfrmMain::DoBackup() {
    const QString refusal = ActionRefusal(Session, TAction::Backup);
    if (!refusal.isEmpty()) {
        ShowWarn(refusal);
        return;
    }
    // The automatic copy may be writing the file of this very second.
    if (const std::optional<TBackupRun> run = background_ ? background_->Wait() : std::nullopt) BackupFinished(*run);
    const QString target = BackupTarget(paths_.BackupDir(), QDateTime::currentDateTime());
    try {
        QDir().mkpath(paths_.BackupDir());
        dm_.BackupTo(target);
    } catch (const TDbError& e) {
        if (dm_.Config().IsPostgres())
            ShowWarn(QStringLiteral("备份失败，请稍后重试。\r\n原因：") + e.Message());
        else
            ShowWarn(QStringLiteral("备份失败，请关闭其他占用数据库的程序后重试。\r\n也可直接复制 ") + NativeDbName() +
                     QStringLiteral(" 文件进行备份。\r\n原因：") + e.Message());
        return;
    }
    dm_.WriteLog(QStringLiteral("数据备份"), "T_User", {}, target);
    ShowBackupStatus();
    const QString note = PhotoBackupNote(PhotoRoot(dm_), PhotoFolderNamed());
    ShowInfo(QStringLiteral("数据已备份到：") + target + (note.isEmpty() ? QString() : QStringLiteral("\r\n") + note));
}

void TfrmMain::DoRestore() {
    if (background_ && background_->Running()) {
        ShowWarn(QStringLiteral("正在自动备份，请等备份完成后再恢复"));
        return;
    }
    // The other windows read through the connection the restore closes.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!OpenRestore(dm_, paths_, this)) return;
    restart_ = true;
    close();
}

void TfrmMain::DoAbout() {
    ShowInfo(QStringLiteral("Movelkar\r\n版本: ") + kVersion +
             QStringLiteral("\r\n功能：收粮登记 → 烘干作业 → 入仓 → 出库 → 结算 → 台账报表全流程\r\n数据文件夹：") +
             QDir::toNativeSeparators(paths_.AppDir) + QStringLiteral("\r\n") + DatabaseInUse(dm_) +
             QStringLiteral("，建议定期使用“数据备份”\r\n初始管理员：admin / 846，请及时修改密码\r\n"));
}

void TfrmMain::DoExit() { close(); }

void TfrmMain::FormClose() {
    if (closed_) return;
    closed_ = true;
    if (timer_) timer_->stop();
    if (daily_) {
        QString failure;
        if (const std::optional<TBackupRun> run = background_->Wait()) failure = daily_->Record(*run);
        // A day's work is not left without a copy; after a restore the data is the copy itself.
        if (!restart_ && backupSettings_.Auto && daily_->DueAtExit()) {
            const QString exitFailure = daily_->Record(daily_->RunNow());
            if (failure.isEmpty()) failure = exitFailure;
        }
        if (!failure.isEmpty()) ShowWarn(failure);
    }
    dm_.WriteLog(QStringLiteral("退出"), "T_User", Session.LoginName, {});
    // The business windows end with the session that opened them.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}
