#include "model/View.h"

#include <algorithm>

namespace fw {

View::View()
{
    m_enabled.fill(true);
    m_visible.fill(true);
    m_checked.fill(false);
    m_textColours.fill(kDefaultColour);
}

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
    notify({ViewChange::Title});
}

Text View::caption(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_captions[index(control)];
}

void View::setCaption(Control control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_captions[index(control)].assign(gbkText);
        m_shorterCaptions[index(control)].clear();
    }
    notify({ViewChange::Caption, control});
}

void View::setCaptionForms(Control control, const std::vector<Text>& gbkForms)
{
    {
        std::lock_guard lock(m_mutex);
        m_captions[index(control)] = gbkForms.empty() ? Text() : gbkForms.front();
        m_shorterCaptions[index(control)].assign(gbkForms.begin() + (gbkForms.empty() ? 0 : 1), gbkForms.end());
    }
    notify({ViewChange::Caption, control});
}

std::vector<Text> View::captionForms(Control control) const
{
    std::lock_guard lock(m_mutex);
    std::vector<Text> forms {m_captions[index(control)]};
    const std::vector<Text>& shorter = m_shorterCaptions[index(control)];
    forms.insert(forms.end(), shorter.begin(), shorter.end());
    return forms;
}

bool View::isEnabled(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_enabled[index(control)];
}

void View::setEnabled(Control control, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        m_enabled[index(control)] = enabled;
    }
    notify({ViewChange::Enabled, control});
}

bool View::isVisible(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_visible[index(control)];
}

void View::setVisible(Control control, bool visible)
{
    {
        std::lock_guard lock(m_mutex);
        m_visible[index(control)] = visible;
    }
    notify({ViewChange::Visible, control});
}

bool View::isChecked(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_checked[index(control)];
}

void View::setChecked(Control control, bool checked)
{
    {
        std::lock_guard lock(m_mutex);
        m_checked[index(control)] = checked;
    }
    notify({ViewChange::Checked, control});
}

Text View::editText(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_editTexts[index(control)];
}

void View::setEditText(Control control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_editTexts[index(control)].assign(gbkText);
    }
    notify({ViewChange::EditText, control});
}

Colour View::textColour(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_textColours[index(control)];
}

void View::setTextColour(Control control, Colour colour)
{
    {
        std::lock_guard lock(m_mutex);
        m_textColours[index(control)] = colour;
    }
    notify({ViewChange::TextColour, control});
}

void View::showTooltip(Control control, std::string_view gbkText)
{
    {
        std::lock_guard lock(m_mutex);
        m_tooltips[index(control)].assign(gbkText);
    }
    notify({ViewChange::Tooltip, control});
}

Text View::lastTooltip(Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_tooltips[index(control)];
}

void View::openStockPage(std::string_view url)
{
    {
        std::lock_guard lock(m_mutex);
        m_stockUrl.assign(url);
    }
    notify({ViewChange::StockPage});
}

void View::closeStockPage()
{
    {
        std::lock_guard lock(m_mutex);
        m_stockUrl.clear();
    }
    notify({ViewChange::StockPage});
}

Text View::stockPageUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_stockUrl;
}

ProgressState View::progress() const
{
    std::lock_guard lock(m_mutex);
    return m_progress;
}

void View::setProgress(int value, int maximum)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress = {value, maximum, true};
    }
    notify({ViewChange::Progress});
}

void View::hideProgress()
{
    {
        std::lock_guard lock(m_mutex);
        m_progress.visible = false;
    }
    notify({ViewChange::Progress});
}

WindowState View::windowState(Window window) const
{
    std::lock_guard lock(m_mutex);
    return m_windows[static_cast<size_t>(window)];
}

void View::setWindowState(Window window, WindowState state)
{
    if (window == Window::Main)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_windows[static_cast<size_t>(window)] = state;
    }
    notify({ViewChange::WindowOpen, Control::Count, window});
}

void View::messageBox(std::string_view gbkText)
{
    MessageHandler handler;
    Text text(gbkText);
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(text);
        if (!m_messageHandler)
            return;
        handler = m_messageHandler;
        m_handlerCalls.push_back(self);
    }
    // The handler may block until the user closes the box: never under the lock.
    handler(text);
    {
        std::lock_guard lock(m_mutex);
        m_handlerCalls.erase(std::find(m_handlerCalls.begin(), m_handlerCalls.end(), self));
    }
    m_handlerIdle.notify_all();
}

void View::setMessageHandler(MessageHandler handler)
{
    std::unique_lock lock(m_mutex);
    m_messageHandler = std::move(handler);
    // Calls of the old handler on this thread (a box open while the window
    // closes) are further up this very stack; only other threads are waited for.
    const auto self = std::this_thread::get_id();
    m_handlerIdle.wait(lock, [&] {
        return std::all_of(m_handlerCalls.begin(), m_handlerCalls.end(),
                           [self](std::thread::id id) { return id == self; });
    });
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
