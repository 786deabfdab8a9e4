// One load of wet rice walked through the real windows by the people who handle it: the
// administrator sets up the staff, the weigher weighs it in, the operator dries it in two rounds,
// the weigher hands it out, finance settles it in two payments, the administrator checks the
// books and a query-only user can change nothing; then a station with a weighbridge and cameras,
// and the administrator's way back to yesterday's copy. Every dialog is worked with the mouse and
// the keyboard, as a person at the screen does: buttons found by their caption, boxes by the
// label beside them, grid columns by their heading, Chinese typed through the input method;
// message boxes are answered by the test prompter.

#include "scale/FakeIndicator.h"
#include "scale/ScaleStation.h"
#include "scale/uPhoto.h"
#include "scale/uScaleSet.h"
#include "support/FakeCamera.h"
#include "support/TestCentre.h"
#include "support/TestIntegrity.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include "app/uAutoBackup.h"
#include "app/uLocale.h"
#include "app/uLogin.h"
#include "app/uMain.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {
using TFields = std::initializer_list<std::pair<QString, QString>>;

// Chinese comes through an input method, which hands the widget whole committed words.
void Commit(QWidget* w, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(w, &commit);
}

void Type(QWidget* w, const QString& text) {
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) return QTest::keyClick(w, Qt::Key_Delete);
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
        return QTest::keyClicks(w, text);
    Commit(w, text);
}

QPushButton* ButtonOf(QWidget* window, const QString& caption) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

// The input box to the right of the label with exactly this caption.
QWidget* FieldOf(QWidget* form, const QString& label) {
    for (QLabel* l : form->findChildren<QLabel*>()) {
        if (l->text() != label) continue;
        const QRect at = l->geometry();
        QWidget* nearest = nullptr;
        for (QWidget* w : l->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect g = w->geometry();
            // A box stands on the label's line: level with it, or starting there when it is tall.
            const bool level = g.center().y() >= at.top() - 8 && g.center().y() <= at.bottom() + 8;
            const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
                               qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QPlainTextEdit*>(w);
            if (!input || g.left() < at.left() || !(level || std::abs(g.top() - at.top()) <= 8)) continue;
            if (!nearest || g.left() < nearest->geometry().left()) nearest = w;
        }
        return nearest;
    }
    return nullptr;
}

// Clicks the button; a missing or disabled button fails the test.
void Click(QWidget* window, const QString& caption) {
    QPushButton* b = ButtonOf(window, caption);
    if (!b) return ADD_FAILURE() << "no button " << qPrintable(caption) << " in " << qPrintable(window->windowTitle());
    EXPECT_TRUE(b->isEnabled()) << qPrintable(caption) << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}

// Fills the boxes beside the labels in order: a list by typing the start of its item, a date
// picker with "yyyy-MM-dd HH:mm", any other box by Ctrl+A and the keys (an empty text clears it).
void Fill(QWidget* form, TFields fields) {
    for (const auto& [label, text] : fields) {
        QWidget* w = FieldOf(form, label);
        auto* combo = qobject_cast<QComboBox*>(w);
        if (!w) {
            ADD_FAILURE() << "no box beside " << qPrintable(label);
        } else if (auto* picker = qobject_cast<QDateTimeEdit*>(w)) {
            picker->setDateTime(QDateTime::fromString(text, "yyyy-MM-dd HH:mm"));
        } else if (combo && !combo->lineEdit()) {
            combo->setFocus();
            // A list matches what was typed in one breath; the empty search stands for the pause before.
            combo->view()->keyboardSearch({});
            Commit(combo, text);
            EXPECT_TRUE(combo->currentText().startsWith(text)) << qPrintable(label) << " shows " << qPrintable(combo->currentText());
        } else {
            Type(combo ? combo->lineEdit() : w, text);
        }
    }
}

QString TextOf(QWidget* form, const QString& label) {
    QWidget* w = FieldOf(form, label);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) return s->text();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    ADD_FAILURE() << "no box beside " << qPrintable(label);
    return {};
}

void ExpectShown(QWidget* form, TFields fields) {
    for (const auto& [label, text] : fields) EXPECT_EQ(TextOf(form, label), text) << qPrintable(label);
}

