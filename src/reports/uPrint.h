#pragma once
// The printed documents: the outbound slip handed to the driver, the settlement slip the farmer
// signs, and the listing of whatever a ledger or report grid shows.
//
// Each asks where to print once it knows there is something to print; cancelling ends the print
// without a message. Each returns true only when the pages went to the printer (or PDF file), or
// into the preview window, from which the user prints them or not.
// Database errors are raised as TDbError for the window's general error display, before anything
// is printed.

#include "reports/uPrintTarget.h"

#include <QString>

class TDM;
class TQueryModel;

// Slips (uPrint.cpp).
// Warns "出库单不存在：" + the number when there is no such outbound.
bool PrintOutSlip(TDM& dm, const QString& outNo, TPrintTarget target = TPrintTarget::Printer);
// Warns "结算单不存在：" + the number when there is no such settlement.
bool PrintSettleSlip(TDM& dm, const QString& settleNo, TPrintTarget target = TPrintTarget::Printer);
// Listings (uListing.cpp).
// Every row of the model's query (not only those the grid has read) under the grid's captions;
// warns "没有可打印的数据" when there are none.
bool PrintListing(const TQueryModel& model, const QString& title,
                  TPrintTarget target = TPrintTarget::Printer);

// A cell of a printed listing: line breaks become blanks, and a text longer than 40 bytes in the
// Chinese GBK encoding (two bytes a Chinese character) keeps only the whole characters that fit.
QString CellText(const QString& text);
