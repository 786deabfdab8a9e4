// How fast the windows and saves are on a centre's database, against the engine's own floor:
//
//   bench FILE [--runs N]
//
// Works on a scratch copy of FILE, so the saves leave it unchanged. Each line gives the median
// time of N runs (5 by default; three for an operation slower than 1.5 s) through the
// application's own classes, the rows produced, the median time of the same statement run
// straight through the engine, and the ratio of the two. A first screen's statement is the list
// query limited to the grid's first chunk; a document number's is the least the engine must do
// for it, reading today's numbers through the key. The process's peak memory ends the report.

#include "BenchFloor.h"
#include "BenchOp.h"

#include "data/uDM.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
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

int Run(const QString& source, int runs) {
    // Beside the file, so that the saves commit to the same disk the centre's file is on.
    QTemporaryDir scratch(QFileInfo(source).absolutePath() + QStringLiteral("/bench-XXXXXX"));
    const QString path = scratch.filePath(QStringLiteral("Movelkar.mdb"));
    if (!QFile::copy(source, path)) {
        std::fprintf(stderr, "bench: cannot copy %s\n", qPrintable(source));
        return 1;
    }
    TDM dm(path);
    if (!dm.Connect()) {
        std::fprintf(stderr, "bench: cannot open %s\n", qPrintable(source));
        return 1;
    }
    dm.SetLogUser(QStringLiteral("admin"));
    TEngineFloor floor(path);
    TBenchEnv env{dm, runs};

    std::printf("%s: %d batches, %d log rows; median of up to %d runs\n", qPrintable(source),
                VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Batch")), VarToInt(dm.ScalarP("SELECT COUNT(*) FROM T_Log")),
                runs);
    std::printf("%10s %9s %10s %7s  %s\n", "app ms", "rows", "engine ms", "ratio", "operation");
    for (const auto& op : AllBenchOps()) {
        op->Prepare(env);
        const TMeasure app = MeasureApp(*op, env);
        QString engine = QStringLiteral("%1 %2").arg(QString("-"), 10).arg(QString("-"), 7);
        QString note;
        if (const std::optional<TSqlText> q = op->Floor(env)) {
            const TMeasure raw = MeasureEngine(floor, *q, runs);
            engine = QStringLiteral("%1 %2")
                         .arg(raw.Ms, 10, 'f', 2)
                         .arg(raw.Ms > 0 ? QString::number(app.Ms / raw.Ms, 'f', 2) : QString("-"), 7);
            if (raw.Rows != app.Rows) note = QStringLiteral(" (engine: %1 rows)").arg(raw.Rows);
        }
        std::printf("%10.2f %9lld %s  %s%s\n", app.Ms, static_cast<long long>(app.Rows), qPrintable(engine),
                    qPrintable(op->Name()), qPrintable(note));
        std::fflush(stdout);
    }
    std::printf("peak memory (VmHWM): %s\n", qPrintable(PeakMemory()));
    return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    // Dialogs are built off screen: what is measured is their building, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 5;
    bool ok = args.size() == 2;
    if (args.size() == 4 && args[2] == "--runs") runs = args[3].toInt(&ok);
    if (!ok || runs < 1) {
        std::fprintf(stderr, "usage: bench FILE [--runs N]\n");
        return 2;
    }
    try {
        return Run(args[1], runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
}