// The index-th grid a window shows, from the top down.
QTableView* GridOf(QWidget* window, int index = 0) {
    QList<QTableView*> grids;
    for (QTableView* g : window->findChildren<QTableView*>())
        if (g->isVisibleTo(window)) grids << g;
    std::ranges::sort(grids, {}, [window](QTableView* g) { return g->mapTo(window, QPoint()).y(); });
    return grids.value(index);
}

QStringList ColumnOf(QTableView* grid, const QString& heading) {
    const QAbstractItemModel* m = grid->model();
    QStringList texts;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == heading) {
            for (int r = 0; r < m->rowCount(); ++r) texts << m->index(r, c).data().toString();
            return texts;
        }
    ADD_FAILURE() << "no column " << qPrintable(heading);
    return texts;
}

// Runs `open`, which shows a modal dialog and waits in it, while `act` works the dialog. A dialog
// that never appears, or is still open after ten seconds, fails the test and is closed.
void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act) {
    bool acted = false;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg || acted) return;
        acted = true;
        poll.stop();
        act(*dlg);
    });
    QObject::connect(&limit, &QTimer::timeout, [&] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "dialog still open: " << qPrintable(stuck->windowTitle());
            stuck->close();
        }
    });
    poll.start(5);
    limit.start(10000);
    open();
    EXPECT_TRUE(acted) << "no dialog appeared";
}

// Pictures of the windows for the user guide, taken only when MOVELKAR_SCREENSHOTS names their folder.
bool ShotsOn() { return !qEnvironmentVariable("MOVELKAR_SCREENSHOTS").isEmpty(); }
QString ShotPath(const QString& name) {
    QDir dir(qEnvironmentVariable("MOVELKAR_SCREENSHOTS"));
    return dir.mkpath(".") ? dir.filePath(name) : QString();
}

void Shot(QWidget* window, const QString& name) {
    if (!ShotsOn()) return;
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(ShotPath(name + ".png"))) << qPrintable(name);
}

void ShotPdfPage(const QString& pdfPath, const QString& name) {
    if (!ShotsOn()) return;
    const QStringList args{"-png", "-r", "80", "-f", "1", "-l", "1", "-singlefile", pdfPath, ShotPath(name)};
    EXPECT_EQ(QProcess::execute("pdftoppm", args), 0) << "pdftoppm " << qPrintable(pdfPath);
}

// A window of its own (a message box, a file dialog), shown, taken and closed.
void ShotShown(QWidget* window, const QString& name) {
    if (!ShotsOn()) return;
    window->show();
    QTest::qWait(300);  // a file dialog reads its folder in the background before it lists it
    Shot(window, name);
    window->close();
}

struct TStaff {
    QString login, name, role, pwd;
};
const TStaff kAdmin{"admin", "系统管理员", "管理员", "846"}, kWeigher{"zhaosb", "赵司磅", "司磅员", "111"},
    kOperator{"wangcz", "王师傅", "操作工", "222"}, kFinance{"liucw", "刘会计", "财务", "333"},
    kViewer{"chencx", "陈查询", "查询员", "444"};

