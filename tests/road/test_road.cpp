// One load of wet rice walked through the real windows by the people who handle it: the
// administrator sets up the staff, the weigher weighs it in, the operator dries it in two rounds,
// the weigher hands it out, finance settles it, the administrator checks the books, and a
// query-only user can change nothing. Every dialog is worked with the mouse and the keyboard;
// message boxes are answered by the test prompter.

#include "road/RoadShots.h"
#include "road/RoadUi.h"
#include "support/FakeCamera.h"
#include "scale/FakeIndicator.h"
#include "scale/ScaleStation.h"
#include "scale/uPhoto.h"
#include "scale/uScaleSet.h"
#include "support/TestCentre.h"
#include "support/TestPdf.h"
#include "support/TestPrompter.h"

#include "app/uLocale.h"
#include "app/uLogin.h"
#include "app/uMain.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {
const QString kRefused = QStringLiteral("当前角色【查询员】无权使用该功能");

struct TStaff {
    QString login, name, role, pwd;
};
const TStaff kAdmin{"admin", QStringLiteral("系统管理员"), QStringLiteral("管理员"), "846"};
const TStaff kWeigher{"zhaosb", QStringLiteral("赵司磅"), QStringLiteral("司磅员"), "111"};
const TStaff kOperator{"wangcz", QStringLiteral("王师傅"), QStringLiteral("操作工"), "222"};
const TStaff kFinance{"liucw", QStringLiteral("刘会计"), QStringLiteral("财务"), "333"};
const TStaff kViewer{"chencx", QStringLiteral("陈查询"), QStringLiteral("查询员"), "444"};

// The application's own look: Simplified glyphs, and Qt's own buttons and dialogs in Chinese.
bool LookLikeTheApplication() {
    return InstallChineseInterface(*qobject_cast<QApplication*>(QCoreApplication::instance()));
}

bool Shows(QWidget* window, const QString& text) {
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->text() == text) return true;
    return false;
}

// The road's world: the centre's database, the prompter, the camera and whoever is logged in.
class TRoad {
public:
    TRoad() : today_(QDate::currentDate()), day_(LastWholeWorkingDay().toString("yyyy-MM-dd")) {
        const bool chinese = LookLikeTheApplication();
        if (shots.On()) EXPECT_TRUE(chinese) << "Qt's Chinese translations (qt6-translations-l10n) are missing";
    }
    ~TRoad() { SignOut(); }

    TTestCentre c;
    TTestPrompter prompter;
    TShots shots;
    std::unique_ptr<TfrmMain> main;

    // The load's day runs from 08:30 to 20:00: today once that is over, else yesterday, so that
    // every time typed lies in the past.
    static QDate LastWholeWorkingDay() {
        const QDateTime now = QDateTime::currentDateTime();
        return now.time() >= QTime(20, 30) ? now.date() : now.date().addDays(-1);
    }
    QString At(const QString& hhmm) const { return day_ + " " + hhmm; }
    const QString& Day() const { return day_; }
    QString No(const QString& prefix, int seq) const {
        return prefix + today_.toString("yyyyMMdd") + QString::number(seq).rightJustified(3, '0');
    }
    QString File(const QString& name) const { return c.paths().AppDir + name; }

    // Logs in through the real login dialog and opens the main window, as start-up does.
    void SignIn(const TStaff& who, const QString& shot = {}) {
        SignOut();
        bool in = false;
        WithDialog([&] { in = RunLogin(c.dm()); },
                   [&](QDialog& d) {
                       TypeInto(&d, QStringLiteral("用户名："), who.login);
                       TypeInto(&d, QStringLiteral("密  码："), who.pwd);
                       if (!shot.isEmpty()) shots.Take(&d, shot);
                       QTest::keyClick(FieldOf(&d, QStringLiteral("密  码：")), Qt::Key_Return);
                   });
        ASSERT_TRUE(in) << qPrintable(prompter.LastText());
        c.dm().SetLogUser(Session.LoginName);
        main = std::make_unique<TfrmMain>(c.dm(), c.paths());
        main->BuildUI();
        main->show();
        EXPECT_EQ(main->UserPanelText(), QStringLiteral("  当前用户：%1（%2）").arg(who.name, who.role));
    }
    void SignOut() {
        if (!main) return;
        main->close();
        main.reset();
    }

    // Presses a button of the main window's board; the window it opened.
    QWidget* Open(const QString& button, const QString& title) {
        Click(main.get(), button);
        QWidget* w = ShownWindow(title);
        EXPECT_NE(w, nullptr) << "no window " << qPrintable(title);
        return w;
    }

    QString batchNo;

private:
    QDate today_;
    QString day_;
};

void AddRow(QWidget* list, const std::function<void(QDialog&)>& fill) {
    WorkDialog(list, QStringLiteral("新增"), [&](QDialog& d) {
        fill(d);
        Click(&d, QStringLiteral("确定保存"));
    });
}

