#pragma once
// The stock page overlay: a stock's shareholder page of the market data host
// in the embedded browser, laid over the right part of the main window. The
// feature decides what is shown; the window places the controls by the
// geometry below. No Qt.
#include "model/View.h"
#include "text/Text.h"

namespace fw {

struct OverlayRect {
    int left, top, width, height;
};

// Design positions (the frame's children relative to the frame). The viewer's
// negative offsets leave the page's first 130 columns and 384 rows outside
// the frame.
inline constexpr OverlayRect kStockFrameRect {504, 8, 872, 336};
inline constexpr OverlayRect kStockViewerRect {-130, -384, 1002, 776};
inline constexpr OverlayRect kStockCloseRect {808, 0, 64, 56};
// Heights while a page is shown (widths and positions stay).
inline constexpr int kStockFrameOpenHeight = 872;
inline constexpr int kStockViewerOpenHeight = 1264;

// What becomes of a navigation of the overlay's page.
enum class StockNavigation {
    Load,        // shown in the overlay
    OpenOutside, // handed to the user's own browser
    Refuse,      // dropped without a word
};

class StockPage {
public:
    explicit StockPage(View& view) : m_view(view) {}

    // "/gdhs/detail/{code}.html" on the market data host.
    static Text url(std::string_view stockCode);
    // True when `url` is an http or https URL on the market data host: the same
    // host and port (the scheme's own port counts as the same across http and
    // https). Links elsewhere open outside the program.
    static bool staysInOverlay(std::string_view url);
    // A main-frame navigation of the overlay's page: pages of the market data
    // host and about:blank load; another web page opens outside only when it
    // is a link the user clicked (`linkClicked` by the engine's account, and
    // `userJustActed`: a button or key pressed on the page just before), as
    // scripts, refreshes and redirects must never start the user's browser;
    // everything else is refused.
    static StockNavigation navigation(std::string_view url, bool linkClicked, bool userJustActed);

    // Shows the overlay with the stock's page; an empty code does nothing.
    void open(std::string_view stockCode);
    void close();

private:
    View& m_view;
};

} // namespace fw
