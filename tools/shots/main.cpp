// Pictures of the windows the user guide shows, as the staff see them:
//
//   shots CENTRE OUTDIR
//
// Works on a copy of CENTRE (a centre made by gen_data), so the file is left as it was. Writes
// into OUTDIR: loss-*.png, the end-of-round dialog of a 30 t load of maize at 28 % dried to 14 %,
// the report 烘干损耗核对 and its chart, the charts of the daily, monthly and loss reports, and the
// preview of the printed listing; 25-start-wait.png, the first start's index window on a centre's
// file. Run it on a display (under Xvfb on a server).

#include "app/uStartWait.h"
#include "app/uStartup.h"
#include "data/uDM.h"
#include "forms/uCtl.h"
#include "reports/uReport.h"
#include "workflow/uBatch.h"
#include "workflow/uDryEnd.h"
#include "workflow/uDrying.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {
QString outDir;

void Save(QWidget* w, const QString& name) {
    w->show();
    w->raise();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString path = outDir + "/" + name + ".png";
    std::printf("%s %s\n", w->grab().save(path) ? "wrote" : "could not write", qPrintable(path));
}

int FirstId(TDM& dm, const QString& sql) { return VarToInt(dm.ScalarP(sql)); }

void ShowDryEnd(TDM& dm) {
    const QDateTime start = QDateTime::currentDateTime().addSecs(-7 * 3600);
    const int wetWh = FirstId(dm, "SELECT MIN(WhID) FROM T_Wh WHERE WhType='湿粮区'");
    TBatchInput load;
    load.RegTime = start.addSecs(-3600);
    load.FarmerID = FirstId(dm, "SELECT MIN(FarmerID) FROM T_Farmer");
    load.GrainID = FirstId(dm, "SELECT GrainID FROM T_Grain WHERE GrainName='玉米'");
    load.WhID = wetWh;
    load.InMoisture = "28";
    load.GrossWt = "45000";
    load.TareWt = "15000";
    load.WetNetWt = "30000";
    const QString no = TBatchLogic(dm).Save(load).BatchNo;
    TDispatchInput dispatch;
    dispatch.BatchNo = no;
    dispatch.EquipID = FirstId(dm, "SELECT MIN(EquipID) FROM T_Equip WHERE Status='正常'");
    dispatch.WhInID = wetWh;
    dispatch.StartTime = start;
    TDispatchLogic(dm).Save(dispatch);
    TfrmDryEnd dlg(dm, no);
    dlg.edMoisture->setText("14");
    dlg.edDryNet->setText("24800");
    dlg.edAbnormal->setText(QStringLiteral("农户对损耗有疑问，已现场复秤"));
    SetComboID(dlg.cbDryWh, FirstId(dm, "SELECT MIN(WhID) FROM T_Wh WHERE WhType='干粮区'"));
    Save(&dlg, "loss-dryend");
}

void Run(TfrmReport& w, TReportKind kind, const QDate& from, const QDate& to) {
    w.cbType->setCurrentIndex(int(kind));
    w.dtp1->setDate(from);
    w.dtp2->setDate(to);
    w.DoQuery();
}

void ShowReports(TDM& dm) {
    const QDate last = dm.ScalarP("SELECT MAX(EndTime) FROM T_Drying").AsDateTime().date();
    TfrmReport w(dm);
    w.resize(1100, 640);
    Run(w, TReportKind::LossCheck, last.addDays(-30), last);
    Save(&w, "loss-report");
    w.tabs->setCurrentWidget(w.chartView);
    Save(&w, "loss-chart-check");
    Run(w, TReportKind::Daily, last.addDays(-30), last);
    Save(&w, "loss-chart-daily");
    Run(w, TReportKind::Monthly, last.addYears(-1).addDays(1), last);
    Save(&w, "loss-chart-monthly");
    Run(w, TReportKind::Loss, last.addYears(-1).addDays(1), last);
    Save(&w, "loss-chart-loss");

    Run(w, TReportKind::LossCheck, last.addDays(-30), last);
    w.tabs->setCurrentIndex(0);
    // The preview is modal: it is pictured and closed once it has drawn its pages.
    QTimer::singleShot(3000, [] {
        if (QWidget* preview = QApplication::activeModalWidget()) {
            Save(preview, "loss-preview");
            preview->close();
        }
    });
    w.DoPrint(TPrintTarget::Preview);
}
void ShowStartWait(qint64 fileBytes) {
    // The estimate follows the time the first indexes took.
    TfrmStartWait wait(fileBytes);
    wait.Indexes(0, 40);
    QThread::msleep(1500);
    wait.Indexes(9, 40);
    Save(&wait, "25-start-wait");
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(kSansFamily, 9));
    if (argc < 3) {
        std::fprintf(stderr, "usage: shots CENTRE OUTDIR\n");
        return 2;
    }
    outDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(outDir);
    QTemporaryDir work;
    const TAppPaths paths{work.path() + "/"};
    QDir().mkpath(work.path() + "/Data");
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), paths.DbPath())) {
        std::fprintf(stderr, "cannot copy %s\n", argv[1]);
        return 1;
    }
    std::unique_ptr<TDM> dm = PrepareDatabase(paths);
    if (!dm) return 1;
    ShowStartWait(QFileInfo(paths.DbPath()).size());
    ShowDryEnd(*dm);
    ShowReports(*dm);
    return 0;
}
