#pragma once

#include "window/control_table.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace window {

class Control;

enum class Change { Enabled, Visible, Caption, Text, Items, Selection, Interval };

// How a front end mirrors the models: it is told of every change after the
// model has made it, and never calls back into the model from here.
class ControlObserver {
public:
    virtual ~ControlObserver() = default;
    virtual void controlChanged(const Control& control, Change change) = 0;
};

// State common to every control: its row of the window's table, enabled
// and visible flags, and the frame that contains it.
class Control {
public:
    explicit Control(std::string_view name);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    const ControlSpec& row() const { return m_spec; }
    std::string_view name() const { return m_spec.name; }
    ControlKind kind() const { return m_spec.kind; }

    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool visible() const { return m_visible; }
    void setVisible(bool visible);

    void setContainer(const Control* container) { m_container = container; }
    const Control* container() const { return m_container; }
    // A user reaches a control only while it is enabled and visible and so
    // is every frame around it.
    bool acceptsInput() const;

    void setObserver(ControlObserver* observer) { m_observer = observer; }

protected:
    void notify(Change change) const;
    // Stores value and tells the observer, unless the field already holds it.
    template <typename T>
    void assign(T& field, T value, Change change) {
        if (field == value) return;
        field = std::move(value);
        notify(change);
    }

private:
    const ControlSpec& m_spec;
    bool m_enabled;
    bool m_visible;
    const Control* m_container = nullptr;
    ControlObserver* m_observer = nullptr;
};

class Frame final : public Control {
public:
    using Control::Control;
    std::string_view caption() const { return row().caption; }
};

class Label final : public Control {
public:
    explicit Label(std::string_view name) : Control(name), m_caption(row().caption) {}
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption);

private:
    std::string m_caption;
};

class TextBox final : public Control {
public:
    using Control::Control;
    const std::string& text() const { return m_text; }
    void setText(std::string text);

private:
    std::string m_text;
};

class Button final : public Control {
public:
    using Control::Control;
    std::string_view caption() const { return row().caption; }
    // A user's press; ignored when the button cannot take input.
    void userPress();

    std::function<void()> onClick;
};

// A non-visual periodic timer. The front end runs a real timer while the
// model is enabled and calls expire() on each period.
class TimerControl final : public Control {
public:
    using Control::Control;
    int interval() const { return m_interval; }
    void setInterval(int milliseconds);
    // One expiry; runs the handler only while the timer is enabled.
    void expire();

    std::function<void()> onTimer;

private:
    int m_interval = kTimerDesignInterval;
};

// A non-editable drop-down list. Assigning the selected index from code
// runs the click handler at once, nested inside the assignment, exactly as
// a user's pick does; assigning the index the list already has runs it
// again. Clearing removes every item and the selection and runs nothing.
class SelectionList final : public Control {
public:
    using Control::Control;

    const std::vector<std::string>& items() const { return m_items; }
    int itemCount() const { return static_cast<int>(m_items.size()); }
    int listIndex() const { return m_listIndex; }
    // The selected item's text; empty when nothing is selected.
    std::string text() const;

    void clear();
    // Inserts at index (0 to itemCount()); the selection keeps its item.
    void addItem(std::string text, int index);
    // -1 selects nothing; any other index must name an item. Runs onClick.
    void setListIndex(int index);
    // A user's pick from the drop-down; ignored when the list cannot take
    // input or the index names no item.
    void userPick(int index);

    std::function<void()> onClick;

private:
    std::vector<std::string> m_items;
    int m_listIndex = -1;
};

}  // namespace window
