#include "app/Accessibility.h"

#include "app/StatusLight.h"
#include "app/TerminalPane.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace {

// The pane's text as an assistive tool counts it: its rows joined by line feeds, an offset
// counting characters from the first row's start.
class PaneText
{
public:
    explicit PaneText(const TerminalPane &pane) : m_rows(pane.textRows())
    {
        int start = 0;
        for (const QString &row : std::as_const(m_rows)) {
            m_starts << start;
            start += int(row.size()) + 1;
        }
        m_length = start - 1;
    }

    QString whole() const { return m_rows.join(QLatin1Char('\n')); }
    int length() const { return m_length; }
    int rowCount() const { return int(m_rows.size()); }

    // A cell past the end of its row is the row's end; one below the text is the text's end.
    int offsetOf(TerminalPane::Cell cell) const
    {
        if (cell.row >= rowCount())
            return m_length;
        const int row = std::max(0, cell.row);
        return m_starts.at(row) + std::clamp(cell.column, 0, int(m_rows.at(row).size()));
    }

    TerminalPane::Cell cellOf(int offset) const
    {
        const int clamped = std::clamp(offset, 0, m_length);
        const auto after = std::upper_bound(m_starts.cbegin(), m_starts.cend(), clamped);
        const int row = int(after - m_starts.cbegin()) - 1;
        return TerminalPane::Cell{row, clamped - m_starts.at(row)};
    }

    // A row with its line feed, and where it starts and ends; nothing outside the rows.
    QString line(int row, int *start, int *end) const
    {
        if (row < 0 || row >= rowCount()) {
            *start = *end = row < 0 ? 0 : m_length;
            return QString();
        }
        *start = m_starts.at(row);
        *end = row + 1 < rowCount() ? m_starts.at(row + 1) : m_length;
        return whole().mid(*start, *end - *start);
    }

private:
    QStringList m_rows;
    QList<int> m_starts;
    int m_length = 0;
};

// The pane's name and the text in view as its value, and its whole text read as a document:
// the caret is the unit's cursor (which only the unit moves), a selection is the operator's
// drag, and a line is a row.
class TerminalPaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit TerminalPaneAccessible(TerminalPane *pane)
        : QAccessibleWidget(pane, QAccessible::EditableText, QStringLiteral("Terminal"))
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return pane().visibleText();
        return QAccessibleWidget::text(t);
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        TerminalPane::Cell start;
        TerminalPane::Cell end;
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && pane().selectedCells(&start, &end)) {
            const PaneText text(pane());
            *startOffset = text.offsetOf(start);
            *endOffset = text.offsetOf(end);
        }
    }
    int selectionCount() const override { return pane().hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            pane().deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        const PaneText text(pane());
        if (selectionIndex == 0)
            pane().selectCells(text.cellOf(startOffset), text.cellOf(endOffset));
    }

    int cursorPosition() const override
    {
        const TerminalModel &model = pane().model();
        return PaneText(pane()).offsetOf(
            {model.screenTopIndex() + model.cursorRow(), model.cursorColumn()});
    }
    void setCursorPosition(int) override {}

    // An end before the start, as -1 is, reads to the end.
    QString text(int startOffset, int endOffset) const override
    {
        const QString whole = PaneText(pane()).whole();
        const int start = std::clamp(startOffset, 0, int(whole.size()));
        const int end = endOffset < start ? int(whole.size()) : endOffset;
        return whole.mid(start, end - start);
    }
    int characterCount() const override { return PaneText(pane()).length(); }

    // A line is a row; the other boundaries Qt finds in the whole text.
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        return type == QAccessible::LineBoundary ? rowAround(offset, -1, startOffset, endOffset)
                                                 : QAccessibleTextInterface::textBeforeOffset(
                                                       offset, type, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        return type == QAccessible::LineBoundary ? rowAround(offset, 1, startOffset, endOffset)
                                                 : QAccessibleTextInterface::textAfterOffset(
                                                       offset, type, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        return type == QAccessible::LineBoundary
                   ? rowAround(offset, 0, startOffset, endOffset)
                   : QAccessibleTextInterface::textAtOffset(offset, type, startOffset, endOffset);
    }

    // Screen coordinates, as the tools ask for them.
    QRect characterRect(int offset) const override
    {
        const QRect cell = pane().cellRect(PaneText(pane()).cellOf(offset));
        return QRect(pane().viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint inView = pane().viewport()->mapFromGlobal(point);
        return PaneText(pane()).offsetOf(pane().cellAt(inView));
    }
    void scrollToSubstring(int startIndex, int) override
    {
        pane().showRow(PaneText(pane()).cellOf(startIndex).row);
    }
    // One colour and one font for all of it.
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

private:
    TerminalPane &pane() const { return *static_cast<TerminalPane *>(widget()); }

    // The row at the offset, or 'step' rows from it, with its line feed.
    QString rowAround(int offset, int step, int *startOffset, int *endOffset) const
    {
        const PaneText text(pane());
        return text.line(text.cellOf(offset).row + step, startOffset, endOffset);
    }
};

// A light reads "on" or "off" as its value text, and 1 or 0 as its value.
class StatusLightAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit StatusLightAccessible(StatusLight *light)
        : QAccessibleWidget(light, QAccessible::Indicator)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return lit() ? QStringLiteral("on") : QStringLiteral("off");
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return lit() ? 1 : 0; }
    // The line lights it, not the operator.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 1; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    bool lit() const { return static_cast<const StatusLight *>(widget())->isLit(); }
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
