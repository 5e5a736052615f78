#pragma once
// The window-level state that feature code writes to, as a plain model: the
// main window's title, control captions, enabled/visible/checked states, edit
// texts, text colours, tooltips, the stock page overlay, message boxes and the
// open state of the secondary windows. Controls are named by role (Controls.h);
// texts are GBK. Setters are safe from any thread; the Qt windows listen and
// apply each change on their UI thread.
#include "model/Controls.h"
#include "model/Grid.h"
#include "model/Listeners.h"
#include "text/Text.h"
#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fw {

// Closed: not loaded (or destroyed); Hidden: loaded, not visible; Shown: visible.
enum class WindowState : uint8_t { Closed, Hidden, Shown };

struct ViewChange {
    enum Kind { Title, Caption, Enabled, Visible, Checked, EditText, TextColour, Tooltip, StockPage, WindowOpen, Progress } kind;
    Control control = Control::Count; // Count for Title, StockPage and Progress
    Window window = Window::Main;      // for WindowOpen
};

// The thin progress bar of a long load, hidden when no load runs.
struct ProgressState {
    int value = 0;
    int maximum = 0;
    bool visible = false;
};

class View {
public:
    View();

    Text title() const;
    void setTitle(std::string_view gbkTitle);

    Text caption(Control control) const;
    void setCaption(Control control, std::string_view gbkText);
    // A caption with shorter forms of the same text, longest first; caption()
    // is the first. A label too narrow for a form shows the next one before it
    // grows or cuts the text. setCaption drops the shorter forms.
    void setCaptionForms(Control control, const std::vector<Text>& gbkForms);
    // The forms of the caption, longest first; {caption()} when it has no shorter ones.
    std::vector<Text> captionForms(Control control) const;

    bool isEnabled(Control control) const;   // default true
    void setEnabled(Control control, bool enabled);
    bool isVisible(Control control) const;   // default true unless set
    void setVisible(Control control, bool visible);
    bool isChecked(Control control) const;   // default false
    void setChecked(Control control, bool checked);
    Text editText(Control control) const;
    void setEditText(Control control, std::string_view gbkText);

    // Text colour of a control (0x00BBGGRR); kDefaultColour until set.
    Colour textColour(Control control) const;
    void setTextColour(Control control, Colour colour);

    void showTooltip(Control control, std::string_view gbkText);
    Text lastTooltip(Control control) const;

    // Stock page overlay: the URL shown ("" when closed).
    void openStockPage(std::string_view url);
    void closeStockPage();
    Text stockPageUrl() const;

    // The load's progress bar: setProgress shows it at value of maximum.
    ProgressState progress() const;
    void setProgress(int value, int maximum);
    void hideProgress();

    // The sector and step windows (the main window is always Shown).
    WindowState windowState(Window window) const;
    void setWindowState(Window window, WindowState state);

    // A modal message box with an OK button. The GUI installs a handler that
    // shows it (on the UI thread); without one the text is only recorded.
    // setMessageHandler waits for calls of the old handler running on other
    // threads, so a window that removes its handler while being destroyed is
    // never reached by a worker afterwards.
    void messageBox(std::string_view gbkText);
    using MessageHandler = std::function<void(const Text&)>;
    void setMessageHandler(MessageHandler handler);
    std::vector<Text> messages() const; // every message shown, in order

    // Listeners run after the data lock is released, one at a time, as for Grid.
    using Listener = std::function<void(const ViewChange&)>;
    int addListener(Listener listener);
    void removeListener(int id);

private:
    template <typename T>
    using PerControl = std::array<T, kControlCount>;
    static size_t index(Control control) { return static_cast<size_t>(control); }
    void notify(const ViewChange& change);

    mutable std::mutex m_mutex;
    Text m_title;
    PerControl<Text> m_captions, m_editTexts, m_tooltips;
    PerControl<std::vector<Text>> m_shorterCaptions;
    PerControl<bool> m_enabled, m_visible, m_checked;
    PerControl<Colour> m_textColours;
    std::array<WindowState, 3> m_windows {WindowState::Shown, WindowState::Closed, WindowState::Closed};
    Text m_stockUrl;
    ProgressState m_progress;
    std::vector<Text> m_messages;

    MessageHandler m_messageHandler;
    std::vector<std::thread::id> m_handlerCalls; // threads inside the handler now
    std::condition_variable m_handlerIdle;
    Listeners<const ViewChange&> m_listeners;
};

} // namespace fw
