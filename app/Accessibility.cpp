#include "app/Accessibility.h"

#include "app/StatusLight.h"
#include "app/TerminalPane.h"

#include <QAccessibleWidget>

namespace {

class TerminalPaneAccessible : public QAccessibleWidget
{
public:
    explicit TerminalPaneAccessible(TerminalPane *pane)
        : QAccessibleWidget(pane, QAccessible::EditableText, QStringLiteral("Terminal"))
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const TerminalPane *>(widget())->visibleText();
        return QAccessibleWidget::text(t);
    }
};

class StatusLightAccessible : public QAccessibleWidget
{
public:
    explicit StatusLightAccessible(StatusLight *light)
        : QAccessibleWidget(light, QAccessible::Indicator)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const StatusLight *>(widget())->isLit() ? QStringLiteral("on")
                                                                       : QStringLiteral("off");
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *describe(const QString &, QObject *object)
{
    if (auto *pane = qobject_cast<TerminalPane *>(object))
        return new TerminalPaneAccessible(pane);
    if (auto *light = qobject_cast<StatusLight *>(object))
        return new StatusLightAccessible(light);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(describe);
        return true;
    }();
    (void)installed;
}