// The road's world: the centre's database, the prompter and whoever is logged in. The load's day
// runs from 08:30 to 20:00: today once that is over, else yesterday, so every time typed is past.
struct TRoad {
    TRoad() {
        // The application's own look: Simplified glyphs, and Qt's own buttons and dialogs in Chinese.
        const bool chinese = InstallChineseInterface(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        if (ShotsOn()) EXPECT_TRUE(chinese) << "Qt's Chinese translations (qt6-translations-l10n) are missing";
    }
    ~TRoad() { SignOut(); }

    TTestCentre c;
    TTestPrompter prompter;
    std::unique_ptr<TfrmMain> main;
    const QDate today = QDate::currentDate();
    const QString day = (QTime::currentTime() >= QTime(20, 30) ? today : today.addDays(-1)).toString("yyyy-MM-dd");
    QString batchNo;

    QString At(const QString& hhmm) const { return day + " " + hhmm; }
    QString No(const QString& prefix, int seq) const {
        return prefix + today.toString("yyyyMMdd") + QString::number(seq).rightJustified(3, '0');
    }
    QString File(const QString& name) const { return c.paths().AppDir + name; }

    // Logs in through the real login dialog and opens the main window, as start-up does.
    void SignIn(const TStaff& who, const QString& shot = {}) {
        SignOut();
        bool in = false;
        WithDialog([&] { in = RunLogin(c.dm()); },
                   [&](QDialog& d) {
                       Fill(&d, {{"用户名：", who.login}, {"密  码：", who.pwd}});
                       if (!shot.isEmpty()) Shot(&d, shot);
                       QTest::keyClick(FieldOf(&d, "密  码："), Qt::Key_Return);
                   });
        ASSERT_TRUE(in && Session.UserName == who.name && Session.Role == who.role) << qPrintable(prompter.LastText());
        c.dm().SetLogUser(Session.LoginName);
        main = std::make_unique<TfrmMain>(c.dm(), c.paths());
        main->BuildUI();
        main->show();
    }
    void SignOut() {
        if (main) main->close();
        main.reset();
    }
    // Presses a button of the main window's board; the window it opened.
    QWidget* Open(const QString& button, const QString& title) {
        Click(main.get(), button);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == title) return w;
        throw std::runtime_error("no window " + title.toStdString());
    }
    // Works the dialog that the button opens: fills it, checks what it works out, takes its
    // picture and presses `done`.
    void Dialog(QWidget* window, const QString& button, TFields typed, TFields worked, const QString& shot,
                const QString& done) {
        WithDialog([&] { Click(window, button); }, [&](QDialog& d) {
            Fill(&d, typed);
            ExpectShown(&d, worked);
            if (!shot.isEmpty()) Shot(&d, shot);
            Click(&d, done);
        });
    }
};

void AdministratorSetsUpStaffAndFarmer(TRoad& r) {
    r.SignIn(kAdmin, "01-login");
    if (ShotsOn()) QTest::qWait(1100);  // the clock shows after its first second
    Shot(r.main.get(), "02-main");
    QWidget* users = r.Open("用户权限", "系统用户管理");
    for (const TStaff& s : {kWeigher, kOperator, kFinance, kViewer})
        r.Dialog(users, "新增", {{"登录名 *", s.login}, {"姓名", s.name}, {"角色 *", s.role}, {"密码 *", s.pwd}, {"再输一次", s.pwd}}, {},
                 s.login == kWeigher.login ? "16-user-new" : "", "确定保存");
    // Passwords are kept only as hashes; each is checked when its user signs in below.
    EXPECT_EQ(r.c.rows("SELECT LoginName,Pwd,substr(PwdHash,1,9),IsActive FROM T_User WHERE UserID>1 ORDER BY UserID"),
              "zhaosb//$argon2id/-1; wangcz//$argon2id/-1; liucw//$argon2id/-1; chencx//$argon2id/-1");
    Shot(users, "15-users");
    r.Dialog(r.Open("农户/客户档案", "农户/客户档案"), "新增",
             {{"姓名/客户 *", "李四"}, {"电话", "13900001111"}, {"村组/单位", "东风村三组"}, {"客户类型", "农户代烘"}}, {},
             "17-farmer-new", "确定保存");
    EXPECT_EQ(r.c.rows("SELECT Name,Phone,Village,CustType,Blacklist FROM T_Farmer"), "李四/13900001111/东风村三组/农户代烘/0");
}

// The weighing ticket as printed: the number, the plate, each weight with where it came from.
void ExpectTicket(const QString& pdf, const QString& batchNo, const QString& plate, const QString& gross,
                  const QString& tare, const QString& weigher) {
    const QString page = PdfPages(pdf).value(0);
    for (const QString& line : {QString("收粮磅单"), "批次号：" + batchNo, "车牌号：" + plate, "毛重\\s+" + gross, "皮重\\s+" + tare,
                                "司磅员：" + weigher})
        EXPECT_TRUE(page.contains(QRegularExpression(line))) << qPrintable(line) << "\n" << qPrintable(page);
}