void AdministratorSetsUpStaffAndFarmer(TRoad& r) {
    r.SignIn(kAdmin, "01-login");
    if (r.shots.On()) QTest::qWait(1100);  // the clock shows after its first second
    r.shots.Take(r.main.get(), "02-main");

    QWidget* users = r.Open(QStringLiteral("用户权限"), QStringLiteral("系统用户管理"));
    ASSERT_NE(users, nullptr);
    for (const TStaff& s : {kWeigher, kOperator, kFinance, kViewer}) {
        AddRow(users, [&](QDialog& d) {
            TypeInto(&d, QStringLiteral("登录名 *"), s.login);
            TypeInto(&d, QStringLiteral("姓名"), s.name);
            Choose(&d, QStringLiteral("角色 *"), s.role);
            TypeInto(&d, QStringLiteral("密码 *"), s.pwd);
            TypeInto(&d, QStringLiteral("再输一次"), s.pwd);
            if (s.login == kWeigher.login) r.shots.Take(&d, "16-user-new");
        });
    }
    // Passwords are kept only as hashes; each is checked when its user signs in below.
    EXPECT_EQ(r.c.rows("SELECT LoginName,UserName,Role,Pwd,substr(PwdHash,1,9),IsActive FROM T_User WHERE UserID>1 "
                       "ORDER BY UserID"),
              QStringLiteral("zhaosb/赵司磅/司磅员//$argon2id/-1; wangcz/王师傅/操作工//$argon2id/-1; "
                             "liucw/刘会计/财务//$argon2id/-1; chencx/陈查询/查询员//$argon2id/-1"));
    QTableView* grid = GridOf(users);
    EXPECT_EQ(ColumnOf(grid, QStringLiteral("登录名")), QStringList({"admin", "zhaosb", "wangcz", "liucw", "chencx"}));
    EXPECT_EQ(ColumnOf(grid, QStringLiteral("角色")),
              QStringList({QStringLiteral("管理员"), kWeigher.role, kOperator.role, kFinance.role, kViewer.role}));
    r.shots.Take(users, "15-users");

    QWidget* farmers = r.Open(QStringLiteral("农户/客户档案"), QStringLiteral("农户/客户档案"));
    ASSERT_NE(farmers, nullptr);
    AddRow(farmers, [&](QDialog& d) {
        TypeInto(&d, QStringLiteral("姓名/客户 *"), QStringLiteral("李四"));
        TypeInto(&d, QStringLiteral("电话"), "13900001111");
        TypeInto(&d, QStringLiteral("村组/单位"), QStringLiteral("东风村三组"));
        Choose(&d, QStringLiteral("客户类型"), QStringLiteral("农户代烘"));
        r.shots.Take(&d, "17-farmer-new");
    });
    EXPECT_EQ(r.c.rows("SELECT Name,Phone,Village,CustType,Blacklist FROM T_Farmer"),
              QStringLiteral("李四/13900001111/东风村三组/农户代烘/0"));
    EXPECT_EQ(ColumnOf(GridOf(farmers), QStringLiteral("黑名单")), QStringList{QStringLiteral("否")});
    r.SignOut();
}

// The weighing ticket as printed: the number, the plate, each weight with where it came from.
void ExpectTicket(const QString& pdf, const QString& batchNo, const QString& plate, const QString& gross,
                  const QString& grossFrom, const QString& tare, const QString& tareFrom, const QString& weigher) {
    const QString page = PdfPages(pdf).value(0);
    const auto shows = [&](const QString& pattern) { return page.contains(QRegularExpression(pattern)); };
    EXPECT_TRUE(page.contains(QStringLiteral("收粮磅单"))) << qPrintable(page);
    EXPECT_TRUE(page.contains(QStringLiteral("批次号：") + batchNo)) << qPrintable(page);
    EXPECT_TRUE(page.contains(QStringLiteral("车牌号：") + plate)) << qPrintable(page);
    EXPECT_TRUE(shows(QStringLiteral("毛重\\s+%1\\s+%2").arg(gross, grossFrom))) << qPrintable(page);
    EXPECT_TRUE(shows(QStringLiteral("皮重\\s+%1\\s+%2").arg(tare, tareFrom))) << qPrintable(page);
    EXPECT_TRUE(page.contains(QStringLiteral("司磅员：") + weigher)) << qPrintable(page);
}

