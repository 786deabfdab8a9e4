#pragma once
// The fixed parts of a one-sheet workbook and the XML text rules a spreadsheet reads them by.

#include <string>
#include <string_view>
#include <vector>

class TZipFile;

// A cell's style: its place in styles.xml's cellXfs.
enum class TXlsxStyle { Plain, Bold, Fraction, DateTime, Day };

// Appends UTF-8 text as XML character data the way Excel reads it back unchanged.
void AppendXmlText(std::string& out, std::string_view utf8);
// Whether a <t> holding the text needs xml:space="preserve" to keep its outer blanks.
bool HasOuterBlanks(std::string_view utf8);

// "A", "B", …, "Z", "AA", … for column 0, 1, ….
std::string ColumnLetters(int column);

// Everything but the sheet: content types, relations, workbook, styles, document properties.
void AddWorkbookParts(TZipFile& zip, std::string_view sheetNameUtf8);

constexpr const char* kSheetEntry = "xl/worksheets/sheet1.xml";
// The sheet up to and including <sheetData>: the used range, the frozen header row, and the
// column widths in characters.
std::string SheetHead(const std::vector<int>& widths, int rows);
std::string_view SheetTail();