void WeigherRegistersTheLoad(TRoad& r) {
    r.SignIn(kWeigher);
    QWidget* ledger = r.Open("收粮入库登记", "收粮入库登记");
    // No weighbridge at this station: the weights are typed, and the driver still gets his ticket.
    const QString ticket = r.File("ticket.pdf");
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(ticket);
    // The operator's shift, the net weight and the fee are worked out as the weigher types.
    r.Dialog(ledger, "新增登记",
             {{"登记时间：", r.At("08:30")}, {"车牌号：", "苏C88631"}, {"农户/客户 *：", "李四"}, {"粮种 *：", "稻谷"},
              {"操作员：", "甲师傅"}, {"湿粮仓位 *：", "湿粮暂存区"}, {"入库水分(%)：", "18.5"}, {"杂质(%)：", "1.2"},
              {"毛重(公斤)：", "12000"}, {"皮重(公斤)：", "2000"}, {"粮质备注：", "籽粒饱满，含水偏高"}},
             {{"班组：", "早班"}, {"湿粮净重(公斤)：", "10000"}, {"预计烘干费(元)：", "1480.00"}}, "03-intake", "保存登记");
    r.batchNo = r.No("PC", 1);
    EXPECT_EQ(r.prompter.Questions, QStringList{"磅单已生成，是否立即打印？"});
    ExpectTicket(ticket, r.batchNo, "苏C88631", "12000\\s+手工录入", "2000\\s+手工录入", kWeigher.name);
    ShotPdfPage(ticket, "ticket-typed");
    EXPECT_EQ(r.c.rows("SELECT BatchNo,Status,CarNo,InMoisture,WetNetWt,EstFee,Team,QualityMemo FROM T_Batch"),
              r.batchNo + "/待烘干/苏C88631/18.5/10000/1480/早班/籽粒饱满，含水偏高");
    Shot(ledger, "18-intake-ledger");
}

void OperatorDriesInTwoRounds(TRoad& r) {
    r.SignIn(kOperator);
    QWidget* drying = r.Open("烘干批次作业", "烘干批次作业管理");
    r.Dialog(drying, "派工上机",
             {{"烘干机 *：", "HG-001"}, {"湿粮仓位 *：", "湿粮暂存区"}, {"上机时间 *：", r.At("09:00")}, {"操作工：", "甲师傅"}}, {},
             "19-dispatch", "确认派工上机");
    // Round 1 comes out too wet and goes round again; round 2 is dry, into the first dry store.
    r.prompter.Clear();
    r.prompter.AnswerYes(2);
    r.Dialog(drying, "结束本轮",
             {{"下机时间 *：", r.At("13:00")}, {"烘后水分(%) *：", "16.8"}, {"烘后净重(公斤)*：", "9780"}, {"异常记录：", "水分偏高，返烘"}},
             {{"烘干时长(小时)：", "4.0"}, {"损耗重量(公斤)：", "220"}, {"损耗率(%)：", "2.20"}}, {}, "不达标，返烘");
    r.Dialog(drying, "结束本轮",
             {{"下机时间 *：", r.At("17:00")}, {"烘后水分(%) *：", "14.0"}, {"烘后净重(公斤)*：", "9450"}, {"入干粮仓位 *：", "1号干粮仓"}},
             {{"损耗重量(公斤)：", "550"}, {"损耗率(%)：", "5.50"}}, "05-dry-end", "水分合格，确认入仓");
    const QString passed = "确认第 2 轮烘干合格并入仓？干粮净重 9450.0 公斤";
    EXPECT_EQ(r.prompter.Questions, QStringList({"第 1 轮不达标，确认生成第 2 轮返烘作业单？", passed}));
    QMessageBox question(QMessageBox::Question, "确认", passed, QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::Yes);
    ShotShown(&question, "12-question");  // as the station shows it, Chinese buttons and all
    EXPECT_EQ(r.c.rows("SELECT Round,OutMoisture,DryNetWt,LossWt,AbnormalMemo FROM T_Drying ORDER BY Round"),
              "1/16.8/9780/220/水分偏高，返烘; 2/14/9450/550/");
    // The queue is empty now; the whole list shows the batch in store after two rounds.
    Fill(drying, {{"视图:", "全部批次"}});
    EXPECT_EQ(ColumnOf(GridOf(drying), "烘干轮次"), QStringList{"2"});
    Shot(drying, "04-drying");
}