void WeigherRegistersTheLoad(TRoad& r) {
    r.SignIn(kWeigher);
    QWidget* ledger = r.Open(QStringLiteral("收粮入库登记"), QStringLiteral("收粮入库登记"));
    ASSERT_NE(ledger, nullptr);
    // No weighbridge at this station: the weights are typed, and the driver still gets his ticket.
    const QString ticket = r.File("ticket.pdf");
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(ticket);
    WorkDialog(ledger, QStringLiteral("新增登记"), [&](QDialog& d) {
        SetTime(&d, QStringLiteral("登记时间："), r.At("08:30"));
        TypeInto(&d, QStringLiteral("车牌号："), QStringLiteral("苏C88631"));
        Choose(&d, QStringLiteral("农户/客户 *："), QStringLiteral("李四"));
        Choose(&d, QStringLiteral("粮种 *："), QStringLiteral("稻谷"));
        Choose(&d, QStringLiteral("操作员："), QStringLiteral("甲师傅"));
        Choose(&d, QStringLiteral("湿粮仓位 *："), QStringLiteral("湿粮暂存区"));
        TypeInto(&d, QStringLiteral("入库水分(%)："), "18.5");
        TypeInto(&d, QStringLiteral("杂质(%)："), "1.2");
        TypeInto(&d, QStringLiteral("毛重(公斤)："), "12000");
        TypeInto(&d, QStringLiteral("皮重(公斤)："), "2000");
        TypeInto(&d, QStringLiteral("粮质备注："), QStringLiteral("籽粒饱满，含水偏高"));
        // Worked out as the weigher types: the operator's shift, the net weight, the fee.
        EXPECT_EQ(TextOf(&d, QStringLiteral("班组：")), QStringLiteral("早班"));
        EXPECT_EQ(TextOf(&d, QStringLiteral("湿粮净重(公斤)：")), "10000");
        EXPECT_EQ(TextOf(&d, QStringLiteral("预计烘干费(元)：")), "1480.00");
        r.shots.Take(&d, "03-intake");
        Click(&d, QStringLiteral("保存登记"));
    });
    r.batchNo = r.No("PC", 1);
    EXPECT_EQ(r.prompter.Questions, QStringList{QStringLiteral("磅单已生成，是否立即打印？")});
    ExpectTicket(ticket, r.batchNo, QStringLiteral("苏C88631"), "12000", QStringLiteral("手工录入"), "2000",
                 QStringLiteral("手工录入"), kWeigher.name);
    r.shots.TakePdfPage(ticket, "ticket-typed");
    r.prompter.Clear();
    EXPECT_EQ(r.c.rows("SELECT BatchNo,Status,CarNo,InMoisture,WetNetWt,EstFee,Team,QualityMemo FROM T_Batch"),
              r.batchNo + QStringLiteral("/待烘干/苏C88631/18.5/10000/1480/早班/籽粒饱满，含水偏高"));
    EXPECT_EQ(r.c.rows("SELECT WhID,Qty,Status FROM T_Stock"), QStringLiteral("1/10000/待烘干"));
    QTableView* grid = GridOf(ledger);
    EXPECT_EQ(ColumnOf(grid, QStringLiteral("批次号")), QStringList{r.batchNo});
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("状态")), QStringLiteral("待烘干"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("农户")), QStringLiteral("李四"));
    r.shots.Take(ledger, "18-intake-ledger");
    r.SignOut();
}

void OperatorDriesInTwoRounds(TRoad& r) {
    r.SignIn(kOperator);
    QWidget* drying = r.Open(QStringLiteral("烘干批次作业"), QStringLiteral("烘干批次作业管理"));
    ASSERT_NE(drying, nullptr);
    QTableView* batches = GridOf(drying, 0);
    QTableView* rounds = GridOf(drying, 1);
    EXPECT_EQ(ColumnOf(batches, QStringLiteral("状态")), QStringList{QStringLiteral("待烘干")});

    WorkDialog(drying, QStringLiteral("派工上机"), [&](QDialog& d) {
        Choose(&d, QStringLiteral("烘干机 *："), "HG-001");
        Choose(&d, QStringLiteral("湿粮仓位 *："), QStringLiteral("湿粮暂存区"));
        SetTime(&d, QStringLiteral("上机时间 *："), r.At("09:00"));
        Choose(&d, QStringLiteral("操作工："), QStringLiteral("甲师傅"));
        r.shots.Take(&d, "19-dispatch");
        Click(&d, QStringLiteral("确认派工上机"));
    });
    EXPECT_EQ(CellOf(batches, 0, QStringLiteral("状态")), QStringLiteral("烘干中"));
    EXPECT_EQ(ColumnOf(rounds, QStringLiteral("轮次")), QStringList{"1"});

    // Round 1 comes out too wet: the operator sends it round again.
    r.prompter.AnswerYes();
    WorkDialog(drying, QStringLiteral("结束本轮"), [&](QDialog& d) {
        SetTime(&d, QStringLiteral("下机时间 *："), r.At("13:00"));
        TypeInto(&d, QStringLiteral("烘后水分(%) *："), "16.8");
        TypeInto(&d, QStringLiteral("烘后净重(公斤)*："), "9780");
        TypeInto(&d, QStringLiteral("异常记录："), QStringLiteral("水分偏高，返烘"));
        EXPECT_EQ(TextOf(&d, QStringLiteral("烘干时长(小时)：")), "4.0");
        EXPECT_EQ(TextOf(&d, QStringLiteral("损耗重量(公斤)：")), "220");
        EXPECT_EQ(TextOf(&d, QStringLiteral("损耗率(%)：")), "2.20");
        Click(&d, QStringLiteral("不达标，返烘"));
    });
    EXPECT_EQ(r.prompter.Questions.value(0), QStringLiteral("第 1 轮不达标，确认生成第 2 轮返烘作业单？"));
    EXPECT_EQ(CellOf(batches, 0, QStringLiteral("状态")), QStringLiteral("烘干中"));
    EXPECT_EQ(ColumnOf(rounds, QStringLiteral("轮次")), QStringList({"1", "2"}));

    // Round 2 is dry: into the first dry-grain store.
    r.prompter.AnswerYes();
    WorkDialog(drying, QStringLiteral("结束本轮"), [&](QDialog& d) {
        SetTime(&d, QStringLiteral("下机时间 *："), r.At("17:00"));
        TypeInto(&d, QStringLiteral("烘后水分(%) *："), "14.0");
        TypeInto(&d, QStringLiteral("烘后净重(公斤)*："), "9450");
        Choose(&d, QStringLiteral("入干粮仓位 *："), QStringLiteral("1号干粮仓"));
        EXPECT_EQ(TextOf(&d, QStringLiteral("损耗重量(公斤)：")), "550");
        EXPECT_EQ(TextOf(&d, QStringLiteral("损耗率(%)：")), "5.50");
        r.shots.Take(&d, "05-dry-end");
        Click(&d, QStringLiteral("水分合格，确认入仓"));
    });
    const QString question = QStringLiteral("确认第 2 轮烘干合格并入仓？干粮净重 9450.0 公斤");
    EXPECT_EQ(r.prompter.Questions.value(1), question);
    if (r.shots.On()) {
        // The question as the station shows it, Chinese buttons and all.
        QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), question, QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        r.shots.TakeShown(&box, "12-question");
    }

    EXPECT_EQ(r.c.rows("SELECT Round,OutMoisture,DryNetWt,LossWt,AbnormalMemo FROM T_Drying ORDER BY Round"),
              QStringLiteral("1/16.8/9780/220/水分偏高，返烘; 2/14/9450/550/"));
    EXPECT_EQ(r.c.rows("SELECT WhID,Qty,Status FROM T_Stock ORDER BY StockID"),
              QStringLiteral("1/10000/已出库; 2/9450/在库"));
    EXPECT_EQ(r.c.rows("SELECT MoveType,Qty,Remark FROM T_StockMove"), QStringLiteral("入仓/9450/第2轮烘后入仓"));
    // The queue is empty now; the whole list shows the batch in store after two rounds.
    EXPECT_EQ(ColumnOf(batches, QStringLiteral("批次号")), QStringList());
    Choose(drying, QStringLiteral("视图:"), QStringLiteral("全部批次"));
    EXPECT_EQ(CellOf(batches, 0, QStringLiteral("状态")), QStringLiteral("在库"));
    EXPECT_EQ(CellOf(batches, 0, QStringLiteral("烘干轮次")), "2");
    EXPECT_EQ(ColumnOf(rounds, QStringLiteral("烘后净重")), QStringList({"9780", "9450"}));
    r.shots.Take(drying, "04-drying");
    r.SignOut();
}

