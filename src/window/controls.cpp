#include "window/controls.h"

#include <cassert>

namespace window {

namespace {

const ControlSpec& specOf(std::string_view name) {
    const ControlSpec* row = findControlSpec(name);
    assert(row && "every control model names a row of the window's table");
    return *row;
}

}  // namespace

Control::Control(std::string_view name) : m_spec(specOf(name)), m_enabled(m_spec.enabled), m_visible(m_spec.visible) {}

void Control::setEnabled(bool enabled) { assign(m_enabled, enabled, Change::Enabled); }

void Control::setVisible(bool visible) { assign(m_visible, visible, Change::Visible); }

bool Control::acceptsInput() const {
    for (const Control* c = this; c; c = c->m_container)
        if (!c->m_enabled || !c->m_visible) return false;
    return true;
}

void Control::notify(Change change) const {
    if (m_observer) m_observer->controlChanged(*this, change);
}

void Label::setCaption(std::string caption) { assign(m_caption, std::move(caption), Change::Caption); }

void TextBox::setText(std::string text) { assign(m_text, std::move(text), Change::Text); }

void Button::userPress() {
    if (acceptsInput() && onClick) onClick();
}

void TimerControl::setInterval(int milliseconds) { assign(m_interval, milliseconds, Change::Interval); }

void TimerControl::expire() {
    if (enabled() && onTimer) onTimer();
}

std::string SelectionList::text() const {
    if (m_listIndex < 0 || m_listIndex >= itemCount()) return {};
    return m_items[static_cast<std::size_t>(m_listIndex)];
}

void SelectionList::clear() {
    if (m_items.empty() && m_listIndex == -1) return;
    m_items.clear();
    m_listIndex = -1;
    notify(Change::Items);
}

void SelectionList::addItem(std::string text, int index) {
    assert(index >= 0 && index <= itemCount());
    if (index < 0 || index > itemCount()) index = itemCount();
    m_items.insert(m_items.begin() + index, std::move(text));
    if (m_listIndex >= index) ++m_listIndex;
    notify(Change::Items);
}

void SelectionList::setListIndex(int index) {
    assert(index >= -1 && index < itemCount());
    if (index < -1 || index >= itemCount()) return;
    if (m_listIndex != index) {
        m_listIndex = index;
        notify(Change::Selection);
    }
    if (onClick) onClick();
}

void SelectionList::userPick(int index) {
    if (!acceptsInput() || index < 0 || index >= itemCount()) return;
    setListIndex(index);
}

}  // namespace window
