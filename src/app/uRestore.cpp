#include "app/uRestore.h"

#include "app/uDataDir.h"

#include "data/uDM.h"
#include "data/uDbInit.h"
#include "forms/uCtl.h"
#include "forms/uMsg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

QString SizeText(qint64 bytes) {
    if (bytes >= 1024 * 1024) return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
    return QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
}

QString FaultText(const TDbHealth& h) {
    switch (h.Fault) {
    case TDbFault::None: return QStringLiteral("完好");
    case TDbFault::MissingTables: return QStringLiteral("缺少数据表：") + h.Detail;
    case TDbFault::Busy: return QStringLiteral("正被其他程序占用");
    default: return QStringLiteral("损坏：") + h.Detail;
    }
}
}  // namespace

QString TBackupEntry::CheckText() const { return FaultText(Check); }

TRestoreLogic::TRestoreLogic(TDM& dm, TAppPaths paths, TClock clock)
    : dm_(dm), paths_(std::move(paths)), clock_(std::move(clock)) {}

QString TRestoreLogic::Refusal(const TSession& s) const {
    return ActionRefusal(s, TAction::Restore);
}

QString TRestoreLogic::ServerSteps(const TDbConfig& config) {
    return QStringLiteral("本站的数据在数据库服务器上（") + config.Describe() +
           QStringLiteral("），不能在程序里直接恢复。请技术人员按以下步骤操作：\r\n"
                          "1. 让所有电脑退出本程序；\r\n"
                          "2. 在服务器上新建一个空的 schema（或清空原 schema 前先另存一份）；\r\n"
                          "3. 运行 movelkar-copy-db Backup/Movelkar_年月日_时分秒.mdb postgresql:新schema，"
                          "工具会逐行核对，结果一致才算完成；\r\n"
                          "4. 把各电脑 Movelkar.ini 中 [database] 的 schema 改为新的 schema，再启动本程序。");
}

QList<TBackupFile> TRestoreLogic::Copies() const { return ListBackups(paths_.BackupDir()); }

TDbHealth TRestoreLogic::CheckCopy(const QString& path) { return CheckBackupCopy(path, SchemaTables(MovelkarSchema())); }

QList<TBackupEntry> TRestoreLogic::List() const {
    QList<TBackupEntry> entries;
    for (const TBackupFile& f : Copies()) entries.append({f, CheckCopy(f.Path)});
    return entries;
}

TRestoreResult TRestoreLogic::Restore(const QString& backupPath, const TSession& who) {
    TRestoreResult result;
    const QString name = QFileInfo(backupPath).fileName();
    const TDbHealth check = CheckCopy(backupPath);
    if (!check.Healthy()) {
        result.Message = QStringLiteral("备份文件没有通过检查，没有恢复，现在的数据没有改动：") + name +
                         QStringLiteral("\r\n（") + FaultText(check) + QStringLiteral("）\r\n请选择其他备份。");
        return result;
    }
    const QString db = paths_.DbPath();
    const QString dataDir = QFileInfo(db).absolutePath();
    // The copy is made beside the database first, so that putting it in place is one rename.
    const QString incoming = QDir(dataDir).filePath(QStringLiteral("Movelkar_恢复中.tmp"));
    QFile::remove(incoming);
    if (!QFile::copy(backupPath, incoming)) {
        QFile::remove(incoming);
        result.Message = QStringLiteral("无法把备份复制到数据文件夹（磁盘可能已满或不能写入），现在的数据没有改动。");
        return result;
    }
    const QString at = clock_().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    const QString aside = QDir(dataDir).filePath(QStringLiteral("Movelkar_恢复前_") + at + QStringLiteral(".mdb"));
    dm_.Close();
    const auto giveUp = [&](const QString& message) {
        QFile::remove(incoming);
        dm_.Connect();
        result.Message = message;
        return result;
    };
    if (QFile::exists(aside) || !QFile::rename(db, aside))
        return giveUp(QStringLiteral("无法把现在的数据库另存为 ") + Native(aside) + QStringLiteral("，没有恢复，现在的数据没有改动。"));
    if (!QFile::rename(incoming, db)) {
        QFile::rename(aside, db);
        return giveUp(QStringLiteral("无法把备份放到 ") + Native(db) + QStringLiteral("，没有恢复，现在的数据没有改动。"));
    }
    // The full check of the start-up looks at the restored file afresh.
    QFile::remove(FullCheckMarkerPath(db));
    OpenToGroup(db);
    dm_.Connect();
    dm_.WriteLog(QStringLiteral("数据恢复"), "T_User", {},
                 QStringLiteral("从备份 %1 恢复；恢复前的数据库另存为 %2；操作人：%3（%4）")
                     .arg(name, QFileInfo(aside).fileName(), who.UserName, who.LoginName));
    result.Ok = true;
    result.Aside = Native(aside);
    result.Message = QStringLiteral("数据已从备份恢复：") + name + QStringLiteral("\r\n恢复前的数据库另存为：") +
                     Native(aside) + QStringLiteral("\r\n程序将回到登录窗口。");
    return result;
}