void HandOut(TRoad& r, QWidget* ledger, const QString& kg, const QString& type, const QString& at,
             const QString& destination, const QString& shot, const std::function<void(QDialog&)>& look = {}) {
    WorkDialog(ledger, QStringLiteral("新增出库"), [&](QDialog& d) {
        if (look) look(d);
        Choose(&d, QStringLiteral("出库类型 *："), type);
        SetTime(&d, QStringLiteral("出库时间 *："), at);
        TypeInto(&d, QStringLiteral("出库净重(公斤)*："), kg);
        TypeInto(&d, QStringLiteral("去向："), destination);
        TypeInto(&d, QStringLiteral("司机："), QStringLiteral("李四"));
        TypeInto(&d, QStringLiteral("车牌号："), QStringLiteral("苏C88631"));
        if (!shot.isEmpty()) r.shots.Take(&d, shot);
        Click(&d, QStringLiteral("确认出库"));
    });
}

void WeigherHandsTheGrainOut(TRoad& r) {
    r.SignIn(kWeigher);
    QWidget* ledger = r.Open(QStringLiteral("粮食出库"), QStringLiteral("粮食出库管理"));
    ASSERT_NE(ledger, nullptr);

    // The first load goes home with the farmer, and its slip is printed at once.
    const QString slip = r.File("out1.pdf");
    r.prompter.Clear();
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(slip);
    HandOut(r, ledger, "5000", QStringLiteral("农户自提"), r.At("18:00"), QStringLiteral("李四家"), "07-outbound",
            [&](QDialog& d) {
                EXPECT_EQ(TextOf(&d, QStringLiteral("选择在库批次 *：")),
                          r.batchNo + QStringLiteral(" | 李四 | 稻谷 | 结余9450.0kg | 1号干粮仓"));
                EXPECT_TRUE(Shows(&d, QStringLiteral("该批次当前可出库存：9450.0 公斤")));
            });
    EXPECT_EQ(r.prompter.Questions, QStringList{QStringLiteral("出库单已保存，是否立即打印？")});
    const QString out1 = r.No("CK", 1);
    const QStringList pages = PdfPages(slip);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(out1) && pages[0].contains(QStringLiteral("5000.0 公斤"))) << qPrintable(pages[0]);

    QWidget* stock = r.Open(QStringLiteral("粮仓库存"), QStringLiteral("粮仓库存管理"));
    ASSERT_NE(stock, nullptr);
    QTableView* live = GridOf(stock, 0);
    EXPECT_EQ(ColumnOf(live, QStringLiteral("仓位")), QStringList{QStringLiteral("1号干粮仓")});
    EXPECT_EQ(ColumnOf(live, QStringLiteral("剩余数量")), QStringList{"4450"});
    r.shots.Take(stock, "06-stock");
    stock->close();

    // The rest is sold on; its slip is printed later from the ledger.
    r.prompter.AnswerNo();
    HandOut(r, ledger, "4450", QStringLiteral("对外销售"), r.At("19:00"), QStringLiteral("县粮食储备库"), {});
    const QString out2 = r.No("CK", 2);
    QTableView* grid = GridOf(ledger);
    EXPECT_EQ(ColumnOf(grid, QStringLiteral("出库单号")), QStringList({out2, out1}));
    EXPECT_EQ(ColumnOf(grid, QStringLiteral("出库净重公斤")), QStringList({"4450", "5000"}));
    const QString slip2 = r.File("out2.pdf");
    r.prompter.AnswerPrintTo(slip2);
    Click(ledger, QStringLiteral("打印出库单"));
    EXPECT_TRUE(PdfPages(slip2).value(0).contains(out2));
    EXPECT_EQ(r.c.rows("SELECT OutNo,OutType,OutWt FROM T_Outbound ORDER BY OutNo"),
              out1 + QStringLiteral("/农户自提/5000; ") + out2 + QStringLiteral("/对外销售/4450"));
    EXPECT_EQ(r.c.rows("SELECT Status FROM T_Stock ORDER BY StockID"), QStringLiteral("已出库; 已出库"));
    EXPECT_EQ(r.c.rows("SELECT Status FROM T_Batch"), QStringLiteral("待结算"));
    r.shots.Take(ledger, "20-out-ledger");
    r.shots.TakePdfPage(slip, "11-out-slip");

    // The ledger goes out as a spreadsheet file.
    const QString csv = r.File("out.csv");
    r.prompter.AnswerSaveAs(csv);
    Click(ledger, QStringLiteral("导出CSV"));
    QFile exported(csv);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count('\n'), 3) << "a heading and two outbounds";
    if (r.shots.On()) {
        // In a folder of the same name on every run, holding the file just saved.
        QDir folder(QDir::temp().filePath("Movelkar"));
        folder.removeRecursively();
        folder.mkpath(".");
        const QString proposed = folder.filePath(r.prompter.ProposedFileNames.last());
        QFile::copy(csv, proposed);
        QFileDialog save(ledger, QString(), proposed, QStringLiteral("CSV文件 (*.csv)"));
        save.setOption(QFileDialog::DontUseNativeDialog);
        save.setAcceptMode(QFileDialog::AcceptSave);
        save.setViewMode(QFileDialog::List);
        r.shots.TakeShown(&save, "13-save-file");
    }
    r.SignOut();
}

