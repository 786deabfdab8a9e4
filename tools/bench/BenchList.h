#pragma once
// What a list window does with its query: show the first screen, scroll to the last row, or walk
// every row for an export, each through the grid model the windows use.

#include "BenchOp.h"

enum class TListWalk { FirstScreen, ScrollToEnd, Export };

// The list query; it may look into the database, e.g. for a keyword that occurs in it.
using TListQuery = std::function<TSqlText(TDM&)>;

std::unique_ptr<TBenchOp> ListOp(const QString& name, TListWalk walk, TListQuery query);
