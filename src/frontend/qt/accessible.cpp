#include "frontend/qt/main_window.h"

#include "window/control_table.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>
#include <QWidget>

#include <string>

namespace frontend::qt {

namespace {

constexpr char kControlProperty[] = "vandrelControl";

std::string controlName(const QObject* object) { return object->property(kControlProperty).toString().toStdString(); }

// A frame is a group whose children are the controls a user can see: a
// hidden control keeps its items for the code that uses it, but must not be
// announced.
class FrameAccessible final : public QAccessibleWidget {
public:
    explicit FrameAccessible(QGroupBox* frame) : QAccessibleWidget(frame, QAccessible::Grouping) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<QGroupBox*>(widget())->title();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return static_cast<int>(shownChildren().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = shownChildren();
        if (index < 0 || index >= children.size()) return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child || !child->object()) return -1;
        return static_cast<int>(shownChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> shownChildren() const {
        QList<QWidget*> shown;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->isHidden()) shown.append(w);
        }
        return shown;
    }
};

// A widget read as a read-only text without a caret, which is how readers
// fetch what a value field or a list shows: named by its accessible name,
// with what it shows as its value.
class ShownText : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    ShownText(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
    virtual QString shown() const = 0;

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: return widget()->accessibleName();
        case QAccessible::Value: return shown();
        default: return QAccessibleWidget::text(t);
        }
    }

    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString all = shown();
        if (end < 0 || end > all.size()) end = static_cast<int>(all.size());
        if (start < 0 || start > end) return {};
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(shown().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = *end = 0;
        return {};
    }
};

// Qt names a read-only combo box on Linux by its current item, leaving the
// caption to a relation that not every reader follows; the list is named
// here by its label and keeps its current item as the value.
class ListAccessible final : public ShownText {
public:
    explicit ListAccessible(QComboBox* list) : ShownText(list, QAccessible::ComboBox) {}

    QString shown() const override { return list()->currentText(); }
    // The one child is the drop-down's item view, where a reader finds the
    // items and the selected one.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{QAccessibleActionInterface::showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == QAccessibleActionInterface::showMenuAction()) list()->showPopup();
        else QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* list() const { return static_cast<QComboBox*>(widget()); }
};

// A value field is announced by the caption beside it, with the unit's
// string as its text.
class ValueFieldAccessible final : public ShownText {
public:
    explicit ValueFieldAccessible(QLabel* field) : ShownText(field, QAccessible::StaticText) {}

    QString shown() const override {
        const std::string caption = static_cast<QLabel*>(widget())->text().toStdString();
        const std::string_view value = window::accessibleValue(caption);
        return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    }
};

QAccessibleInterface* accessibleFor(const QString& key, QObject* object) {
    if (!object || !object->property(kControlProperty).isValid()) return nullptr;
    if (key == QLatin1String("QGroupBox")) return new FrameAccessible(static_cast<QGroupBox*>(object));
    if (key == QLatin1String("QComboBox")) return new ListAccessible(static_cast<QComboBox*>(object));
    if (key == QLatin1String("QLabel")) {
        const window::ControlSpec* row = window::findControlSpec(controlName(object));
        if (row && row->valueField) return new ValueFieldAccessible(static_cast<QLabel*>(object));
    }
    return nullptr;
}

}  // namespace

void markAccessible(QWidget* widget, std::string_view controlName) {
    widget->setProperty(kControlProperty,
                        QString::fromUtf8(controlName.data(), static_cast<qsizetype>(controlName.size())));
}

void installAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleFor);
        return true;
    }();
    (void)installed;
}

}  // namespace frontend::qt
