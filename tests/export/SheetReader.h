#pragma once
// Reads back what a spreadsheet application would see in a workbook written by
// the program: the sheet's cells with their resolved styles, row heights,
// column widths, the frozen pane. The parts are taken out with `unzip -p`.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace fw::test {

// The text of one member of the zip archive ("" when it cannot be read).
inline std::string unzipMember(const std::string& archive, const std::string& member)
{
    const std::string command = "unzip -p '" + archive + "' '" + member + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// Every occurrence of <tag …/> or <tag …>…</tag> (not nested in itself).
inline std::vector<std::string> elements(const std::string& xml, const std::string& tag)
{
    std::vector<std::string> out;
    const std::string open = "<" + tag, close = "</" + tag + ">";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
        const char next = at + open.size() < xml.size() ? xml[at + open.size()] : '\0';
        if (next != ' ' && next != '/' && next != '>')
            continue;
        const size_t headEnd = xml.find('>', at);
        if (headEnd == std::string::npos)
            break;
        size_t end = headEnd + 1;
        if (xml[headEnd - 1] != '/') {
            const size_t closing = xml.find(close, headEnd);
            if (closing == std::string::npos)
                break;
            end = closing + close.size();
        }
        out.push_back(xml.substr(at, end - at));
    }
    return out;
}

// Attribute `name` of the element's start tag ("" when absent).
inline std::string attribute(const std::string& element, const std::string& name)
{
    const std::string head = element.substr(0, element.find('>'));
    const std::string key = " " + name + "=\"";
    const size_t at = head.find(key);
    if (at == std::string::npos)
        return {};
    const size_t from = at + key.size();
    return head.substr(from, head.find('"', from) - from);
}

// The text between the start and end tag of the first <tag> inside `xml`.
inline std::string content(const std::string& xml, const std::string& tag)
{
    const std::vector<std::string> found = elements(xml, tag);
    if (found.empty() || found[0].back() != '>' || found[0][found[0].size() - 2] == '/')
        return {};
    const std::string& e = found[0];
    const size_t from = e.find('>') + 1;
    return e.substr(from, e.rfind("</") - from);
}

struct SheetCell {
    bool present = false;
    bool isText = false;      // an inline string
    std::string text;         // the string, or the number as written
    std::string numberFormat; // "General", "000000", "0.00%" …
    bool bold = false;
    std::string fontName;
    std::string fontSize;
    bool thinBorders = false;
    bool centred = false;
};

class SheetReader {
public:
    explicit SheetReader(const std::string& path)
    {
        const std::string sheet = unzipMember(path, "xl/worksheets/sheet1.xml");
        const std::string styles = unzipMember(path, "xl/styles.xml");
        readable = !sheet.empty() && !styles.empty();
        for (const std::string& d : elements(sheet, "dimension"))
            dimension = attribute(d, "ref");
        for (const std::string& p : elements(sheet, "pane"))
            pane = p;
        for (const std::string& c : elements(sheet, "col"))
            for (int i = std::stoi(attribute(c, "min")); i <= std::stoi(attribute(c, "max")); ++i)
                columnWidths[i] = std::stod(attribute(c, "width"));
        for (const std::string& r : elements(sheet, "row"))
            rowHeights[std::stoi(attribute(r, "r"))] = attribute(r, "ht");

        std::map<std::string, std::string> formatCodes {{"0", "General"}, {"9", "0%"}, {"10", "0.00%"}};
        for (const std::string& f : elements(styles, "numFmt"))
            formatCodes[attribute(f, "numFmtId")] = attribute(f, "formatCode");
        const std::string fontsXml = elements(styles, "fonts").at(0);
        const std::vector<std::string> fonts = elements(fontsXml, "font");
        const std::vector<std::string> borders = elements(elements(styles, "borders").at(0), "border");
        for (const std::string& xf : elements(elements(styles, "cellXfs").at(0), "xf")) {
            SheetCell style;
            style.numberFormat = formatCodes[attribute(xf, "numFmtId")];
            const std::string& font = fonts.at(size_t(std::stoi(attribute(xf, "fontId"))));
            style.bold = font.find("<b/>") != std::string::npos;
            style.fontName = attribute(elements(font, "name").at(0), "val");
            style.fontSize = attribute(elements(font, "sz").at(0), "val");
            const std::string& border = borders.at(size_t(std::stoi(attribute(xf, "borderId"))));
            style.thinBorders = elements(border, "left").at(0).find("\"thin\"") != std::string::npos
                && elements(border, "bottom").at(0).find("\"thin\"") != std::string::npos;
            style.centred = xf.find("horizontal=\"center\"") != std::string::npos;
            m_styles.push_back(style);
        }

        for (const std::string& c : elements(sheet, "c")) {
            SheetCell cell = m_styles.at(size_t(attribute(c, "s").empty() ? 0 : std::stoi(attribute(c, "s"))));
            cell.present = true;
            const std::string type = attribute(c, "t");
            // The program writes its texts inline.
            cell.isText = type == "inlineStr";
            cell.text = content(c, cell.isText ? "t" : "v");
            m_cells[attribute(c, "r")] = cell;
        }
    }

    // "A1", "Q21" …; absent cells read as not present.
    SheetCell cell(const std::string& ref) const
    {
        const auto it = m_cells.find(ref);
        return it == m_cells.end() ? SheetCell {} : it->second;
    }
    static std::string ref(int row, int column) // both from 1
    {
        std::string letters;
        for (int c = column; c > 0; c = (c - 1) / 26)
            letters.insert(letters.begin(), char('A' + (c - 1) % 26));
        return letters + std::to_string(row);
    }
    SheetCell cell(int row, int column) const { return cell(ref(row, column)); }
    size_t cellCount() const { return m_cells.size(); }

    bool readable = false;
    std::string dimension;   // "A1:Q21"
    std::string pane;        // the <pane …/> element
    std::map<int, double> columnWidths;   // by column number from 1
    std::map<int, std::string> rowHeights; // by row number from 1

private:
    std::vector<SheetCell> m_styles;
    std::map<std::string, SheetCell> m_cells;
};

} // namespace fw::test