void WeigherHandsTheGrainOut(TRoad& r) {
    r.SignIn(kWeigher);
    QWidget* ledger = r.Open("粮食出库", "粮食出库管理");
    const auto handOut = [&](const char* type, const QString& at, const char* kg, const char* to, const QString& shot) {
        r.Dialog(ledger, "新增出库",
                 {{"出库类型 *：", type}, {"出库时间 *：", at}, {"出库净重(公斤)*：", kg}, {"去向：", to}, {"司机：", "李四"},
                  {"车牌号：", "苏C88631"}},
                 {}, shot, "确认出库");
    };
    // The first load goes home with the farmer and its slip is printed at once; the rest is sold
    // on, its slip printed later from the ledger.
    const QString slip = r.File("out1.pdf"), slip2 = r.File("out2.pdf"), out1 = r.No("CK", 1), out2 = r.No("CK", 2);
    r.prompter.Clear();
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(slip);
    handOut("农户自提", r.At("18:00"), "5000", "李四家", "07-outbound");
    EXPECT_EQ(r.prompter.Questions, QStringList{"出库单已保存，是否立即打印？"});
    EXPECT_TRUE(PdfPages(slip).value(0).contains(out1) && PdfPages(slip).value(0).contains("5000.0 公斤"));
    QWidget* stock = r.Open("粮仓库存", "粮仓库存管理");
    EXPECT_EQ(ColumnOf(GridOf(stock), "剩余数量"), QStringList{"4450"});
    Shot(stock, "06-stock");
    stock->close();
    r.prompter.AnswerNo();
    handOut("对外销售", r.At("19:00"), "4450", "县粮食储备库", {});
    r.prompter.AnswerPrintTo(slip2);
    Click(ledger, "打印出库单");
    EXPECT_TRUE(PdfPages(slip2).value(0).contains(out2));
    EXPECT_EQ(r.c.rows("SELECT OutNo,OutType,OutWt FROM T_Outbound ORDER BY OutNo"),
              out1 + "/农户自提/5000; " + out2 + "/对外销售/4450");
    Shot(ledger, "20-out-ledger");
    ShotPdfPage(slip, "11-out-slip");
    r.prompter.AnswerSaveAs(r.File("out.csv"));
    Click(ledger, "导出CSV");
    ASSERT_TRUE(QFile::exists(r.File("out.csv")));
    if (!ShotsOn()) return;
    // The file dialog in a folder of the same name on every run, holding the file just saved.
    QDir folder(QDir::temp().filePath("Movelkar"));
    const QString proposed = folder.filePath(r.prompter.ProposedFileNames.value(0));
    folder.removeRecursively();
    folder.mkpath(".");
    QFile::copy(r.File("out.csv"), proposed);
    QFileDialog save(ledger, QString(), proposed, "CSV文件 (*.csv)");
    save.setOptions(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    save.setViewMode(QFileDialog::List);
    ShotShown(&save, "13-save-file");
}

void FinanceSettlesInTwoPayments(TRoad& r) {
    r.SignIn(kFinance);
    QWidget* ledger = r.Open("费用结算", "烘干费用结算管理");
    const QString js = r.No("JS", 1), slip = r.File("settle.pdf");
    const QString settled = "SELECT SettleNo,TotalFee,PaidAmt,DebtAmt,s.Status,b.Status FROM T_Settle s JOIN T_Batch b USING(BatchNo)";
    r.prompter.Clear();
    r.prompter.AnswerNo();
    // 10 t at 120 yuan, 3.5 points over 15% at 8 yuan a ton, one re-dry at half the base fee.
    r.Dialog(ledger, "结算/修改", {{"本次收款：", "1000"}, {"备注：", "余款秋收后结清"}, {"结算时间：", r.At("20:00")}},
             {{"基础烘干费：", "1200.00"}, {"超水分加价：", "280.00"}, {"仓储堆放费：", "0.00"}, {"二次返烘费：", "600.00"},
              {"其他杂费：", "0.00"}, {"费用合计：", "2080.00"}, {"此前已收：", "0.00"}, {"累计收款：", "1000.00"},
              {"欠款金额：", "1080.00"}},
             "08-settle", "保存结算");
    EXPECT_EQ(r.c.rows(settled), js + "/2080/1000/1080/部分欠款/待结算");
    EXPECT_EQ(ColumnOf(GridOf(ledger), "欠款金额"), QStringList{"1080.00"});

    // The farmer pays the rest: the cashier types today's money only, slips onto Esc and keeps
    // what was typed; the same settlement is brought up to date and printed.
    r.prompter.AnswerNo();
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(slip);
    WithDialog([&] { Click(ledger, "结算/修改"); }, [&](QDialog& d) {
        ExpectShown(&d, {{"此前已收：", "1000.00"}, {"本次收款：", "0"}});
        Fill(&d, {{"本次收款：", "1080"}});
        ExpectShown(&d, {{"累计收款：", "2080.00"}, {"欠款金额：", "0.00"}});
        EXPECT_TRUE(std::ranges::any_of(d.findChildren<QLabel*>(), [](QLabel* l) { return l->text() == "保存后结算状态：已结清"; }));
        Shot(&d, "08b-settle-rest");
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "the typed payment is kept";
        EXPECT_EQ(TextOf(&d, "本次收款："), "1080");
        Click(&d, "保存结算");
    });
    EXPECT_EQ(r.prompter.Questions,
              QStringList({"结算已保存，是否立即打印结算单？", "放弃已输入的内容？", "结算已保存，是否立即打印结算单？"}));
    EXPECT_EQ(r.c.rows(settled), js + "/2080/2080/0/已结清/已完结");
    EXPECT_EQ(ColumnOf(GridOf(ledger), "结算状态"), QStringList{"已结清"});
    const QStringList pages = PdfPages(slip);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(js) && pages[0].contains("2080.00") && pages[0].contains("已结清")) << qPrintable(pages[0]);
    Shot(ledger, "21-settle-ledger");
    ShotPdfPage(slip, "22-settle-slip");
}