// ---- TfrmRestore --------------------------------------------------------------------------

TfrmRestore::TfrmRestore(TDM& dm, const TAppPaths& paths, QWidget* parent)
    : QDialog(parent), logic_(dm, paths) {}

TfrmRestore::~TfrmRestore() { StopChecks(); }

void TfrmRestore::StopChecks() {
    stop_ = true;
    if (checker_.joinable()) checker_.join();
    stop_ = false;
}

void TfrmRestore::BuildUI() {
    setWindowTitle(QStringLiteral("数据恢复"));
    resize(560, 400);
    ApplyFormFont(this);
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(QStringLiteral("选择一个备份，恢复到它做成时的数据。现在的数据库会另存一份，不会删除；"
                                           "恢复后程序回到登录窗口，备份之后做的业务需要补录。"),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    grid_ = new QTableWidget(this);
    grid_->setColumnCount(3);
    grid_->setHorizontalHeaderLabels({QStringLiteral("备份时间"), QStringLiteral("大小"), QStringLiteral("检查结果")});
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grid_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* restore = new QPushButton(QStringLiteral("恢复所选备份"), this);
    connect(restore, &QPushButton::clicked, this, [this] { RunGuarded([this] { DoRestore(); }); });
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(restore);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    CentreOnScreen(this);
    Fill();
}

void TfrmRestore::Fill() {
    StopChecks();
    entries_.clear();
    for (const TBackupFile& f : logic_.Copies()) {
        TBackupEntry e{f, {}};
        e.Check.Fault = TDbFault::Busy;  // not known until checked
        entries_.append(e);
    }
    grid_->setRowCount(int(entries_.size()));
    for (int r = 0; r < entries_.size(); ++r) {
        const TBackupEntry& e = entries_.at(r);
        grid_->setItem(r, 0, new QTableWidgetItem(e.File.MadeAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        auto* size = new QTableWidgetItem(SizeText(e.File.Size));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid_->setItem(r, 1, size);
        grid_->setItem(r, 2, new QTableWidgetItem(QStringLiteral("检查中…")));
    }
    grid_->resizeColumnsToContents();
    grid_->horizontalHeader()->setStretchLastSection(true);
    if (!entries_.isEmpty()) grid_->selectRow(0);
    QStringList paths;
    for (const TBackupEntry& e : entries_) paths << e.File.Path;
    checker_ = std::thread([this, paths] {
        for (int r = 0; r < paths.size() && !stop_; ++r) {
            const TDbHealth check = TRestoreLogic::CheckCopy(paths.at(r));
            QMetaObject::invokeMethod(this, [this, r, check] { ShowCheck(r, check); }, Qt::QueuedConnection);
        }
    });
}

void TfrmRestore::ShowCheck(int row, const TDbHealth& check) {
    if (row >= entries_.size()) return;
    entries_[row].Check = check;
    auto* item = new QTableWidgetItem(entries_.at(row).CheckText());
    if (!check.Healthy()) item->setForeground(Qt::red);
    grid_->setItem(row, 2, item);
}

void TfrmRestore::DoRestore() {
    const int row = grid_->currentRow();
    if (row < 0 || row >= entries_.size()) {
        ShowWarn(entries_.isEmpty() ? QStringLiteral("Backup 文件夹中没有备份") : QStringLiteral("请先选择一个备份"));
        return;
    }
    const TBackupEntry& e = entries_.at(row);
    if (!AskYesNo(QStringLiteral("确定要把数据恢复到 ") + e.File.MadeAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                      QStringLiteral(" 的备份吗？\r\n这之后录入的业务将不在恢复后的数据里（现在的数据库会另存一份）。"),
                  TDefaultAnswer::No))
        return;
    const TRestoreResult result = logic_.Restore(e.File.Path, Session);
    if (!result.Ok) {
        ShowWarn(result.Message);
        Fill();
        return;
    }
    restored_ = true;
    ShowInfo(result.Message);
    accept();
}

bool OpenRestore(TDM& dm, const TAppPaths& paths, QWidget* parent) {
    TRestoreLogic logic(dm, paths);
    if (const QString refusal = logic.Refusal(Session); !refusal.isEmpty()) {
        ShowWarn(refusal);
        return false;
    }
    if (dm.Config().IsPostgres()) {
        ShowInfo(TRestoreLogic::ServerSteps(dm.Config()));
        return false;
    }
    TfrmRestore dlg(dm, paths, parent);
    dlg.BuildUI();
    dlg.exec();
    return dlg.Restored();
}