void FinanceSettlesInTwoPayments(TRoad& r) {
    r.SignIn(kFinance);
    QWidget* ledger = r.Open(QStringLiteral("费用结算"), QStringLiteral("烘干费用结算管理"));
    ASSERT_NE(ledger, nullptr);
    QTableView* grid = GridOf(ledger);
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("批次状态")), QStringLiteral("待结算"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("结算单号")), QString());

    r.prompter.Clear();
    r.prompter.AnswerNo();
    WorkDialog(ledger, QStringLiteral("结算/修改"), [&](QDialog& d) {
        // 10 t at 120 yuan, 3.5 points over 15% at 8 yuan a ton, one re-dry at half the base fee.
        EXPECT_EQ(QStringList({TextOf(&d, QStringLiteral("基础烘干费：")), TextOf(&d, QStringLiteral("超水分加价：")),
                               TextOf(&d, QStringLiteral("仓储堆放费：")), TextOf(&d, QStringLiteral("二次返烘费：")),
                               TextOf(&d, QStringLiteral("其他杂费：")), TextOf(&d, QStringLiteral("费用合计："))}),
                  QStringList({"1200.00", "280.00", "0.00", "600.00", "0.00", "2080.00"}));
        EXPECT_EQ(TextOf(&d, QStringLiteral("此前已收：")), "0.00");
        TypeInto(&d, QStringLiteral("本次收款："), "1000");
        EXPECT_EQ(TextOf(&d, QStringLiteral("累计收款：")), "1000.00");
        TypeInto(&d, QStringLiteral("备注："), QStringLiteral("余款秋收后结清"));
        SetTime(&d, QStringLiteral("结算时间："), r.At("20:00"));
        EXPECT_EQ(TextOf(&d, QStringLiteral("欠款金额：")), "1080.00");
        EXPECT_TRUE(Shows(&d, QStringLiteral("保存后结算状态：部分欠款")));
        r.shots.Take(&d, "08-settle");
        Click(&d, QStringLiteral("保存结算"));
    });
    const QString js = r.No("JS", 1);
    EXPECT_EQ(r.prompter.Questions, QStringList{QStringLiteral("结算已保存，是否立即打印结算单？")});
    EXPECT_EQ(r.c.rows("SELECT SettleNo,TotalFee,PaidAmt,DebtAmt,Status FROM T_Settle"),
              js + QStringLiteral("/2080/1000/1080/部分欠款"));
    EXPECT_EQ(r.c.rows("SELECT Status FROM T_Batch"), QStringLiteral("待结算"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("结算状态")), QStringLiteral("部分欠款"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("欠款金额")), "1080.00");

    // The farmer pays the rest: the cashier types today's money only, slips onto Esc and keeps
    // what was typed; the same settlement is brought up to date and printed.
    const QString slip = r.File("settle.pdf");
    r.prompter.Clear();
    r.prompter.AnswerNo();
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(slip);
    WorkDialog(ledger, QStringLiteral("结算/修改"), [&](QDialog& d) {
        EXPECT_EQ(TextOf(&d, QStringLiteral("此前已收：")), "1000.00");
        EXPECT_EQ(TextOf(&d, QStringLiteral("本次收款：")), "0");
        TypeInto(&d, QStringLiteral("本次收款："), "1080");
        EXPECT_EQ(TextOf(&d, QStringLiteral("累计收款：")), "2080.00");
        EXPECT_EQ(TextOf(&d, QStringLiteral("欠款金额：")), "0.00");
        EXPECT_TRUE(Shows(&d, QStringLiteral("保存后结算状态：已结清")));
        r.shots.Take(&d, "08b-settle-rest");
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "the typed payment is kept";
        EXPECT_EQ(TextOf(&d, QStringLiteral("本次收款：")), "1080");
        Click(&d, QStringLiteral("保存结算"));
    });
    EXPECT_EQ(r.prompter.Questions,
              (QStringList{QStringLiteral("放弃已输入的内容？"), QStringLiteral("结算已保存，是否立即打印结算单？")}));
    EXPECT_EQ(r.c.rows("SELECT SettleNo,PaidAmt,DebtAmt,Status FROM T_Settle"), js + QStringLiteral("/2080/0/已结清"));
    EXPECT_EQ(r.c.rows("SELECT Status FROM T_Batch"), QStringLiteral("已完结"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("结算状态")), QStringLiteral("已结清"));
    EXPECT_EQ(CellOf(grid, 0, QStringLiteral("批次状态")), QStringLiteral("已完结"));
    const QStringList pages = PdfPages(slip);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(js) && pages[0].contains("2080.00") && pages[0].contains(QStringLiteral("已结清")))
        << qPrintable(pages[0]);
    r.shots.Take(ledger, "21-settle-ledger");
    r.shots.TakePdfPage(slip, "22-settle-slip");
    r.SignOut();
}

