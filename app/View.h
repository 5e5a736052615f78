#pragma once
// The window-level state that feature code writes to, as a plain model:
// the title, control captions, enabled/visible/checked states, edit texts,
// message boxes, tooltips and the stock page overlay. Controls are named by
// their designed names (UTF-8 of the source: "标签5", "选择板块钮" …); texts
// are GBK. Setters are safe from any thread; the Qt window listens and applies
// each change on its UI thread.
#include "app/Grid.h"
#include "app/Listeners.h"
#include "text/Text.h"
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fw {

struct ViewChange {
    enum Kind { Title, Caption, Enabled, Visible, Checked, EditText, TextColour, Tooltip, StockPage } kind;
    std::string control; // designed name (UTF-8); empty for Title
};

class View {
public:
    Text title() const;
    void setTitle(std::string_view gbkTitle);

    Text caption(const std::string& control) const;
    void setCaption(const std::string& control, std::string_view gbkText);

    bool isEnabled(const std::string& control) const;   // default true
    void setEnabled(const std::string& control, bool enabled);
    bool isVisible(const std::string& control) const;   // default true unless set
    void setVisible(const std::string& control, bool visible);
    bool isChecked(const std::string& control) const;   // default false
    void setChecked(const std::string& control, bool checked);
    Text editText(const std::string& control) const;
    void setEditText(const std::string& control, std::string_view gbkText);

    // Text colour of a control (0x00BBGGRR); kDefaultColour until set.
    Colour textColour(const std::string& control) const;
    void setTextColour(const std::string& control, Colour colour);

    void showTooltip(const std::string& control, std::string_view gbkText);
    Text lastTooltip(const std::string& control) const;

    // Stock page overlay: the URL shown ("" when closed).
    void openStockPage(std::string_view url);
    void closeStockPage();
    Text stockPageUrl() const;

    // A modal message box with an OK button. The GUI installs a handler that
    // shows it (on the UI thread); without one the text is only recorded.
    void messageBox(std::string_view gbkText);
    using MessageHandler = std::function<void(const Text&)>;
    void setMessageHandler(MessageHandler handler);
    std::vector<Text> messages() const; // every message shown, in order

    // Listeners run after the data lock is released, one at a time, as for Grid.
    using Listener = std::function<void(const ViewChange&)>;
    int addListener(Listener listener);
    void removeListener(int id);

private:
    void notify(const ViewChange& change);
    mutable std::mutex m_mutex;
    Text m_title;
    std::map<std::string, Text> m_captions, m_editTexts, m_tooltips;
    std::map<std::string, bool> m_enabled, m_visible, m_checked;
    std::map<std::string, Colour> m_textColours;
    Text m_stockUrl;
    std::vector<Text> m_messages;
    MessageHandler m_messageHandler;
    Listeners<const ViewChange&> m_listeners;
};

} // namespace fw