void AdministratorChecksTheBooks(TRoad& r) {
    r.SignIn(kAdmin);
    QWidget* reports = r.Open("报表/溯源中心", "台账报表与溯源中心");
    Fill(reports, {{"批次号:", r.batchNo}});
    // Each report with the figure that tells whether it saw the road.
    for (const auto& [report, heading, figure] : {std::tuple{"每日烘干台账", "出库数量公斤", "9450"}, {"批次全流程溯源", "最终轮次", "2"},
                                                  {"农户对账汇总", "费用合计", "2080"}, {"设备能耗报表", "设备编号", "HG-001"},
                                                  {"烘干损耗分析", "损耗合计公斤", "550"}, {"月度经营汇总", "已收合计", "2080"}}) {
        Fill(reports, {{"报表:", report}});
        Click(reports, "查询");
        EXPECT_EQ(ColumnOf(GridOf(reports), heading), QStringList{figure}) << report;
        if (QString(report) == "农户对账汇总") Shot(reports, "09-report");
    }
    EXPECT_TRUE(r.prompter.Texts().isEmpty()) << qPrintable(r.prompter.LastText());
    QWidget* log = r.Open("操作日志", "系统操作日志");
    Shot(log, "10-log");
    Fill(log, {{"操作:", "出库"}});
    EXPECT_EQ(ColumnOf(GridOf(log), "关联单号"), QStringList({r.No("CK", 2), r.No("CK", 1)}));
    Click(r.main.get(), "数据备份");
    EXPECT_TRUE(r.prompter.LastText().startsWith("数据已备份到：")) << qPrintable(r.prompter.LastText());
}

void QueryUserChangesNothing(TRoad& r) {
    const QString refusal = "当前角色【查询员】无权使用该功能";
    r.SignIn(kViewer);
    Click(r.main.get(), "费用结算");
    EXPECT_EQ(r.prompter.LastText(), refusal);
    QMessageBox box(QMessageBox::Warning, "警告", refusal, QMessageBox::Ok);
    ShotShown(&box, "14-refused");
    // What a query-only user may open, he may only read.
    QWidget* farmers = r.Open("农户/客户档案", "农户/客户档案");
    for (const char* button : {"新增", "编辑", "删除"}) EXPECT_FALSE(ButtonOf(farmers, button)->isEnabled()) << button;
}
}  // namespace

