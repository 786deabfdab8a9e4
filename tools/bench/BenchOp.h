#pragma once
// One measured operation of the benchmark, and the registry through which each file of the
// benchmark adds its operations: a new window or save is measured by adding a file, not by
// editing a list.

#include "data/uValue.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TDM;

struct TBenchEnv {
    TDM& Dm;
    int Runs;  // the most runs an operation gets; its subjects are prepared for that many
};

class TBenchOp {
public:
    explicit TBenchOp(QString name) : name_(std::move(name)) {}
    virtual ~TBenchOp() = default;
    TBenchOp(const TBenchOp&) = delete;
    TBenchOp& operator=(const TBenchOp&) = delete;

    const QString& Name() const { return name_; }
    // Once, untimed: what the runs need, such as the batches a save works on.
    virtual void Prepare(TBenchEnv&) {}
    // Before each run, untimed: the state the user is in when he starts the operation.
    virtual void BeforeRun(TBenchEnv&, int /*run*/) {}
    // One timed run; the rows it produced.
    virtual qint64 Run(TBenchEnv& env, int run) = 0;
    // The statement the engine runs for the same rows, to measure the engine's own floor.
    virtual std::optional<TSqlText> Floor(TBenchEnv&) const { return std::nullopt; }

private:
    QString name_;
};

using TBenchOps = std::vector<std::unique_ptr<TBenchOp>>;

// Registers the operations of one file; order places them in the output (lists first, saves last).
struct TBenchArea {
    TBenchArea(int order, std::function<TBenchOps()> make);
};

// Every registered operation, in order.
TBenchOps AllBenchOps();
