#include "app/TerminalPane.h"

#include "link/TerminalBytes.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int TextMargin = 2;
constexpr int LargestFontPixels = 12;
constexpr int SmallestFontPixels = 6;
// What the pane's 513 pixels leave for a line of text: less its frame, its vertical scroll
// bar and the margins on both sides.
constexpr int LineWidth = 513 - 2 - 18 - 2 * TextMargin;

const QColor DefaultBackground(0, 0, 0);
const QColor DefaultText(192, 192, 192);

// Latin-1 gives every byte a character, but C1 controls draw as nothing and a soft hyphen
// has no width, either of which would pull the rest of a row off the cell grid.
QChar displayCharacter(unsigned char byte)
{
    if (byte < 0x20 || (byte >= 0x7f && byte <= 0x9f))
        return QChar(0x00b7);
    if (byte == 0xad)
        return QLatin1Char('-');
    return QChar(byte);
}

QString rowForDisplay(QByteArrayView row)
{
    QString text;
    text.reserve(row.size());
    for (const char byte : row)
        text.append(displayCharacter(static_cast<unsigned char>(byte)));
    return text;
}

bool staysWithWindow(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        break;
    }
    return event.modifiers() & (Qt::AltModifier | Qt::MetaModifier);
}

QByteArray bytesForKey(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray(1, TerminalBytes::CarriageReturn);
    case Qt::Key_Backspace:
        return QByteArray(1, TerminalBytes::Backspace);
    default:
        break;
    }
    const bool control = event.modifiers() & Qt::ControlModifier;
    if (control && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return QByteArray(1, static_cast<char>(event.key() - Qt::Key_A + 1));
    QByteArray bytes;
    for (const QChar character : event.text()) {
        if (character.unicode() <= 0xff)
            bytes.append(static_cast<char>(character.unicode()));
    }
    return bytes;
}

} // namespace

TerminalPane::TerminalPane(QWidget *parent)
    : QAbstractScrollArea(parent), m_backgroundColour(DefaultBackground), m_textColour(DefaultText),
      m_font(defaultTerminalFont())
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    updateFontMetrics();
    updateScrollBars();
}

void TerminalPane::WriteChar(char c)
{
    const int bellsBefore = m_model.bellCount();
    m_model.write(c);
    afterOutput(bellsBefore);
}

void TerminalPane::WriteString(QByteArrayView bytes)
{
    const int bellsBefore = m_model.bellCount();
    m_model.write(bytes);
    afterOutput(bellsBefore);
}

void TerminalPane::ClearAll()
{
    m_model.clear();
    m_selecting = false;
    clearSelection();
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void TerminalPane::setBackgroundColour(const QColor &colour)
{
    if (!colour.isValid() || colour == m_backgroundColour)
        return;
    m_backgroundColour = colour;
    viewport()->update();
}

void TerminalPane::setTextColour(const QColor &colour)
{
    if (!colour.isValid() || colour == m_textColour)
        return;
    m_textColour = colour;
    viewport()->update();
}

void TerminalPane::setTerminalFont(const QFont &font)
{
    m_font = font;
    m_font.setKerning(false);
    updateFontMetrics();
    updateGeometry();
    updateScrollBars();
    scrollToCursor();
    viewport()->update();
}

QFont TerminalPane::fontForDialog() const
{
    const QFontInfo drawn(m_font);
    QFont font(drawn.family());
    font.setStyleName(drawn.styleName());
    font.setPointSize(std::max(1, qRound(drawn.pointSizeF())));
    return font;
}

QFont TerminalPane::defaultTerminalFont()
{
    // Courier New where it is installed, else the monospaced font that the set-up installs.
    QString family = QStringLiteral("Courier New");
    if (!QFontDatabase::hasFamily(family))
        family = QStringLiteral("DejaVu Sans Mono");
    QFont font(family);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    font.setKerning(false);
    // 12 pixels high, or smaller until a whole line fits without scrolling sideways.
    for (int pixels = LargestFontPixels; pixels > SmallestFontPixels; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(QLatin1Char('M')) * TerminalModel::Columns <=
            LineWidth)
            break;
    }
    return font;
}

QString TerminalPane::selectedText() const
{
    if (!hasSelection())
        return {};
    const qint64 firstLine = std::min(m_selectionAnchor.line, m_selectionEnd.line);
    const qint64 lastLine = std::max(m_selectionAnchor.line, m_selectionEnd.line);
    QStringList lines;
    for (qint64 line = firstLine; line <= lastLine; ++line) {
        const int rowIndex = rowOfLine(line);
        int firstColumn = 0;
        int endColumn = 0;
        if (!selectedColumns(rowIndex, &firstColumn, &endColumn)) {
            lines.append(QString());
            continue;
        }
        QByteArrayView cells = m_model.rowBytes(rowIndex).sliced(firstColumn);
        cells.truncate(endColumn - firstColumn);
        while (!cells.isEmpty() && cells.back() == ' ')
            cells.chop(1);
        lines.append(QString::fromLatin1(cells));
    }
    return lines.join(QLatin1Char('\n'));
}