// Each report with the figure that tells whether it saw the road.
void RunReport(QWidget* centre, const QString& name, const QString& heading, const QString& expected) {
    Choose(centre, QStringLiteral("报表:"), name);
    Click(centre, QStringLiteral("查询"));
    EXPECT_EQ(ColumnOf(GridOf(centre), heading), QStringList{expected}) << qPrintable(name);
}

const QStringList kActionsSoFar{
    "登录", "新增", "新增", "新增", "新增", "新增", "退出",  // the administrator
    "登录", "收粮登记", "退出",                             // the weigher
    "登录", "派工上机", "返烘", "烘干入仓", "退出",         // the operator
    "登录", "出库", "出库", "退出",                         // the weigher again
    "登录", "结算", "修改结算", "退出",                     // finance
    "登录",                                                 // the administrator again
};

void AdministratorChecksTheBooks(TRoad& r) {
    r.SignIn(kAdmin);
    QWidget* reports = r.Open(QStringLiteral("报表/溯源中心"), QStringLiteral("台账报表与溯源中心"));
    ASSERT_NE(reports, nullptr);
    TypeInto(reports, QStringLiteral("批次号:"), r.batchNo);
    RunReport(reports, QStringLiteral("每日烘干台账"), QStringLiteral("出库数量公斤"), "9450");
    RunReport(reports, QStringLiteral("批次全流程溯源"), QStringLiteral("结算状态"), QStringLiteral("已结清"));
    EXPECT_EQ(CellOf(GridOf(reports), 0, QStringLiteral("最终轮次")), "2");
    RunReport(reports, QStringLiteral("农户对账汇总"), QStringLiteral("费用合计"), "2080");
    r.shots.Take(reports, "09-report");
    RunReport(reports, QStringLiteral("设备能耗报表"), QStringLiteral("设备编号"), "HG-001");
    RunReport(reports, QStringLiteral("烘干损耗分析"), QStringLiteral("损耗合计公斤"), "550");
    RunReport(reports, QStringLiteral("月度经营汇总"), QStringLiteral("已收合计"), "2080");
    EXPECT_TRUE(r.prompter.Texts().isEmpty()) << qPrintable(r.prompter.LastText());

    QWidget* log = r.Open(QStringLiteral("操作日志"), QStringLiteral("系统操作日志"));
    ASSERT_NE(log, nullptr);
    QStringList newestFirst = kActionsSoFar;
    std::reverse(newestFirst.begin(), newestFirst.end());
    EXPECT_EQ(ColumnOf(GridOf(log), QStringLiteral("操作类型")), newestFirst);
    r.shots.Take(log, "10-log");
    TypeInto(log, QStringLiteral("单号:"), r.batchNo);
    QTest::keyClick(FieldOf(log, QStringLiteral("单号:")), Qt::Key_Return);
    EXPECT_EQ(ColumnOf(GridOf(log), QStringLiteral("操作类型")),
              QStringList({QStringLiteral("烘干入仓"), QStringLiteral("返烘"), QStringLiteral("派工上机"),
                           QStringLiteral("收粮登记")}));
    EXPECT_EQ(ColumnOf(GridOf(log), QStringLiteral("操作员")),
              QStringList({kOperator.login, kOperator.login, kOperator.login, kWeigher.login}));
    TypeInto(log, QStringLiteral("单号:"), {});
    Choose(log, QStringLiteral("操作:"), QStringLiteral("出库"));
    EXPECT_EQ(ColumnOf(GridOf(log), QStringLiteral("关联单号")), QStringList({r.No("CK", 2), r.No("CK", 1)}));

    r.prompter.Clear();
    Click(r.main.get(), QStringLiteral("数据备份"));
    const QStringList backups = QDir(r.c.paths().BackupDir()).entryList({"Movelkar_*.mdb"});
    ASSERT_EQ(backups.size(), 1);
    const QString copy = QDir(r.c.paths().BackupDir()).filePath(backups[0]);
    EXPECT_EQ(r.prompter.LastText(), QStringLiteral("数据已备份到：") + QDir::toNativeSeparators(copy));
    TDM backup(copy);
    backup.Connect();
    EXPECT_EQ(VarToStr(backup.ScalarP("SELECT Status FROM T_Settle WHERE SettleNo=:n", {{"n", r.No("JS", 1)}})),
              QStringLiteral("已结清"))
        << "the copy holds the day's work";
    r.SignOut();
}

