// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/spoken_text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace {

constexpr const char* kSpokenProperty = "zentrixSpokenText";

// The widget as a static text whose name is its spoken text; its
// description is its tooltip (the device path of a row).
class CSpokenTextInterface : public QAccessibleWidget {
public:
    explicit CSpokenTextInterface(QWidget* widget) : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return SpokenText(*widget());
        case QAccessible::Description:
            return widget()->accessibleDescription().isEmpty() ? widget()->toolTip() : widget()->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* SpokenTextFactory(const QString& /*className*/, QObject* object)
{
    if (object != nullptr && object->isWidgetType() && object->property(kSpokenProperty).isValid()) {
        return new CSpokenTextInterface(static_cast<QWidget*>(object));
    }
    return nullptr;
}

void InstallFactoryOnce()
{
    static const bool installed = [] {
        QAccessible::installFactory(SpokenTextFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace

void SetSpokenText(QWidget& widget, const QString& text)
{
    // Before the widget's interface is first made: the factory must see it.
    InstallFactoryOnce();
    widget.setProperty(kSpokenProperty, text);
}

QString SpokenText(const QWidget& widget)
{
    return widget.property(kSpokenProperty).toString();
}

void AnnounceSpokenText(QWidget& widget)
{
    QAccessibleEvent event(&widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void SetAccessibleName(QWidget& widget, const QString& name)
{
    if (widget.accessibleName() != name) {
        widget.setAccessibleName(name);
    }
}

void SetAccessibleDescription(QWidget& widget, const QString& description)
{
    if (widget.accessibleDescription() != description) {
        widget.setAccessibleDescription(description);
    }
}
