#pragma once
// The nine master-data tables the centre maintains, each described as a definition for the
// generic list window. A builder reads nothing; the main window builds a fresh one each time.

#include "forms/uCrudLogic.h"

TCrudDef DefGrain();
TCrudDef DefFeeStd();
TCrudDef DefWh();
TCrudDef DefEquip();
TCrudDef DefOperator();
TCrudDef DefFarmer();
TCrudDef DefUser();
TCrudDef DefEquipRun();
TCrudDef DefEquipMaint();