void QueryUserChangesNothing(TRoad& r) {
    const QString everything =
        "SELECT (SELECT COUNT(*) FROM T_User)||'/'||(SELECT COUNT(*) FROM T_Farmer)||'/'||"
        "(SELECT COUNT(*) FROM T_Batch)||'/'||(SELECT COUNT(*) FROM T_Drying)||'/'||"
        "(SELECT COUNT(*) FROM T_Outbound)||'/'||(SELECT COUNT(*) FROM T_Settle)||'/'||"
        "(SELECT MIN(Status)||MAX(Status) FROM T_Batch)";
    const QString before = r.c.rows(everything);
    r.SignIn(kViewer);
    r.prompter.Clear();
    const QStringList refused{"粮种管理",     "收费标准",     "仓位管理", "设备台账",   "班组操作员",
                              "收粮入库登记", "烘干批次作业", "粮食出库", "出库单打印", "费用结算",
                              "运行能耗填报", "保养维修记录", "用户权限", "操作日志"};
    for (const QString& button : refused) {
        Click(r.main.get(), button);
        EXPECT_EQ(r.prompter.LastText(), kRefused) << qPrintable(button);
    }
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) shown += w->isVisible() ? 1 : 0;
    EXPECT_EQ(shown, 1) << "only the main window";
    EXPECT_EQ(r.prompter.Texts().size(), refused.size());
    Click(r.main.get(), QStringLiteral("数据备份"));
    EXPECT_EQ(r.prompter.LastText(), QStringLiteral("只有管理员可以备份数据"));
    if (r.shots.On()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), kRefused, QMessageBox::Ok);
        r.shots.TakeShown(&box, "14-refused");
    }

    // What a query-only user may open, he may only read.
    QWidget* farmers = r.Open(QStringLiteral("农户/客户档案"), QStringLiteral("农户/客户档案"));
    ASSERT_NE(farmers, nullptr);
    for (const QString& button : {QStringLiteral("新增"), QStringLiteral("编辑"), QStringLiteral("删除")})
        EXPECT_FALSE(ButtonOf(farmers, button)->isEnabled()) << qPrintable(button);
    EXPECT_EQ(ColumnOf(GridOf(farmers), QStringLiteral("姓名/客户")), QStringList{QStringLiteral("李四")});
    r.SignOut();
    EXPECT_EQ(r.c.rows(everything), before);
}
}  // namespace

// The images a printed PDF holds, as poppler lists them: one line per image.
int PdfImageCount(const QString& pdf) {
    QProcess p;
    p.start("pdfimages", {"-list", pdf});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) return -1;
    // Two heading lines, then one per image.
    return std::max<int>(0, QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size() - 2);
}