TEST(Road, OneLoadFromTheWeighbridgeToTheSettledSlipThroughTheRealWindows) {
    TRoad r;
    for (auto step : {AdministratorSetsUpStaffAndFarmer, WeigherRegistersTheLoad, OperatorDriesInTwoRounds,
                      WeigherHandsTheGrainOut, FinanceSettlesInTwoPayments, AdministratorChecksTheBooks,
                      QueryUserChangesNothing}) {
        step(r);
        r.SignOut();
        if (testing::Test::HasFatalFailure()) return;
    }
    EXPECT_EQ(IntegrityFaults(r.c.dm()), QStringList());
    EXPECT_EQ(r.c.logActions(), QStringList({"登录", "新增", "新增", "新增", "新增", "新增", "退出",  // the administrator
                                             "登录", "收粮登记", "退出", "登录", "派工上机", "返烘", "烘干入仓", "退出",
                                             "登录", "出库", "出库", "退出", "登录", "结算", "修改结算", "退出",
                                             "登录", "数据备份", "退出", "登录", "退出"}));
}

// A station with a weighbridge and two cameras: the indicator at the end of its cable sends the
// load's weight, and each take photographs the truck from the front and from the side.
TEST(Road, ALoadWeighedThroughTheIndicatorGetsItsTicket) {
    TPtyPair cable;
    ASSERT_FALSE(cable.SlaveName().isEmpty());
    TScaleStation station({.Port = cable.SlaveName(), .Format = TScaleFormat::F1, .StableSeconds = 0.5});
    TFakeCamera front(TFakeCamera::TMode::Jpeg, QColor(40, 90, 160), {1920, 1080});
    TFakeCamera side(TFakeCamera::TMode::Digest, QColor(150, 110, 60), {1280, 960});
    const QString passFile = QFileInfo(station.IniPath()).dir().filePath("camera2.pass");
    QSettings ini(station.IniPath(), QSettings::IniFormat);
    for (const auto& [key, value] : TFields{{"Camera1/name", "车头"}, {"Camera1/url", front.Url()}, {"Camera2/name", "侧面"},
                                            {"Camera2/url", side.Url()}, {"Camera2/user", TFakeCamera::kUser},
                                            {"Camera2/password_file", passFile}})
        ini.setValue(key, value);
    ini.sync();
    ASSERT_EQ(SaveCameraPassword(passFile, TFakeCamera::kPassword), QString());
    TRoad r;
    r.c.addFarmer("李四");
    r.SignIn(kAdmin);
    QWidget* ledger = r.Open("收粮入库登记", "收粮入库登记");
    const QString ticket = r.File("weighed.pdf"), batchNo = r.No("PC", 1);
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(ticket);
    WithDialog([&] { Click(ledger, "新增登记"); }, [&](QDialog& d) {
        cable.ReleaseSlave();
        Fill(&d, {{"车牌号：", "皖ｆ66666"}});
        // The loaded truck rolls on and comes to rest; the indicator sends ten readings a second.
        for (const char* weight : {"003000", "018000", "024400"}) {
            cable.Write(A9Frame(weight));
            QTest::qWait(100);
        }
        for (int i = 0; i < 100 && !ButtonOf(&d, "取毛重")->isEnabled(); ++i) {
            cable.Write(A9Frame("024560"));
            QTest::qWait(100);
        }
        Shot(&d, "scale-dialog");
        Click(&d, "取毛重");
        EXPECT_EQ(TextOf(&d, "毛重(公斤)："), "24560");
        // The pictures come in beside the reading while the weigher goes on.
        const auto photos = [&] { return std::ranges::count_if(d.findChildren<QLabel*>(), [](QLabel* l) { return !l->pixmap().isNull(); }); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return photos() >= 2; }, 10000));
        Shot(&d, "scale-dialog-photos");
        Fill(&d, {{"皮重(公斤)：", "5230"}, {"农户/客户 *：", "李四"}, {"粮种 *：", "稻谷"}, {"湿粮仓位 *：", "湿粮暂存区"}});
        Click(&d, "保存登记");
    });
    EXPECT_EQ(r.c.rows("SELECT CarNo,GrossWt,TareWt,WetNetWt FROM T_Batch"), "皖F66666/24560/5230/19330");
    ExpectTicket(ticket, batchNo, "皖F66666", "24560\\s+地磅", "5230\\s+手工录入", kAdmin.name);
    // Both cameras at both takes (the typed tare photographed at the save): four pictures linked
    // to the batch, and one thumbnail each on the ticket.
    EXPECT_EQ(r.c.batchRows("T_Photo", batchNo, "WtKind, CameraName, Weight"),
              "毛重/车头/24560; 毛重/侧面/24560; 皮重/车头/5230; 皮重/侧面/5230");
    QProcess images;  // pdfimages lists two heading lines, then one line per image
    images.start("pdfimages", {"-list", ticket});
    EXPECT_TRUE(images.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size(), 2 + 4);
    for (const char* take : {"毛重 车头", "毛重 侧面", "皮重 车头", "皮重 侧面"}) EXPECT_TRUE(PdfPages(ticket).value(0).contains(take)) << take;
    ShotPdfPage(ticket, "scale-ticket");
    Shot(ledger, "scale-ledger");
    TfrmScaleSet settings(r.c.dm());
    Shot(&settings, "scale-settings");
}

