#pragma once
// The profile of a fund: asset size, return over the current manager's
// tenure, one-year standard deviation and one-year Sharpe ratio, cut from
// three pages of the fund archive host. No Qt; safe on any thread.
#include "net/RetryPolicy.h"
#include "text/Text.h"
#include <functional>

namespace fw {

struct FundProfile {
    Text assetSize;    // 规模(亿), as on the page ("560.44", "---")
    Text tenureReturn; // 任期回报 with its sign ("61.84%", "--")
    Text deviation;    // 标准差1年 without "%" ("25.88", "--")
    Text sharpe;       // 夏普比率1年 as shown ("2.64", "--")
    int failedPages = 0; // pages asked for that brought no 2xx answer
};

// Fund grid columns of the four figures.
inline constexpr int kAssetSizeColumn = 13;
inline constexpr int kTenureReturnColumn = 14;
inline constexpr int kDeviationColumn = 15;
inline constexpr int kSharpeColumn = 16;

// Readers of the pages (GBK text as fetched); "" when a marker is missing.
Text cutAssetSize(std::string_view basicPage);
Text cutTenureReturn(std::string_view managerPage);
Text cutDeviation(std::string_view riskPage);
Text cutSharpe(std::string_view riskPage);

class FundProfileFetch {
public:
    // With `retry` (the whole-market load) a transient failure of a page is tried again.
    explicit FundProfileFetch(std::string_view code, int timeoutSeconds = 0, const RetryPolicy* retry = nullptr);

    // Paths on the fund archive host. Two of them end in one blank, which the
    // service ignores.
    static Text basicPath(std::string_view code);   // "/jbgk_{code}.html "
    static Text managerPath(std::string_view code); // "/jjjl_{code}.html"
    static Text riskPath(std::string_view code);    // "/tsdata_{code}.html "

    // Told each figure as soon as it is cut (its fund grid column and text);
    // returning false skips the pages not yet asked for.
    using FigureSink = std::function<bool(int column, const Text& value)>;

    // The three pages one after the other. A failed page gives empty figures
    // and the next page is still asked for.
    FundProfile run(const FigureSink& sink = {}) const;

private:
    Text page(const Text& path, int& failedPages) const;

    Text m_code;
    int m_timeoutSeconds;
    const RetryPolicy* m_retry;
};

} // namespace fw