bool TerminalPane::hasSelection() const
{
    return m_selectionAnchor.line != m_selectionEnd.line ||
           m_selectionAnchor.column != m_selectionEnd.column;
}

QSize TerminalPane::sizeHint() const
{
    const int frame = 2 * frameWidth();
    const int width = TerminalModel::Columns * m_cellWidth + 2 * TextMargin + frame +
                      verticalScrollBar()->sizeHint().width();
    const int height = TerminalModel::ScreenRows * m_lineHeight + frame;
    return QSize(width, height);
}

void TerminalPane::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), m_backgroundColour);
    painter.setFont(m_font);
    const int viewportHeight = viewport()->height();
    const int firstRow = firstVisibleRow();
    for (int offset = 0; offset * m_lineHeight < viewportHeight; ++offset) {
        const int rowIndex = firstRow + offset;
        if (rowIndex >= m_model.rowCount())
            break;
        paintRow(painter, rowIndex, offset * m_lineHeight);
    }
}

void TerminalPane::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    scrollToCursor();
}

void TerminalPane::keyPressEvent(QKeyEvent *event)
{
    const QByteArray typed = staysWithWindow(*event) ? QByteArray() : bytesForKey(*event);
    if (typed.isEmpty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    for (const char byte : typed)
        deliverTypedByte(byte);
    scrollToCursor();
    event->accept();
}

void TerminalPane::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selecting = true;
    m_selectionAnchor = textPositionAt(event->position().toPoint());
    m_selectionEnd = m_selectionAnchor;
    viewport()->update();
}

// Dragging past the top or bottom edge scrolls a row per move, so the selection can reach
// rows that are out of view.
void TerminalPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() >= viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_selectionEnd = textPositionAt(point);
    viewport()->update();
}

void TerminalPane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_selecting = false;
    m_selectionEnd = textPositionAt(event->position().toPoint());
    if (hasSelection())
        copySelectionToClipboard();
    viewport()->update();
}

void TerminalPane::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    ClearAll();
    emit doubleClicked();
}

// Many bells in one burst would queue as many beeps, so a write rings at most once.
void TerminalPane::afterOutput(int bellsBefore)
{
    if (m_model.bellCount() != bellsBefore)
        QApplication::beep();
    updateScrollBars();
    scrollToCursor();
    viewport()->update();
}

void TerminalPane::deliverTypedByte(char byte)
{
    if (keyPressHandler && keyPressHandler(byte))
        return;
    if (sendTypedByte)
        sendTypedByte(TerminalBytes::serialByte(byte));
}

void TerminalPane::updateFontMetrics()
{
    const QFontMetrics metrics(m_font);
    m_cellWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_lineHeight = std::max(1, metrics.height());
    m_ascent = metrics.ascent();
}

void TerminalPane::updateScrollBars()
{
    const int rows = visibleRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, m_model.rowCount() - rows));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);

    const int textWidth = TerminalModel::Columns * m_cellWidth + 2 * TextMargin;
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, textWidth - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(m_cellWidth);
}

void TerminalPane::scrollToCursor()
{
    showRow(m_model.screenTopIndex() + m_model.cursorRow());
    scrollToCursorColumn();
}

void TerminalPane::showRow(int row)
{
    const int firstRow = firstVisibleRow();
    const int rows = visibleRows();
    if (row < firstRow)
        verticalScrollBar()->setValue(row);
    else if (row >= firstRow + rows)
        verticalScrollBar()->setValue(row - rows + 1);
}

void TerminalPane::scrollToCursorColumn()
{
    QScrollBar *horizontal = horizontalScrollBar();
    const int left = m_model.cursorColumn() * m_cellWidth;
    const int right = left + m_cellWidth + 2 * TextMargin;
    if (left < horizontal->value())
        horizontal->setValue(left);
    else if (right > horizontal->value() + viewport()->width())
        horizontal->setValue(right - viewport()->width());
}

