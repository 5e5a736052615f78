#include "app/View.h"

namespace fw {

namespace {
template <typename Map, typename Value>
Value lookup(const Map& map, const std::string& key, Value fallback)
{
    auto it = map.find(key);
    return it == map.end() ? fallback : it->second;
}
} // namespace

Text View::title() const
{
    std::lock_guard lock(m_mutex);
    return m_title;
}

void View::setTitle(std::string_view gbkTitle)
{
    {
        std::lock_guard lock(m_mutex);
        m_title.assign(gbkTitle);
    }
    notify({ViewChange::Title, {}});
}

Text View::caption(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_captions, control, Text());
}

void View::setCaption(const std::string& control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_captions[control].assign(gbkText);
    }
    notify({ViewChange::Caption, control});
}

bool View::isEnabled(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_enabled, control, true);
}

void View::setEnabled(const std::string& control, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        m_enabled[control] = enabled;
    }
    notify({ViewChange::Enabled, control});
}

bool View::isVisible(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_visible, control, true);
}

void View::setVisible(const std::string& control, bool visible)
{
    {
        std::lock_guard lock(m_mutex);
        m_visible[control] = visible;
    }
    notify({ViewChange::Visible, control});
}

bool View::isChecked(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_checked, control, false);
}

void View::setChecked(const std::string& control, bool checked)
{
    {
        std::lock_guard lock(m_mutex);
        m_checked[control] = checked;
    }
    notify({ViewChange::Checked, control});
}

Text View::editText(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_editTexts, control, Text());
}

void View::setEditText(const std::string& control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_editTexts[control].assign(gbkText);
    }
    notify({ViewChange::EditText, control});
}

Colour View::textColour(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_textColours, control, kDefaultColour);
}

void View::setTextColour(const std::string& control, Colour colour)
{
    {
        std::lock_guard lock(m_mutex);
        m_textColours[control] = colour;
    }
    notify({ViewChange::TextColour, control});
}

void View::showTooltip(const std::string& control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_tooltips[control].assign(gbkText);
    }
    notify({ViewChange::Tooltip, control});
}

Text View::lastTooltip(const std::string& control) const
{
    std::lock_guard lock(m_mutex);
    return lookup(m_tooltips, control, Text());
}

void View::openStockPage(std::string_view url)
{
    {
        std::lock_guard lock(m_mutex);
        m_stockUrl.assign(url);
    }
    notify({ViewChange::StockPage, {}});
}

void View::closeStockPage()
{
    {
        std::lock_guard lock(m_mutex);
        m_stockUrl.clear();
    }
    notify({ViewChange::StockPage, {}});
}

Text View::stockPageUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_stockUrl;
}

void View::messageBox(std::string_view gbkText)
{
    MessageHandler handler;
    Text text(gbkText);
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(text);
        handler = m_messageHandler;
    }
    // The handler may block until the user closes the box: never under the lock.
    if (handler)
        handler(text);
}

void View::setMessageHandler(MessageHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_messageHandler = std::move(handler);
}

std::vector<Text> View::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int View::addListener(Listener listener) { return m_listeners.add(std::move(listener)); }

void View::removeListener(int id) { m_listeners.remove(id); }

void View::notify(const ViewChange& change) { m_listeners.notify(change); }

} // namespace fw
