#include "funds/EstimateInputs.h"

#include "text/JsonDocument.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <cmath>

namespace fw {

namespace {

// The JSON inside "cb({...})", or the answer itself when it is bare JSON.
bool parseAnswer(std::string_view answer, JsonDocument& doc)
{
    size_t first = answer.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return false;
    if (answer[first] != '{' && answer[first] != '[') {
        const size_t open = answer.find('(');
        const size_t close = answer.rfind(')');
        if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
            return false;
        answer = answer.substr(open + 1, close - open - 1);
    }
    return doc.parse(answer) && doc.typeOf() == JsonType::Object;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A figure written as text ("9.85", " -0.5"); none for "", "--" and anything
// that does not begin with a number.
std::optional<double> figureIn(std::string_view text)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    if (i < text.size() && text[i] == '.')
        ++i;
    if (i >= text.size() || !isDigit(text[i]))
        return std::nullopt;
    const double value = textValue(text);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// A figure the service sent as a number or as text.
std::optional<double> figureAt(const JsonDocument& doc, std::string_view path)
{
    const JsonType type = doc.typeOf(path);
    if (type == JsonType::String)
        return figureIn(doc.getText(path));
    if (type != JsonType::Number)
        return std::nullopt;
    const double value = doc.getNumber(path);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The service's failures: ErrCode other than 0, or Success false.
bool answeredWell(const JsonDocument& doc)
{
    if (doc.hasMember("ErrCode") && doc.getNumber("ErrCode") != 0)
        return false;
    return doc.typeOf("Success") == JsonType::None || doc.getText("Success") != "false";
}

// "2026-12-07 09:31" -> 571; -1 when the text ends in no hh:mm.
int minuteOf(std::string_view time)
{
    const size_t colon = time.rfind(':');
    if (colon == std::string_view::npos || colon < 2 || colon + 3 != time.size())
        return -1;
    const char* p = time.data() + colon;
    if (!isDigit(p[-2]) || !isDigit(p[-1]) || !isDigit(p[1]) || !isDigit(p[2]))
        return -1;
    const int hour = (p[-2] - '0') * 10 + (p[-1] - '0');
    const int minute = (p[1] - '0') * 10 + (p[2] - '0');
    if (hour > 23 || minute > 59)
        return -1;
    return hour * 60 + minute;
}

} // namespace

Text targetQuoteId(std::string_view etfCode)
{
    if (etfCode.empty())
        return {};
    return (etfCode.front() == '5' ? "1." : "0.") + Text(etfCode);
}

std::optional<FundPositions> readFundPositions(std::string_view answer)
{
    JsonDocument doc;
    if (!parseAnswer(answer, doc) || !answeredWell(doc) || doc.typeOf("Datas") != JsonType::Object)
        return std::nullopt;
    FundPositions out;
    const int count = doc.memberCount("Datas.fundStocks");
    if (doc.typeOf("Datas.fundStocks") == JsonType::Array) {
        for (int i = 0; i < count; ++i) {
            const Text row = "Datas.fundStocks[" + intText(i) + "].";
            ListedHolding h;
            h.code = doc.getText(row + "GPDM");
            if (h.code.empty())
                continue;
            h.name = doc.getText(row + "GPJC");
            h.share = figureAt(doc, row + "JZBL").value_or(0);
            const Text market = doc.getText(row + "NEWTEXCH");
            if (!market.empty() && market.find_first_not_of("0123456789") == Text::npos)
                h.quoteId = market + "." + h.code;
            out.stocks.push_back(std::move(h));
        }
    }
    // null when the fund invests in no exchange-traded fund.
    if (doc.typeOf("Datas.ETFCODE") == JsonType::String) {
        out.targetCode = doc.getText("Datas.ETFCODE");
        out.targetName = doc.getText("Datas.ETFSHORTNAME");
        out.targetQuoteId = targetQuoteId(out.targetCode);
    }
    if (doc.typeOf("Expansion") == JsonType::String)
        out.disclosureDate = doc.getText("Expansion");
    return out;
}

std::optional<AssetMix> readAssetMix(std::string_view answer)
{
    JsonDocument doc;
    if (!parseAnswer(answer, doc) || !answeredWell(doc) || doc.typeOf("Datas") != JsonType::Array
        || doc.memberCount("Datas") == 0)
        return std::nullopt;
    // Newest first; the dates are compared too, in case an answer is not.
    int newest = 0;
    for (int i = 1; i < doc.memberCount("Datas"); ++i) {
        if (doc.getText("Datas[" + intText(i) + "].FSRQ") > doc.getText("Datas[" + intText(newest) + "].FSRQ"))
            newest = i;
    }
    const Text row = "Datas[" + intText(newest) + "].";
    AssetMix mix;
    mix.date = doc.getText(row + "FSRQ");
    mix.stocks = figureAt(doc, row + "GP");
    mix.bonds = figureAt(doc, row + "ZQ");
    mix.cash = figureAt(doc, row + "HB");
    mix.other = figureAt(doc, row + "QT");
    mix.netAssets = figureAt(doc, row + "JZC");
    return mix;
}

std::optional<MinuteBars> readMinuteBars(std::string_view answer)
{
    JsonDocument doc;
    if (!parseAnswer(answer, doc) || doc.typeOf("data") != JsonType::Object)
        return std::nullopt;
    const std::optional<double> preClose = figureAt(doc, "data.preClose");
    if (!preClose || !(*preClose > 0))
        return std::nullopt;
    MinuteBars out;
    out.code = doc.getText("data.code");
    out.name = doc.getText("data.name");
    out.preClose = *preClose;
    const int count = doc.memberCount("data.trends");
    for (int i = 0; i < count; ++i) {
        // time, open, close, high, low, volume, amount, average
        const TextList fields = splitText(doc.getText("data.trends[" + intText(i) + "]"), ",");
        if (fields.size() < 3)
            continue;
        MinuteBar bar;
        bar.time = fields[0];
        bar.minute = minuteOf(fields[0]);
        const std::optional<double> value = figureIn(fields[2]);
        if (bar.minute < 0 || !value || !(*value > 0))
            continue;
        bar.close = *value;
        out.bars.push_back(std::move(bar));
    }
    return out;
}

} // namespace fw