QString TerminalPane::visibleText() const
{
    QStringList lines;
    const int firstRow = firstVisibleRow();
    const int endRow = std::min(firstRow + visibleRows(), m_model.rowCount());
    for (int row = firstRow; row < endRow; ++row)
        lines << rowForDisplay(m_model.rowText(row));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

QStringList TerminalPane::textRows() const
{
    const int cursorRow = m_model.screenTopIndex() + m_model.cursorRow();
    QStringList rows;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        QString text = rowForDisplay(m_model.rowText(row));
        if (row == cursorRow)
            text = text.leftJustified(m_model.cursorColumn());
        rows << text;
    }
    while (rows.size() > cursorRow + 1 && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

int TerminalPane::visibleRows() const
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

int TerminalPane::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

void TerminalPane::paintRow(QPainter &painter, int rowIndex, int top) const
{
    const QString text = rowForDisplay(m_model.rowBytes(rowIndex));
    const int baseline = top + m_ascent;
    painter.setPen(m_textColour);
    painter.drawText(textLeft(), baseline, text);

    int firstColumn = 0;
    int endColumn = 0;
    if (selectedColumns(rowIndex, &firstColumn, &endColumn))
        paintInverted(painter, cellsRect(firstColumn, endColumn, top), text, baseline);

    if (rowIndex != m_model.screenTopIndex() + m_model.cursorRow())
        return;
    const QRect cursorCell = cellsRect(m_model.cursorColumn(), m_model.cursorColumn() + 1, top);
    if (hasFocus()) {
        paintInverted(painter, cursorCell, text, baseline);
    } else {
        painter.setPen(m_textColour);
        painter.drawRect(cursorCell.adjusted(0, 0, -1, -1));
    }
}

void TerminalPane::paintInverted(QPainter &painter, const QRect &cells, const QString &text,
                                 int baseline) const
{
    painter.save();
    painter.setClipRect(cells);
    painter.fillRect(cells, m_textColour);
    painter.setPen(m_backgroundColour);
    painter.drawText(textLeft(), baseline, text);
    painter.restore();
}

QRect TerminalPane::cellsRect(int firstColumn, int endColumn, int top) const
{
    const int left = textLeft() + firstColumn * m_cellWidth;
    return QRect(left, top, (endColumn - firstColumn) * m_cellWidth, m_lineHeight);
}

int TerminalPane::textLeft() const
{
    return TextMargin - horizontalScrollBar()->value();
}

TerminalPane::TextPosition TerminalPane::textPositionAt(const QPoint &viewportPoint) const
{
    // Floor division, so that a point above the viewport maps to the row above it.
    const int y = viewportPoint.y();
    const int rowOffset = y >= 0 ? y / m_lineHeight : -((-y + m_lineHeight - 1) / m_lineHeight);
    const int rowIndex = std::clamp(firstVisibleRow() + rowOffset, 0, m_model.rowCount() - 1);
    const int x = viewportPoint.x() - textLeft() + m_cellWidth / 2;
    const int column = std::clamp(x / m_cellWidth, 0, int(TerminalModel::Columns));
    return TextPosition{lineOfRow(rowIndex), column};
}

qint64 TerminalPane::lineOfRow(int rowIndex) const
{
    return m_model.linesScrolled() - m_model.scrollbackRowCount() + rowIndex;
}

int TerminalPane::rowOfLine(qint64 line) const
{
    const qint64 rowIndex = line - lineOfRow(0);
    if (rowIndex < 0 || rowIndex >= m_model.rowCount())
        return -1;
    return int(rowIndex);
}

std::pair<TerminalPane::TextPosition, TerminalPane::TextPosition>
TerminalPane::orderedSelection() const
{
    const bool anchorFirst = m_selectionAnchor.line < m_selectionEnd.line ||
                             (m_selectionAnchor.line == m_selectionEnd.line &&
                              m_selectionAnchor.column <= m_selectionEnd.column);
    return anchorFirst ? std::pair(m_selectionAnchor, m_selectionEnd)
                       : std::pair(m_selectionEnd, m_selectionAnchor);
}

// The columns [firstColumn, endColumn) of a row that lie inside the selection.
bool TerminalPane::selectedColumns(int rowIndex, int *firstColumn, int *endColumn) const
{
    if (!hasSelection() || rowIndex < 0 || rowIndex >= m_model.rowCount())
        return false;
    const auto [start, end] = orderedSelection();
    const qint64 line = lineOfRow(rowIndex);
    if (line < start.line || line > end.line)
        return false;
    *firstColumn = line == start.line ? start.column : 0;
    *endColumn = line == end.line ? end.column : int(TerminalModel::Columns);
    return *firstColumn < *endColumn;
}

void TerminalPane::clearSelection()
{
    m_selectionAnchor = TextPosition();
    m_selectionEnd = TextPosition();
}

// A place in lines that have left the history is the history's first cell.
TerminalPane::Cell TerminalPane::cellOf(const TextPosition &position) const
{
    const qint64 row = position.line - lineOfRow(0);
    if (row < 0)
        return Cell();
    return Cell{int(std::min<qint64>(row, m_model.rowCount() - 1)), position.column};
}

bool TerminalPane::selectedCells(Cell *start, Cell *end) const
{
    if (!hasSelection())
        return false;
    const auto [first, last] = orderedSelection();
    *start = cellOf(first);
    *end = cellOf(last);
    return true;
}

void TerminalPane::selectCells(Cell start, Cell end)
{
    m_selecting = false;
    m_selectionAnchor = TextPosition{lineOfRow(start.row), start.column};
    m_selectionEnd = TextPosition{lineOfRow(end.row), end.column};
    viewport()->update();
}

void TerminalPane::deselect()
{
    m_selecting = false;
    clearSelection();
    viewport()->update();
}

QRect TerminalPane::cellRect(Cell cell) const
{
    return cellsRect(cell.column, cell.column + 1, (cell.row - firstVisibleRow()) * m_lineHeight);
}

TerminalPane::Cell TerminalPane::cellAt(const QPoint &viewportPoint) const
{
    return cellOf(textPositionAt(viewportPoint));
}

void TerminalPane::copySelectionToClipboard() const
{
    const QString text = selectedText();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
}
