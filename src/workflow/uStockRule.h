#pragma once
// Which stock rows hold grain, and how much: the one rule behind the live stock, the used
// figure of every position, the warnings, the rows offered for outbound and the remaining stock
// that moves a batch on to settlement.
//
// A row waiting for the dryer ("待烘干") or in store ("在库") is live: it holds its Qty less
// everything handed out of its batch. A row whose grain has left ("已出库", which is also what
// the wet row becomes once its batch is dried) or that was voided ("已作废") holds nothing.

#include "data/uDbConfig.h"

#include <QHash>
#include <QString>

class TDM;

// Weighing noise: a row or batch left with this much or less counts as emptied, and an outbound
// may exceed what is left by this much.
inline constexpr double kWeightSlack = 0.01;

// SQL over a T_Stock row under the given alias, for the statements of the stock windows. The
// live rows have indexes of their own, in the orders the lists show them (idx_stock_live_rows,
// idx_stock_live_age); they serve every statement whose WHERE holds this condition as it stands.
QString LiveStockCondition(const QString& s = QStringLiteral("s"));
// What the batch has handed out in all, 0 when nothing.
QString BatchOutboundSql(TDbEngine engine, const QString& s = QStringLiteral("s"));
// What the row still holds by the rule above; 0 for a row that is not live.
QString RemainingSql(TDbEngine engine, const QString& s = QStringLiteral("s"));

// Whether `weight` is more than can be handed out of `remaining`: more than the slack above it,
// or anything at all when nothing is left.
bool ExceedsRemaining(double weight, double remaining);
// Whether what is left is small enough to count as emptied.
bool IsEmptied(double remaining);

// The sum over the batch's live rows; what decides whether it is ready for settlement.
double BatchRemaining(TDM& dm, const QString& batchNo);
// What a position holds, as the capacity warnings count it, leaving out the given batch's rows.
double PositionUsed(TDM& dm, int whId, const QString& exceptBatch);

// The names of a small master table ("SELECT id, name FROM …"), read once for a list of the
// stock in store, which would otherwise look each one up for tens of thousands of rows.
QHash<int, QString> Names(TDM& dm, const QString& sql);
