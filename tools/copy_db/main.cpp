// Moves a centre's data between its database file and a PostgreSQL server, either way (or file to
// file), and checks the copy row by row:
//
//   copy_db FROM TO          each a database file or postgresql:SCHEMA
//   copy_db --compare A B    only the row-by-row comparison
//
// A target file must not exist yet; it appears complete and checked, or not at all. A target
// schema is made when missing and must hold no tables or only empty ones; a failed copy leaves it
// as it was. A copy is kept only when it holds the same rows as its source. Exit status: 0 copied and identical, 1 failed or different, 2 usage, 77 the server
// does not answer.

#include "data/uDM.h"
#include "data/uDbCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <memory>

namespace {
constexpr int kServerUnreachable = 77;

// A failure of this tool's own, said before any database is touched.
struct TRefusal {
    QString Message;
};

double Seconds(const QElapsedTimer& t) { return double(t.elapsed()) / 1000; }

std::unique_ptr<TDM> OpenExisting(const QString& arg) {
    auto dm = std::make_unique<TDM>(DbConfigFromArg(arg));
    if (!dm->Connect()) throw TRefusal{QStringLiteral("%1: no such database file").arg(arg)};
    try {
        dm->ScalarP("SELECT COUNT(*) FROM T_Batch");
    } catch (const TDbError& e) {
        throw TRefusal{QStringLiteral("%1 holds no Movelkar database (%2)").arg(arg, e.Message())};
    }
    return dm;
}

// One line per table as it is done, with its rows and the time it took.
TCopyProgress PrintProgress() {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer](const QString& table, qint64 rows) {
        std::printf("  %-13s %9lld rows %7.1f s\n", qPrintable(table), static_cast<long long>(rows), Seconds(*timer));
        std::fflush(stdout);
        timer->restart();
    };
}

int Report(const QStringList& differences, double seconds) {
    if (differences.isEmpty()) {
        std::printf("identical (compared row by row in %.1f s)\n", seconds);
        return 0;
    }
    std::printf("different:\n");
    for (const QString& line : differences) std::printf("  %s\n", qPrintable(line));
    return 1;
}

int Compare(const QString& a, const QString& b) {
    const auto left = OpenExisting(a);
    const auto right = OpenExisting(b);
    QElapsedTimer timer;
    timer.start();
    const QStringList differences = CompareTables(*left, *right);
    return Report(differences, Seconds(timer));
}

int Copy(const QString& fromArg, const QString& toArg) {
    const TDbConfig to = DbConfigFromArg(toArg);
    if (!to.IsPostgres() && QFileInfo::exists(to.Path))
        throw TRefusal{QStringLiteral("%1 exists already; copy_db only makes new files").arg(to.Path)};
    const auto from = OpenExisting(fromArg);
    std::printf("copying %s into %s\n", qPrintable(fromArg), qPrintable(toArg));
    QElapsedTimer timer;
    timer.start();
    // Either way the copy is checked row by row against its source before it is kept.
    if (to.IsPostgres())
        CopyIntoServerSchema(*from, to, PrintProgress());
    else
        CopyIntoNewFile(*from, to.Path, PrintProgress());
    std::printf("identical (copied, indexed and compared row by row in %.1f s)\n", Seconds(timer));
    return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool compare = args.size() == 4 && args[1] == "--compare";
    if (!compare && (args.size() != 3 || args[1].startsWith("--"))) {
        std::fprintf(stderr, "usage: copy_db FROM TO | copy_db --compare A B   (a file or postgresql:SCHEMA)\n");
        return 2;
    }
    try {
        return compare ? Compare(args[2], args[3]) : Copy(args[1], args[2]);
    } catch (const TRefusal& r) {
        std::fprintf(stderr, "copy_db: %s\n", qPrintable(r.Message));
        return 1;
    } catch (const TDbError& e) {
        std::fprintf(stderr, "copy_db: %s\n", qPrintable(e.Message()));
        return e.Info().State == "08001" ? kServerUnreachable : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "copy_db: %s\n", e.what());
        return 1;
    }
}
