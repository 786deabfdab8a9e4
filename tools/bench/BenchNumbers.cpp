// Drawing the next document number of each kind.

#include "BenchOp.h"

#include "data/uDM.h"

#include <QDate>

namespace {
class TNextNoOp : public TBenchOp {
public:
    TNextNoOp(const QString& prefix, const QString& table, const QString& field)
        : TBenchOp("NextNo " + prefix), prefix_(prefix), table_(table), field_(field) {}

    qint64 Run(TBenchEnv& env, int) override {
        env.Dm.NextNo(prefix_, table_, field_);
        return 1;
    }

    // The least the engine must do: read today's numbers through the key.
    std::optional<TSqlText> Floor(TBenchEnv&) const override {
        const QString head = prefix_ + QDate::currentDate().toString("yyyyMMdd");
        return TSqlText{"SELECT " + field_ + " FROM " + table_ + " WHERE " + field_ + ">=:lo AND " + field_ + "<:hi",
                        {{"lo", head}, {"hi", head + ":"}},
                        {}};
    }

private:
    QString prefix_, table_, field_;
};

const TBenchArea kNumbers(40, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TNextNoOp>("PC", "T_Batch", "BatchNo"));
    ops.push_back(std::make_unique<TNextNoOp>("CK", "T_Outbound", "OutNo"));
    ops.push_back(std::make_unique<TNextNoOp>("JS", "T_Settle", "SettleNo"));
    return ops;
});
}  // namespace
