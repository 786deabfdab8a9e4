// Generates a realistic centre's database for benchmarks and checks: years of seasonal intake,
// drying rounds with re-dries, voids, dry-grain stock, outbound, settlements, dryer records and
// the operation log, all consistent with the centre's rules and the same for the same seed.
//
//   gen_data [--years N] [--batches-per-year N] [--seed N] [--out FILE|postgresql:SCHEMA] [--end yyyy-MM-dd]
//
// The history ends at the start of the given day, by default two days before today; the latest
// loads are then still waiting, drying or in store. For a server the centre is generated into a
// file of its own first and then copied into the schema (which must hold no rows), row for row
// the same as the file would be: a statement per row would cross the network millions of times.

#include "GenCentre.h"

#include "data/uDM.h"
#include "data/uDbCopy.h"
#include "data/uDbInit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {
bool ParseArgs(const QStringList& args, TGenOptions& o, QDate& end) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i + 1 >= args.size()) return false;
        const QString v = args[++i];
        bool ok = true;
        if (a == "--years")
            o.Years = v.toInt(&ok);
        else if (a == "--batches-per-year")
            o.BatchesPerYear = v.toInt(&ok);
        else if (a == "--seed")
            o.Seed = v.toULongLong(&ok);
        else if (a == "--out")
            o.Out = v;
        else if (a == "--end")
            ok = (end = QDate::fromString(v, "yyyy-MM-dd")).isValid();
        else
            return false;
        if (!ok) return false;
    }
    return o.Years > 0 && o.BatchesPerYear >= 0;
}

void PrintCounts(TDM& dm) {
    const char* const tables[] = {"T_User",     "T_Grain",  "T_FeeStd",  "T_Wh",     "T_Equip",     "T_Operator",
                                  "T_Farmer",   "T_Batch",  "T_Drying",  "T_Stock",  "T_StockMove", "T_Outbound",
                                  "T_Settle",   "T_EquipRun", "T_EquipMaint", "T_Log",
                                  "T_Photo"};
    for (const char* t : tables)
        std::printf("  %-13s %9d\n", t, VarToInt(dm.ScalarP(QStringLiteral("SELECT COUNT(*) FROM ") + t)));
}

// The centre as a file at path; the seconds it took.
double GenerateFile(const QString& path, const TGenOptions& options, const QDate& end) {
    QElapsedTimer timer;
    timer.start();
    QFile::remove(path);
    QFile::remove(path + "-journal");
    EnsureDatabase(path, QFileInfo(path).absolutePath());
    TDM dm(path);
    dm.Connect();
    dm.ExecSQLP("PRAGMA cache_size=-131072");
    GenerateCentre(dm, options, StampOf(end));
    return double(timer.elapsed()) / 1000;
}
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    TGenOptions options;
    options.Out = QStringLiteral("Movelkar.mdb");
    QDate end = QDate::currentDate().addDays(-2);
    if (!ParseArgs(app.arguments(), options, end)) {
        std::fprintf(stderr, "usage: gen_data [--years N] [--batches-per-year N] [--seed N] [--out FILE|postgresql:SCHEMA] "
                             "[--end yyyy-MM-dd]\n");
        return 2;
    }
    try {
        const TDbConfig target = DbConfigFromArg(options.Out);
        QTemporaryDir scratch;
        const QString path = target.IsPostgres() ? scratch.filePath(QStringLiteral("centre.mdb"))
                                                 : QFileInfo(options.Out).absoluteFilePath();
        const double seconds = GenerateFile(path, options, end);
        std::printf("%s: %d years to %s, %d batches a year, seed %llu\n", qPrintable(options.Out), options.Years,
                    qPrintable(end.toString("yyyy-MM-dd")), options.BatchesPerYear,
                    static_cast<unsigned long long>(options.Seed));
        TDM file(path);
        file.Connect();
        if (!target.IsPostgres()) {
            PrintCounts(file);
            std::printf("  %.1f MB in %.1f s\n", double(QFileInfo(path).size()) / 1048576.0, seconds);
            return 0;
        }
        QElapsedTimer copy;
        copy.start();
        CopyIntoServerSchema(file, target);
        TDM server(target);
        server.Connect();
        PrintCounts(server);
        std::printf("  generated in %.1f s, copied to the server and checked in %.1f s\n", seconds,
                    double(copy.elapsed()) / 1000);
    } catch (const TDbError& e) {
        std::fprintf(stderr, "gen_data: %s\n", qPrintable(e.Message()));
        return e.Info().State == "08001" ? 77 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_data: %s\n", e.what());
        return 1;
    }
    return 0;
}
