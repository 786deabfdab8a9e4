// How the stock window and the outbound windows behave on a centre's ten years of data: fills a
// scratch database with dried batches (each with its retired wet row and its dry row), their
// outbounds and movements, then prints how long each first screen, the warnings, the outbound
// dialog's stock list and an outbound save take.
//
//   bench_stock [batches] [file]   (default 200000: about 400000 stock rows, 340000 outbounds)
//
// With a file, the database is kept there, and a file already there is measured as it is.

#include "data/uDM.h"
#include "data/uDbInit.h"
#include "forms/uGrid.h"
#include "workflow/uOutbound.h"
#include "workflow/uStock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
constexpr int kStillInStore = 5500;  // the newest batches still hold grain
constexpr int kFarmers = 3000;

QString Numbered(const QString& prefix, const QDate& day, QHash<QDate, int>& perDay) {
    return prefix + day.toString("yyyyMMdd") + QStringLiteral("%1").arg(++perDay[day], 3, 10, QChar('0'));
}

void Fill(TDM& dm, int batches) {
    TTransaction tx(dm);
    TStatement farmer(dm, "INSERT INTO T_Farmer(Name,Phone) VALUES(:n,:p)");
    for (int f = 0; f < kFarmers; ++f) {
        farmer.Bind({{"n", QStringLiteral("农户%1").arg(f)}, {"p", QStringLiteral("138%1").arg(f, 8, 10, QChar('0'))}});
        farmer.Exec();
    }
    TStatement batch(dm, "INSERT INTO T_Batch(BatchNo,RegTime,FarmerID,GrainID,WetNetWt,WhID,Status) "
                         "VALUES(:b,:t,:f,:g,:w,1,:s)");
    TStatement stock(dm, "INSERT INTO T_Stock(BatchNo,WhID,GrainID,FarmerID,Qty,InTime,Moisture,Status) "
                         "VALUES(:b,:wh,:g,:f,:q,:t,:m,:s)");
    TStatement move(dm, "INSERT INTO T_StockMove(BatchNo,WhID,MoveType,Qty,MoveTime,OpID,Remark) "
                        "VALUES(:b,:wh,:mt,:q,:t,1,:r)");
    TStatement out(dm, "INSERT INTO T_Outbound(OutNo,OutType,BatchNo,FarmerID,GrainID,OutWt,OutTime,Destination) "
                       "VALUES(:n,:tp,:b,:f,:g,:w,:t,'县粮库')");
    QHash<QDate, int> batchSeq, outSeq;
    const QDateTime first = QDateTime::currentDateTime().addDays(-3650);
    for (int i = 0; i < batches; ++i) {
        const QDateTime reg = first.addSecs(qint64(i) * 3650 * 86400 / batches);
        const QString no = Numbered("PC", reg.date(), batchSeq);
        const int farmerId = 1 + i % kFarmers;
        const int grain = 1 + i % 3;
        const double wet = 8000 + i % 4000;
        const double dry = wet * 0.87;
        const int dryWh = 2 + i % 3;
        const bool inStore = i >= batches - kStillInStore;
        const QDateTime dried = reg.addSecs(8 * 3600);
        batch.Bind({{"b", no}, {"t", reg}, {"f", farmerId}, {"g", grain}, {"w", wet},
                    {"s", inStore ? QStringLiteral("在库") : QStringLiteral("已完结")}});
        batch.Exec();
        stock.Bind({{"b", no}, {"wh", 1}, {"g", grain}, {"f", farmerId}, {"q", wet}, {"t", reg}, {"m", 20.0},
                    {"s", QStringLiteral("已出库")}});
        stock.Exec();
        stock.Bind({{"b", no}, {"wh", dryWh}, {"q", dry}, {"t", dried}, {"m", 14.0},
                    {"s", inStore ? QStringLiteral("在库") : QStringLiteral("已出库")}});
        stock.Exec();
        move.Bind({{"b", no}, {"wh", dryWh}, {"mt", QStringLiteral("入仓")}, {"q", dry}, {"t", dried},
                   {"r", QStringLiteral("第1轮烘后入仓")}});
        move.Exec();
        // Emptied batches went out in one or two loads; some of those still in store in part.
        std::vector<double> loads;
        if (!inStore)
            loads = i % 4 == 0 ? std::vector<double>{dry} : std::vector<double>{dry * 0.6, dry * 0.4};
        else if (i % 3 == 0)
            loads = {dry * 0.5};
        for (size_t k = 0; k < loads.size(); ++k) {
            const QDateTime at = dried.addDays(3 + qint64(k) * 5);
            const QString type = (i + int(k)) % 2 ? QStringLiteral("对外销售") : QStringLiteral("农户自提");
            out.Bind({{"n", Numbered("CK", at.date(), outSeq)}, {"tp", type}, {"b", no}, {"f", farmerId},
                      {"g", grain}, {"w", loads[k]}, {"t", at}});
            out.Exec();
            move.Bind({{"b", no}, {"wh", dryWh}, {"mt", QStringLiteral("出仓")}, {"q", loads[k]}, {"t", at},
                       {"r", type}});
            move.Exec();
        }
    }
    tx.Commit();
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Wall time, and the processor time of this process: on a machine shared with other work the
// second tells what the operation itself costs.
class TStopwatch {
public:
    TStopwatch() { Restart(); }
    void Restart() {
        wall_.start();
        cpu_ = std::clock();
    }
    double WallMs() const { return Ms(wall_); }
    double CpuMs() const { return double(std::clock() - cpu_) * 1000.0 / CLOCKS_PER_SEC; }
    void Print(const char* what, const QString& size) const {
        std::printf("%-44s %7.1f ms  (cpu %6.1f ms, %s)\n", what, WallMs(), CpuMs(), qPrintable(size));
    }

private:
    QElapsedTimer wall_;
    std::clock_t cpu_;
};

void FirstScreen(TDM& dm, const char* what, const TSqlText& q) {
    TQueryModel model(dm);
    const TStopwatch t;
    model.Open(q);
    t.Print(what, QStringLiteral("%1 rows").arg(model.rowCount()));
}
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int batches = argc > 1 ? QString(argv[1]).toInt() : 200000;
    QTemporaryDir dir;
    const QString db = argc > 2 ? QString(argv[2]) : dir.path() + "/Data/Movelkar.mdb";
    const bool fill = !QFileInfo::exists(db);
    EnsureDatabase(db, QFileInfo(db).absolutePath() + "/Backup");
    TDM dm(db);
    dm.Connect();

    if (fill) {
        const TStopwatch t;
        Fill(dm, batches);
        std::printf("filled %d batches: %.0f ms\n", batches, t.WallMs());
    }
    std::printf("%d stock rows, %d outbounds, %d movements\n", VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Stock")),
                VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Outbound")),
                VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_StockMove")));
    dm.Connect();  // a fresh connection, as the application starts with

    FirstScreen(dm, "live stock, only rows holding grain", LiveStockQuery(0, {}, true));
    FirstScreen(dm, "live stock, every row", LiveStockQuery(0, {}, false));
    FirstScreen(dm, "live stock, one position, holding grain", LiveStockQuery(3, {}, true));
    FirstScreen(dm, "live stock, batch text, every row", LiveStockQuery(0, QStringLiteral("0101"), false));
    FirstScreen(dm, "movement journal", StockMoveQuery({}));
    FirstScreen(dm, "movement journal, batch text", StockMoveQuery(QStringLiteral("0101")));

    TStopwatch watch;
    const QStringList warnings = TStockWarnLogic(dm).Lines(QDate::currentDate());
    watch.Print("warnings text", QStringLiteral("%1 lines").arg(warnings.size()));

    TOutboundLogic logic(dm);
    watch.Restart();
    const QList<TStockChoice> choices = logic.Choices();
    watch.Print("outbound dialog stock list", QStringLiteral("%1 rows").arg(choices.size()));

    FirstScreen(dm, "outbound ledger", OutListQuery(std::nullopt, QStringLiteral("全部"), {}));
    const QDate today = QDate::currentDate();
    FirstScreen(dm, "outbound ledger, last month",
                OutListQuery(std::make_pair(today.addMonths(-1), today), QStringLiteral("全部"), {}));
    FirstScreen(dm, "outbound ledger, a year ago, one type",
                OutListQuery(std::make_pair(today.addYears(-1), today.addYears(-1).addMonths(1)),
                             QStringLiteral("对外销售"), {}));
    FirstScreen(dm, "outbound ledger, a month nine years ago",
                OutListQuery(std::make_pair(today.addYears(-9), today.addYears(-9).addMonths(1)),
                             QStringLiteral("全部"), {}));
    FirstScreen(dm, "outbound ledger, the last ten years",
                OutListQuery(std::make_pair(today.addYears(-10), today), QStringLiteral("全部"), {}));
    FirstScreen(dm, "outbound ledger, farmer keyword", OutListQuery(std::nullopt, QStringLiteral("全部"),
                                                                    QStringLiteral("农户123")));

    std::vector<double> wall, cpu;
    for (int k = 0; k < 20 && k < choices.size(); ++k) {
        TOutboundInput in{.StockID = choices[k].StockID, .OutType = QStringLiteral("农户自提"),
                          .OutTime = QDateTime::currentDateTime(), .Weight = QStringLiteral("100")};
        watch.Restart();
        const TOutboundResult r = logic.Save(in);
        wall.push_back(watch.WallMs());
        cpu.push_back(watch.CpuMs());
        if (!r.Saved()) std::printf("save refused: %s\n", qPrintable(r.Refusal));
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    if (!wall.empty())
        std::printf("%-44s %7.1f ms  (cpu %6.1f ms; median of %zu, worst %.1f ms)\n", "outbound save",
                    wall[wall.size() / 2], cpu[cpu.size() / 2], wall.size(), wall.back());
    return 0;
}
