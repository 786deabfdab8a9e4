// How the intake ledger behaves in a busy centre: fills a scratch database with a season of
// batches and log rows, then prints how long the ledger takes to show its first screen, to
// scroll to its last row, to be walked for an export, and to draw the next batch number.
//
//   bench_ledger [batches]        (default 200000)

#include "data/uDM.h"
#include "data/uDbInit.h"
#include "forms/uGrid.h"
#include "workflow/uBatchList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {
void Fill(TDM& dm, int batches) {
    TTransaction tx(dm);
    TStatement batch(dm, "INSERT INTO T_Batch(BatchNo,RegTime,CarNo,FarmerID,GrainID,InMoisture,WetNetWt,Status) "
                         "VALUES(:b,:t,:c,1,1,18.5,:w,'在库')");
    TStatement log(dm, "INSERT INTO T_Log(OpTime,LoginName,ActType,TblName,RefNo,Detail) "
                       "VALUES(:t,'admin','收粮登记','T_Batch',:b,'')");
    dm.ExecSQLP("INSERT INTO T_Farmer(Name) VALUES('张三')");
    const QDateTime start = QDateTime::currentDateTime().addDays(-batches / 1000 - 1);
    for (int i = 0; i < batches; ++i) {
        const QDateTime at = start.addSecs(qint64(i) * 86400 / 1000);
        const QString no = "PC" + at.toString("yyyyMMdd") + QStringLiteral("%1").arg(i % 1000 + 1, 3, 10, QChar('0'));
        batch.Bind({{"b", no}, {"t", at}, {"c", QStringLiteral("苏A%1").arg(i % 100000)}, {"w", 8000.0 + i % 4000}});
        batch.Exec();
        log.Bind({{"t", at}, {"b", no}});
        log.Exec();
    }
    tx.Commit();
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int batches = argc > 1 ? QString(argv[1]).toInt() : 200000;
    QTemporaryDir dir;
    const QString db = dir.path() + "/Data/Movelkar.mdb";
    EnsureDatabase(db, dir.path() + "/Backup");
    TDM dm(db);
    dm.Connect();

    QElapsedTimer t;
    t.start();
    Fill(dm, batches);
    std::printf("filled %d batches and log rows: %.0f ms\n", batches, Ms(t));

    const TSqlText ledger = BatchListQuery(QStringLiteral("全部"), {});
    TQueryModel model(dm);
    t.restart();
    model.Open(ledger.Sql, ledger.Params);
    std::printf("first screen (%d rows): %.1f ms\n", model.rowCount(), Ms(t));

    t.restart();
    const int last = model.FindRow([](int) { return false; });
    std::printf("scrolled to the end (%d rows, found %d): %.0f ms\n", model.rowCount(), last, Ms(t));

    t.restart();
    qint64 walked = 0;
    model.ForEachRow([&](const std::vector<TValue>&) { ++walked; });
    std::printf("walked for export (%lld rows): %.0f ms\n", walked, Ms(t));

    const TSqlText search = BatchListQuery(QStringLiteral("全部"), QStringLiteral("苏A99"));
    t.restart();
    model.Open(search.Sql, search.Params);
    std::printf("keyword search, first screen (%d rows): %.1f ms\n", model.rowCount(), Ms(t));

    t.restart();
    const QString next = dm.NextNo("PC", "T_Batch", "BatchNo");
    std::printf("next batch number %s: %.2f ms\n", qPrintable(next), Ms(t));
    return 0;
}
