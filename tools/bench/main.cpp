// How fast the windows and saves are on a centre's database, against the engine's own floor:
//
//   bench FILE|postgresql:SCHEMA [--runs N]
//
// Works on a scratch copy of the database (beside the file, or a new schema on the same server),
// so the saves leave it unchanged. Each line gives the median time of N runs (5 by default; three
// for an operation slower than 1.5 s) through the application's own classes, the rows produced,
// the median time of the same statement run straight through the engine's C API, and the ratio of
// the two. A first screen's statement is the list query limited to the grid's first chunk; a
// document number's is the least the engine must do for it, reading today's numbers through the
// key. An operation that fails is reported as FAILED with the engine's reason, and the others
// still run. The process's peak memory ends the report.
//
// Exit status: 0 every operation ran, 1 some failed, 2 usage, 77 the server does not answer.

#include "BenchFloor.h"
#include "BenchOp.h"
#include "BenchScratch.h"

#include "data/uDM.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>

namespace {
// An operation slower than this gets no more than three runs.
constexpr double kSlowMs = 1500;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

struct TMeasure {
    double Ms = 0;
    qint64 Rows = 0;
};

TMeasure MeasureApp(TBenchOp& op, TBenchEnv& env) {
    std::vector<double> times;
    qint64 rows = 0;
    int runs = env.Runs;
    for (int run = 0; run < runs; ++run) {
        op.BeforeRun(env, run);
        QElapsedTimer t;
        t.start();
        rows = op.Run(env, run);
        times.push_back(Ms(t));
        if (run == 0 && times[0] > kSlowMs) runs = std::min(runs, 3);
    }
    return {Median(times), rows};
}

TMeasure MeasureEngine(TEngineFloor& floor, const TSqlText& q, int runs) {
    std::vector<double> times;
    qint64 rows = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        rows = floor.Run(q);
        times.push_back(Ms(t));
        if (run == 0 && times[0] > kSlowMs) runs = std::min(runs, 3);
    }
    return {Median(times), rows};
}

QString PeakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return QString::fromLatin1(line.mid(6).simplified());
    return QStringLiteral("?");
}

constexpr int kServerUnreachable = 77;

// One operation's line; false when it failed.
bool Measure(TBenchOp& op, TBenchEnv& env, TEngineFloor& floor) {
    try {
        op.Prepare(env);
        const TMeasure app = MeasureApp(op, env);
        QString engine = QStringLiteral("%1 %2").arg(QString("-"), 10).arg(QString("-"), 7);
        QString note;
        if (const std::optional<TSqlText> q = op.Floor(env)) {
            const TMeasure raw = MeasureEngine(floor, *q, env.Runs);
            engine = QStringLiteral("%1 %2")
                         .arg(raw.Ms, 10, 'f', 2)
                         .arg(raw.Ms > 0 ? QString::number(app.Ms / raw.Ms, 'f', 2) : QString("-"), 7);
            if (raw.Rows != app.Rows) note = QStringLiteral(" (engine: %1 rows)").arg(raw.Rows);
        }
        std::printf("%10.2f %9lld %s  %s%s\n", app.Ms, static_cast<long long>(app.Rows), qPrintable(engine),
                    qPrintable(op.Name()), qPrintable(note));
        std::fflush(stdout);
        return true;
    } catch (const std::exception& e) {
        // A save that failed half-way is rolled back by its own transaction; what is left to do
        // here is to say which operation failed and why.
        env.Dm.RollbackTrans();
        std::printf("%10s %9s %10s %7s  %s: %s\n", "FAILED", "-", "-", "-", qPrintable(op.Name()), e.what());
        std::fflush(stdout);
        return false;
    }
}

int Run(const QString& source, int runs, const QStringList& only) {
    const TBenchScratch scratch(DbConfigFromArg(source));
    TDM dm(scratch.Config());
    if (!dm.Connect()) {
        std::fprintf(stderr, "bench: cannot open %s\n", qPrintable(source));
        return 1;
    }
    dm.SetLogUser(QStringLiteral("admin"));
    const std::unique_ptr<TEngineFloor> floor = OpenEngineFloor(scratch.Config());
    TBenchEnv env{dm, runs};

    std::printf("%s: %d batches, %d log rows; median of up to %d runs\n", qPrintable(source),
                VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch")), VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Log")),
                runs);
    std::printf("%10s %9s %10s %7s  %s\n", "app ms", "rows", "engine ms", "ratio", "operation");
    int failed = 0;
    for (const auto& op : AllBenchOps()) {
        const bool chosen = only.isEmpty() || std::any_of(only.begin(), only.end(), [&](const QString& word) {
                                return op->Name().contains(word, Qt::CaseInsensitive);
                            });
        if (chosen && !Measure(*op, env, *floor)) ++failed;
    }
    if (failed > 0) std::printf("%d operation(s) FAILED\n", failed);
    std::printf("peak memory (VmHWM): %s\n", qPrintable(PeakMemory()));
    return failed > 0 ? 1 : 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    // Dialogs are built off screen: what is measured is their building, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 5;
    QStringList only;  // operations whose name contains one of these words; all when none is given
    bool ok = args.size() >= 2;
    for (int i = 2; ok && i < args.size(); i += 2) {
        if (i + 1 >= args.size()) ok = false;
        else if (args[i] == "--runs") runs = args[i + 1].toInt(&ok);
        else if (args[i] == "--only") only << args[i + 1];
        else ok = false;
    }
    if (!ok || runs < 1) {
        std::fprintf(stderr, "usage: bench FILE|postgresql:SCHEMA [--runs N] [--only WORD]...\n");
        return 2;
    }
    try {
        return Run(args[1], runs, only);
    } catch (const TDbError& e) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(e.Message()));
        return e.Info().State == "08001" ? kServerUnreachable : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
}
