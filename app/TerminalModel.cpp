#include "app/TerminalModel.h"

#include <algorithm>
#include <utility>

namespace {

constexpr unsigned char Bell = 7;
constexpr unsigned char Backspace = 8;
constexpr unsigned char Tab = 9;
constexpr unsigned char LineFeed = 10;
constexpr unsigned char CarriageReturn = 13;
constexpr unsigned char FirstPrintable = 32;
constexpr char Blank = ' ';

} // namespace

TerminalModel::TerminalModel()
{
    clear();
}

void TerminalModel::write(QByteArrayView bytes)
{
    for (const char byte : bytes)
        writeByte(static_cast<unsigned char>(byte));
}

void TerminalModel::write(char byte)
{
    writeByte(static_cast<unsigned char>(byte));
}

void TerminalModel::clear()
{
    m_cells.fill(Blank);
    m_screenTopSlot = 0;
    m_scrollbackRows = 0;
    m_linesScrolled = 0;
    m_cursorRow = 0;
    m_cursorColumn = 0;
    m_wrapPending = false;
}

QList<QByteArray> TerminalModel::screenRows() const
{
    QList<QByteArray> rows;
    rows.reserve(ScreenRows);
    for (int row = 0; row < ScreenRows; ++row)
        rows.append(rowBytes(screenTopIndex() + row).toByteArray());
    return rows;
}

QList<QByteArray> TerminalModel::scrollbackRows() const
{
    QList<QByteArray> rows;
    rows.reserve(m_scrollbackRows);
    for (int index = 0; index < m_scrollbackRows; ++index)
        rows.append(rowBytes(index).toByteArray());
    return rows;
}

QList<QByteArray> TerminalModel::allRows() const
{
    QList<QByteArray> rows;
    rows.reserve(rowCount());
    for (int index = 0; index < rowCount(); ++index)
        rows.append(rowBytes(index).toByteArray());
    return rows;
}

QByteArrayView TerminalModel::rowBytes(int index) const
{
    if (index < 0 || index >= rowCount())
        return {};
    return QByteArrayView(slotData(slotOfRow(index)), Columns);
}

QByteArray TerminalModel::rowText(int index) const
{
    QByteArrayView row = rowBytes(index);
    while (!row.isEmpty() && row.back() == Blank)
        row.chop(1);
    return row.toByteArray();
}

QByteArray TerminalModel::screenRowText(int screenRow) const
{
    if (screenRow < 0 || screenRow >= ScreenRows)
        return {};
    return rowText(screenTopIndex() + screenRow);
}

void TerminalModel::setBellHandler(std::function<void()> handler)
{
    m_bellHandler = std::move(handler);
}

void TerminalModel::writeByte(unsigned char byte)
{
    if (byte >= FirstPrintable) {
        printByte(byte);
        return;
    }
    switch (byte) {
    case Bell:
        ringBell();
        break;
    case Backspace:
        backspace();
        break;
    case Tab:
        tab();
        break;
    case LineFeed:
        m_wrapPending = false;
        lineFeed();
        break;
    case CarriageReturn:
        m_wrapPending = false;
        m_cursorColumn = 0;
        break;
    default:
        break;
    }
}

// The last column keeps the cursor with a pending wrap, so a line of exactly 80 characters
// followed by CR LF does not leave an empty row behind.
void TerminalModel::printByte(unsigned char byte)
{
    if (m_wrapPending) {
        m_wrapPending = false;
        m_cursorColumn = 0;
        lineFeed();
    }
    slotData(slotOfRow(screenTopIndex() + m_cursorRow))[m_cursorColumn] = static_cast<char>(byte);
    if (m_cursorColumn == Columns - 1)
        m_wrapPending = true;
    else
        ++m_cursorColumn;
}

void TerminalModel::ringBell()
{
    ++m_bellCount;
    if (m_bellHandler)
        m_bellHandler();
}

void TerminalModel::backspace()
{
    m_wrapPending = false;
    if (m_cursorColumn > 0)
        --m_cursorColumn;
}

void TerminalModel::tab()
{
    m_wrapPending = false;
    const int nextStop = (m_cursorColumn / TabWidth + 1) * TabWidth;
    m_cursorColumn = std::min(nextStop, Columns - 1);
}

void TerminalModel::lineFeed()
{
    if (m_cursorRow < ScreenRows - 1)
        ++m_cursorRow;
    else
        scrollUp();
}

// The ring holds exactly the screen and a full scrollback, so the slot that becomes the new
// bottom row is the oldest scrollback row, which is dropped once the scrollback is full.
void TerminalModel::scrollUp()
{
    m_screenTopSlot = (m_screenTopSlot + 1) % TotalRows;
    m_scrollbackRows = std::min(m_scrollbackRows + 1, ScrollbackLimit);
    ++m_linesScrolled;
    blankSlot((m_screenTopSlot + ScreenRows - 1) % TotalRows);
}

void TerminalModel::blankSlot(int slot)
{
    char *row = slotData(slot);
    std::fill(row, row + Columns, Blank);
}

int TerminalModel::slotOfRow(int index) const
{
    return (m_screenTopSlot - m_scrollbackRows + index + TotalRows) % TotalRows;
}

const char *TerminalModel::slotData(int slot) const
{
    Q_ASSERT(slot >= 0 && slot < TotalRows);
    return m_cells.data() + slot * Columns;
}

char *TerminalModel::slotData(int slot)
{
    Q_ASSERT(slot >= 0 && slot < TotalRows);
    return m_cells.data() + slot * Columns;
}
