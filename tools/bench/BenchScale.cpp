// The weighbridge: reading the indicator's stream in each format, a vehicle's usual tare as its
// plate is typed, and the registration rows a reprinted ticket is made from.

#include "BenchOp.h"

#include "data/uDM.h"
#include "scale/uPlate.h"
#include "scale/uScaleFrame.h"
#include "scale/uTareHistory.h"
#include "scale/uTicket.h"

namespace {
constexpr int kFrames = 10000;
constexpr int kReadSize = 37;  // bytes a serial read brings, cutting frames anywhere

class TFrameOp : public TBenchOp {
public:
    TFrameOp(TScaleFormat format, const QByteArray& frame)
        : TBenchOp("scale frames " + ScaleFormatName(format) + ", " + QString::number(kFrames) + " read"),
          format_(format), stream_(frame.repeated(kFrames)) {}

    qint64 Run(TBenchEnv&, int) override {
        TScaleFrameReader reader(format_);
        qint64 read = 0;
        for (qsizetype at = 0; at < stream_.size(); at += kReadSize)
            read += qint64(reader.Feed(QByteArrayView(stream_).sliced(at, std::min<qsizetype>(kReadSize, stream_.size() - at))).size());
        return read;
    }

private:
    TScaleFormat format_;
    QByteArray stream_;
};

// The plate that came most often: the longest history to choose from.
QString BusiestPlate(TDM& dm) {
    return VarToStr(dm.ScalarP("SELECT CarNo FROM T_Batch WHERE CarNo<>'' GROUP BY CarNo ORDER BY COUNT(*) DESC LIMIT 1"));
}

class TTareHistoryOp : public TBenchOp {
public:
    TTareHistoryOp() : TBenchOp("usual tare of a plate") {}
    void Prepare(TBenchEnv& env) override { plate_ = BusiestPlate(env.Dm); }
    qint64 Run(TBenchEnv& env, int) override { return TareHistory(env.Dm, plate_).Count; }
    std::optional<TSqlText> Floor(TBenchEnv&) const override { return TareHistorySql(plate_, {}); }

private:
    QString plate_;
};

// Made once per database in each run of the program, before the first usual tare is read.
class TStoredPlatesOp : public TBenchOp {
public:
    TStoredPlatesOp() : TBenchOp("plates as stored, the pass before the first usual tare") {}
    qint64 Run(TBenchEnv& env, int) override {
        const TSqlText q = StoredPlatesSql();
        return env.Dm.OpenSQLP(q.Sql, q.Params).RowCount();
    }
    std::optional<TSqlText> Floor(TBenchEnv&) const override { return StoredPlatesSql(); }
};

class TTicketLogOp : public TBenchOp {
public:
    TTicketLogOp() : TBenchOp("ticket: who weighed, where the weights came from") {}
    void Prepare(TBenchEnv& env) override {
        batchNo_ = VarToStr(env.Dm.ScalarP("SELECT MAX(BatchNo) FROM T_Batch"));
    }
    qint64 Run(TBenchEnv& env, int) override { return ReadRegistrationLog(env.Dm, batchNo_).Weigher.isEmpty() ? 0 : 1; }
    std::optional<TSqlText> Floor(TBenchEnv&) const override { return RegistrationLogSql(batchNo_); }

private:
    QString batchNo_;
};

const TBenchArea kScale(45, [] {
    TBenchOps ops;
    ops.push_back(std::make_unique<TFrameOp>(TScaleFormat::F1, QByteArray("\x02+02456001E\x03")));
    ops.push_back(std::make_unique<TFrameOp>(TScaleFormat::F2, QByteArray("=06542000")));
    ops.push_back(std::make_unique<TFrameOp>(TScaleFormat::F3, QByteArray("WG0024560kg29\r\n")));
    ops.push_back(std::make_unique<TFrameOp>(TScaleFormat::F4, QByteArray("\x02\x22\x30\x20" "024560000000\r.")));
    ops.push_back(std::make_unique<TFrameOp>(TScaleFormat::F5, QByteArray("ST,GS,+0024560 kg\r\n")));
    ops.push_back(std::make_unique<TStoredPlatesOp>());
    ops.push_back(std::make_unique<TTareHistoryOp>());
    ops.push_back(std::make_unique<TTicketLogOp>());
    return ops;
});
}  // namespace