// A station with a weighbridge and two cameras: the indicator at the end of its cable sends the
// load's weight, and each take photographs the truck from the front and from the side.
TEST(Road, ALoadWeighedThroughTheIndicatorGetsItsTicket) {
    TPtyPair cable;
    ASSERT_FALSE(cable.SlaveName().isEmpty());
    TScaleSettings settings;
    settings.Port = cable.SlaveName();
    settings.Format = TScaleFormat::F1;
    settings.StableSeconds = 0.5;
    TScaleStation station(settings);
    TFakeCamera front(TFakeCamera::TMode::Jpeg, QColor(40, 90, 160), {1920, 1080});
    TFakeCamera side(TFakeCamera::TMode::Digest, QColor(150, 110, 60), {1280, 960});
    const QString passFile = QFileInfo(station.IniPath()).dir().filePath("camera2.pass");
    {
        QSettings ini(station.IniPath(), QSettings::IniFormat);
        ini.setValue("Camera1/name", QStringLiteral("车头"));
        ini.setValue("Camera1/url", front.Url());
        ini.setValue("Camera2/name", QStringLiteral("侧面"));
        ini.setValue("Camera2/url", side.Url());
        ini.setValue("Camera2/user", TFakeCamera::kUser);
        ini.setValue("Camera2/password_file", passFile);
    }
    ASSERT_EQ(SaveCameraPassword(passFile, TFakeCamera::kPassword), QString());
    TRoad r;
    r.c.addFarmer(QStringLiteral("李四"));
    r.SignIn(kAdmin);
    QWidget* ledger = r.Open(QStringLiteral("收粮入库登记"), QStringLiteral("收粮入库登记"));
    ASSERT_NE(ledger, nullptr);
    const QString ticket = r.File("weighed.pdf");
    r.prompter.AnswerYes();
    r.prompter.AnswerPrintTo(ticket);
    WorkDialog(ledger, QStringLiteral("新增登记"), [&](QDialog& d) {
        cable.ReleaseSlave();
        TypeInto(&d, QStringLiteral("车牌号："), QStringLiteral("皖ｆ66666"));
        // The loaded truck rolls on and comes to rest; the indicator sends ten readings a second.
        for (const char* weight : {"003000", "018000", "024400"}) {
            cable.Write(A9Frame(weight));
            QTest::qWait(100);
        }
        QPushButton* take = ButtonOf(&d, QStringLiteral("取毛重"));
        ASSERT_NE(take, nullptr);
        for (int i = 0; i < 100 && !take->isEnabled(); ++i) {
            cable.Write(A9Frame("024560"));
            QTest::qWait(100);
        }
        r.shots.Take(&d, "scale-dialog");
        Click(&d, QStringLiteral("取毛重"));
        EXPECT_EQ(TextOf(&d, QStringLiteral("毛重(公斤)：")), "24560");
        // The pictures come in beside the reading while the weigher goes on.
        const auto pictures = [&] {
            return std::ranges::count_if(d.findChildren<QLabel*>(), [](QLabel* l) { return !l->pixmap().isNull(); });
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return pictures() >= 2; }, 10000));
        r.shots.Take(&d, "scale-dialog-photos");
        TypeInto(&d, QStringLiteral("皮重(公斤)："), "5230");
        Choose(&d, QStringLiteral("农户/客户 *："), QStringLiteral("李四"));
        Choose(&d, QStringLiteral("粮种 *："), QStringLiteral("稻谷"));
        Choose(&d, QStringLiteral("湿粮仓位 *："), QStringLiteral("湿粮暂存区"));
        Click(&d, QStringLiteral("保存登记"));
    });
    const QString batchNo = r.No("PC", 1);
    EXPECT_EQ(r.c.rows("SELECT CarNo,GrossWt,TareWt,WetNetWt FROM T_Batch"), QStringLiteral("皖F66666/24560/5230/19330"));
    ExpectTicket(ticket, batchNo, QStringLiteral("皖F66666"), "24560", QStringLiteral("地磅"), "5230",
                 QStringLiteral("手工录入"), kAdmin.name);

    // Both cameras at both takes (the typed tare photographed at the save): four pictures linked
    // to the batch, each file as its fingerprint says, and one thumbnail each on the ticket.
    EXPECT_EQ(r.c.batchRows("T_Photo", batchNo, "WtKind, CameraName, Weight"),
              QStringLiteral("毛重/车头/24560; 毛重/侧面/24560; 皮重/车头/5230; 皮重/侧面/5230"));
    const QString root = PhotoRoot(r.c.dm());
    for (const TPhoto& p : BatchPhotos(r.c.dm(), batchNo)) {
        QFile file(root + "/" + p.FilePath);
        ASSERT_TRUE(p.HasFile() && file.open(QIODevice::ReadOnly)) << qPrintable(p.Camera + p.Failure);
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(p.Sha256, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        EXPECT_EQ(p.ByteSize, bytes.size());
        EXPECT_LE(QImage::fromData(bytes).width(), kPhotoMaxWidth);
    }
    EXPECT_EQ(PdfImageCount(ticket), 4);
    const QString page = PdfPages(ticket).value(0);
    for (const QString& take : {"毛重 车头", "毛重 侧面", "皮重 车头", "皮重 侧面"})
        EXPECT_TRUE(page.contains(take)) << qPrintable(page);

    // The ledger with the ticket's buttons: every one within the window.
    for (QPushButton* b : ledger->findChildren<QPushButton*>())
        EXPECT_LE(b->mapTo(ledger, QPoint(b->width(), 0)).x(), ledger->width()) << qPrintable(b->text());
    r.shots.TakePdfPage(ticket, "scale-ticket");
    r.shots.Take(ledger, "scale-ledger");
    if (r.shots.On()) {
        TfrmScaleSet settingsDialog(r.c.dm());
        r.shots.Take(&settingsDialog, "scale-settings");
    }
}

TEST(Road, OneLoadFromTheWeighbridgeToTheSettledSlipThroughTheRealWindows) {
    TRoad r;
    AdministratorSetsUpStaffAndFarmer(r);
    WeigherRegistersTheLoad(r);
    OperatorDriesInTwoRounds(r);
    WeigherHandsTheGrainOut(r);
    FinanceSettlesInTwoPayments(r);
    AdministratorChecksTheBooks(r);
    QueryUserChangesNothing(r);

    QStringList actions = kActionsSoFar;
    actions << "数据备份"
            << "退出"
            << "登录"
            << "退出";
    EXPECT_EQ(r.c.logActions(), actions);
}