// The status bar names the last copy, 系统 → 数据恢复 lists the copies with their checks, a
// damaged copy is refused, 否 changes nothing, and 是 puts the chosen copy in place and ends the session.
TEST(Road, AnAdministratorPutsYesterdaysCopyInPlaceFromTheMenu) {
    SKIP_ON_SERVER();
    TTestCentre c;
    TTestPrompter prompter;
    const QDate today = QDate::currentDate();
    const QString backupDir = c.paths().BackupDir();
    const auto farmers = [&] { return c.rows("SELECT Name FROM T_Farmer ORDER BY FarmerID"); };
    c.addFarmer("张三");
    ASSERT_TRUE(MakeBackup(c.dm().Config(), backupDir, QDateTime(today.addDays(-3), QTime(8, 5)), {}).Ok);
    const TBackupRun yesterday = MakeBackup(c.dm().Config(), backupDir, QDateTime(today.addDays(-1), QTime(7, 58)), {});
    const QString damaged = BackupTarget(backupDir, QDateTime(today.addDays(-2), QTime(8, 1)));
    ASSERT_TRUE(yesterday.Ok && QFile::copy(yesterday.Target, damaged));
    ASSERT_TRUE(QFile(damaged).resize(QFile(damaged).size() / 2));
    c.addFarmer("李四");
    TfrmMain main(c.dm(), c.paths());
    main.BuildUI();
    main.show();
    EXPECT_EQ(main.BackupPanelText().trimmed(), "上次备份：" + today.addDays(-1).toString("yyyy-MM-dd") + " 07:58");
    Shot(&main, "23-backup-status");
    const auto restoreRow = [&](QDialog& d, int row, bool yes) {
        GridOf(&d)->setFocus();
        GridOf(&d)->selectRow(row);
        yes ? prompter.AnswerYes() : prompter.AnswerNo();
        Click(&d, "恢复所选备份");
    };
    const auto checks = [](QDialog& d) { return ColumnOf(GridOf(&d), "检查结果"); };
    const QList<QAction*> actions = main.findChildren<QAction*>();
    QAction* restore = *std::ranges::find_if(actions, [](QAction* a) { return a->text() == "数据恢复"; });
    WithDialog([&] { restore->trigger(); },
               [&](QDialog& d) {
                   // The copies are checked one by one after the window opens.
                   EXPECT_TRUE(QTest::qWaitFor([&] { return !checks(d).contains("检查中…"); }, 10000));
                   EXPECT_TRUE(checks(d).size() == 3 && checks(d)[0] == "完好" && checks(d)[1].startsWith("损坏"))
                       << qPrintable(checks(d).join(", "));
                   Shot(&d, "24-restore");
                   restoreRow(d, 1, true);
                   EXPECT_TRUE(prompter.LastText().contains("没有恢复")) << qPrintable(prompter.LastText());
                   restoreRow(d, 0, false);
                   EXPECT_EQ(farmers(), "张三; 李四");
                   restoreRow(d, 0, true);
               });
    EXPECT_TRUE(prompter.LastText().startsWith("数据已从备份恢复")) << qPrintable(prompter.LastText());
    EXPECT_TRUE(main.RestartRequested() && !main.isVisible());
    EXPECT_EQ(farmers(), "张三");
    // The restored log: the copy's own rows, the restore, and the session's end.
    EXPECT_EQ(c.logActions().mid(c.logActions().size() - 2), (QStringList{"数据恢复", "退出"}));
}
