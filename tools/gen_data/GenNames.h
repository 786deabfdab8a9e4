#pragma once
// The words a centre's records are made of: people's and places' names, plates, phone and
// identity numbers, remarks.

#include "GenRandom.h"

#include <QString>

QString PersonName(TGenRandom& r);
QString VillageName(TGenRandom& r);
QString TownName(TGenRandom& r);
QString Plate(TGenRandom& r);
QString Phone(TGenRandom& r);
// Eighteen characters with a valid check character.
QString IdCard(TGenRandom& r);
QString SaleDestination(TGenRandom& r);
QString QualityMemo(TGenRandom& r);
QString ReDryMemo(TGenRandom& r);
QString VoidReason(TGenRandom& r, bool beforeDrying);
QString FaultMemo(TGenRandom& r);
QString MaintContent(TGenRandom& r, const QString& type);
