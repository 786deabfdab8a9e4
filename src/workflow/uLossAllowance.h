#pragma once
// The handling allowance: how much of the wet weight a load may lose to dust, chaff and spillage
// on top of its water before the loss counts as unexplained. A centre sets its own in
// Movelkar.ini beside the program:
//     [loss]
//     allowance=0.5
// in percent of the wet weight.

#include <QString>

inline constexpr double kDefaultLossAllowance = 0.5;

// The allowance in the given settings file; the default when the file or the key is missing or
// holds no percentage from 0 to below 100.
double ReadLossAllowance(const QString& iniPath);
// The allowance set beside the program.
double LossAllowance();
