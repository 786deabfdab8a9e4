#include "BenchList.h"

#include "forms/uGrid.h"

namespace {
class TListOp : public TBenchOp {
public:
    TListOp(const QString& name, TListWalk walk, TListQuery query)
        : TBenchOp(name), walk_(walk), query_(std::move(query)) {}

    void Prepare(TBenchEnv& env) override { sql_ = query_(env.Dm); }

    void BeforeRun(TBenchEnv& env, int) override {
        model_ = std::make_unique<TQueryModel>(env.Dm);
        // An export starts from the window already showing its first screen.
        if (walk_ == TListWalk::Export) model_->Open(sql_);
    }

    qint64 Run(TBenchEnv&, int) override {
        if (walk_ == TListWalk::Export) {
            qint64 rows = 0;
            model_->ForEachRow([&](const std::vector<TValue>&) { ++rows; });
            return rows;
        }
        model_->Open(sql_);
        if (walk_ == TListWalk::ScrollToEnd)
            while (model_->canFetchMore({})) model_->fetchMore({});
        return model_->rowCount();
    }

    std::optional<TSqlText> Floor(TBenchEnv& env) const override {
        if (walk_ != TListWalk::FirstScreen) return TSqlText{sql_.OrderedSql(env.Dm.Engine()), sql_.Params, {}};
        return TQueryModel::FirstChunk(env.Dm.Engine(), sql_);
    }

private:
    TListWalk walk_;
    TListQuery query_;
    TSqlText sql_;
    std::unique_ptr<TQueryModel> model_;
};
}  // namespace

std::unique_ptr<TBenchOp> ListOp(const QString& name, TListWalk walk, TListQuery query) {
    return std::make_unique<TListOp>(name, walk, std::move(query));
}
