#include "forms/uXlsxParts.h"

#include "forms/uZipFile.h"

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
constexpr std::string_view kXmlDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";

std::string Part(std::initializer_list<std::string_view> pieces) {
    std::string xml(kXmlDecl);
    for (std::string_view piece : pieces) xml += piece;
    return xml;
}

std::string ContentTypes() {
    const std::string_view ct = "application/vnd.openxmlformats-officedocument.";
    std::string xml = Part({"<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"});
    auto override = [&](std::string_view part, std::string_view type) {
        ((((xml += "<Override PartName=\"") += part) += "\" ContentType=\"") += type) += "\"/>";
    };
    override("/xl/workbook.xml", std::string(ct) + "spreadsheetml.sheet.main+xml");
    override("/xl/worksheets/sheet1.xml", std::string(ct) + "spreadsheetml.worksheet+xml");
    override("/xl/styles.xml", std::string(ct) + "spreadsheetml.styles+xml");
    override("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
    override("/docProps/app.xml", std::string(ct) + "extended-properties+xml");
    return xml + "</Types>";
}

std::string Relations(std::initializer_list<std::pair<std::string_view, std::string_view>> typeAndTarget) {
    std::string xml = Part({"<Relationships xmlns=\"", kPackageRelNs, "\">"});
    int id = 0;
    for (const auto& [type, target] : typeAndTarget) {
        ((((((xml += "<Relationship Id=\"rId") += std::to_string(++id)) += "\" Type=\"") += type) += "\" Target=\"")
             += target) += "\"/>";
    }
    return xml + "</Relationships>";
}

std::string Workbook(std::string_view sheetName) {
    std::string xml = Part({"<workbook xmlns=\"", kMainNs, "\" xmlns:r=\"", kRelNs, "\">",
                            "<bookViews><workbookView/></bookViews><sheets><sheet name=\""});
    AppendXmlText(xml, sheetName);
    return xml + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
}

// The numFmtIds must match TXlsxStyle's order in cellXfs.
std::string Styles() {
    return Part({"<styleSheet xmlns=\"", kMainNs, "\">",
                 "<numFmts count=\"3\">"
                 "<numFmt numFmtId=\"164\" formatCode=\"0.00\"/>"
                 "<numFmt numFmtId=\"165\" formatCode=\"yyyy-mm-dd hh:mm\"/>"
                 "<numFmt numFmtId=\"166\" formatCode=\"yyyy-mm-dd\"/>"
                 "</numFmts>"
                 "<fonts count=\"2\">"
                 "<font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
                 "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
                 "</fonts>"
                 "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
                 "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
                 "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
                 "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
                 "<cellXfs count=\"5\">"
                 "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
                 "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
                 "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
                 "<xf numFmtId=\"165\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
                 "<xf numFmtId=\"166\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
                 "</cellXfs>"
                 "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
                 "</styleSheet>"});
}

std::string Core() {
    const std::string now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    return Part({"<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
                 "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
                 "<dc:creator>Movelkar</dc:creator>"
                 "<dcterms:created xsi:type=\"dcterms:W3CDTF\">", now, "</dcterms:created>"
                 "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">", now, "</dcterms:modified>"
                 "</cp:coreProperties>"});
}

std::string App() {
    return Part({"<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
                 "<Application>Movelkar</Application></Properties>"});
}

void AppendHex4(std::string& out, unsigned code) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
    out += '_';
}
}  // namespace

void AppendXmlText(std::string& out, std::string_view utf8) {
    size_t plain = 0;  // start of the run not yet copied
    auto flush = [&](size_t i) { out.append(utf8.substr(plain, i - plain)); };
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto ch = static_cast<unsigned char>(utf8[i]);
        switch (ch) {
        case '&': flush(i); out += "&amp;"; plain = i + 1; continue;
        case '<': flush(i); out += "&lt;"; plain = i + 1; continue;
        case '>': flush(i); out += "&gt;"; plain = i + 1; continue;
        case '"': flush(i); out += "&quot;"; plain = i + 1; continue;
        case '\t': case '\n': case '\r': continue;
        case '_':
            // Excel reads "_xHHHH_" as an escaped character; a literal "_x" keeps its underscore
            // by escaping it.
            if (i + 1 < utf8.size() && utf8[i + 1] == 'x') { flush(i); AppendHex4(out, '_'); plain = i + 1; }
            continue;
        case 0xEF:
            // U+FFFE and U+FFFF: not characters XML may hold.
            if (i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
                (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xBE) {
                flush(i);
                AppendHex4(out, 0xFF00u | (static_cast<unsigned char>(utf8[i + 2]) + 0x40u));
                i += 2;
                plain = i + 1;
            }
            continue;
        default:
            if (ch < 0x20) { flush(i); AppendHex4(out, ch); plain = i + 1; }
        }
    }
    flush(utf8.size());
}

bool HasOuterBlanks(std::string_view utf8) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !utf8.empty() && (blank(utf8.front()) || blank(utf8.back()));
}

std::string ColumnLetters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), char('A' + (n - 1) % 26));
    return letters;
}

void AddWorkbookParts(TZipFile& zip, std::string_view sheetNameUtf8) {
    const std::string_view doc = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const std::string officeDocument = std::string(doc) + "officeDocument";
    const std::string extended = std::string(doc) + "extended-properties";
    const std::string worksheet = std::string(doc) + "worksheet";
    const std::string styles = std::string(doc) + "styles";
    zip.Add("[Content_Types].xml", ContentTypes());
    zip.Add("_rels/.rels",
            Relations({{officeDocument, "xl/workbook.xml"},
                       {"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties", "docProps/core.xml"},
                       {extended, "docProps/app.xml"}}));
    zip.Add("docProps/app.xml", App());
    zip.Add("docProps/core.xml", Core());
    zip.Add("xl/workbook.xml", Workbook(sheetNameUtf8));
    zip.Add("xl/_rels/workbook.xml.rels", Relations({{worksheet, "worksheets/sheet1.xml"}, {styles, "styles.xml"}}));
    zip.Add("xl/styles.xml", Styles());
}

std::string SheetHead(const std::vector<int>& widths, int rows) {
    const std::string lastCell = ColumnLetters(std::max(int(widths.size()) - 1, 0)) + std::to_string(std::max(rows, 1));
    std::string xml = Part({"<worksheet xmlns=\"", kMainNs, "\" xmlns:r=\"", kRelNs, "\">",
                            "<dimension ref=\"A1:", lastCell, "\"/>",
                            "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">"
                            "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
                            "<selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/>"
                            "</sheetView></sheetViews>"
                            "<sheetFormatPr defaultRowHeight=\"15\"/>"});
    if (!widths.empty()) {
        xml += "<cols>";
        for (size_t c = 0; c < widths.size(); ++c) {
            // Excel's column width: characters of the default font plus its 5-pixel padding,
            // in 1/256ths of a 7-pixel character.
            const double width = std::trunc((widths[c] * 7.0 + 5) / 7 * 256) / 256;
            const std::string n = std::to_string(c + 1);
            char text[32];
            const auto end = std::to_chars(text, text + sizeof text, width).ptr;
            (((((xml += "<col min=\"") += n) += "\" max=\"") += n) += "\" width=\"") += std::string_view(text, size_t(end - text));
            xml += "\" customWidth=\"1\"/>";
        }
        xml += "</cols>";
    }
    return xml + "<sheetData>";
}

std::string_view SheetTail() {
    return "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/></worksheet>";
}
