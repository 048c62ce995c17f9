// TerminalModel holds the text of the terminal pane: a plain teletype with no escape sequences.
//
// The screen is 80 columns by 16 rows; rows that scroll off its top are kept in a scrollback of
// at most 84 rows. All 100 rows live in one fixed ring of 80-byte rows filled with blanks, so
// scrolling only moves the index of the top screen row and writing never allocates.
// Bytes 32..255 are printed at the cursor; BEL, BS, TAB, LF and CR move the cursor or ring the
// bell; every other control byte is dropped. Rows and columns are counted from 0.

#ifndef TERMINALMODEL_H
#define TERMINALMODEL_H

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <functional>

class TerminalModel
{
public:
    static constexpr int Columns = 80;
    static constexpr int ScreenRows = 16;
    static constexpr int ScrollbackLimit = 84;
    static constexpr int TotalRows = ScreenRows + ScrollbackLimit;
    static constexpr int TabWidth = 8;

    TerminalModel();

    void write(QByteArrayView bytes);
    void write(char byte);
    void clear();

    int cursorRow() const { return m_cursorRow; }
    int cursorColumn() const { return m_cursorColumn; }
    bool isWrapPending() const { return m_wrapPending; }

    int scrollbackRowCount() const { return m_scrollbackRows; }
    // Scrollback plus screen: the number of rows allRows() returns.
    int rowCount() const { return m_scrollbackRows + ScreenRows; }
    // Index in allRows() of the screen's top row.
    int screenTopIndex() const { return m_scrollbackRows; }
    // Rows that have left the top of the screen since the last clear(), the dropped ones too.
    qint64 linesScrolled() const { return m_linesScrolled; }

    QList<QByteArray> screenRows() const;
    QList<QByteArray> scrollbackRows() const;
    // Scrollback oldest first, then the screen top to bottom.
    QList<QByteArray> allRows() const;

    // The 80 bytes of a row of allRows(), valid until the next write or clear();
    // empty when the index is out of range.
    QByteArrayView rowBytes(int index) const;
    // A row of allRows() without its trailing blanks; empty when the index is out of range.
    QByteArray rowText(int index) const;
    QByteArray screenRowText(int screenRow) const;

    int bellCount() const { return m_bellCount; }
    void setBellHandler(std::function<void()> handler);

private:
    void writeByte(unsigned char byte);
    void printByte(unsigned char byte);
    void ringBell();
    void backspace();
    void tab();
    void lineFeed();
    void scrollUp();
    void blankSlot(int slot);
    int slotOfRow(int index) const;
    const char *slotData(int slot) const;
    char *slotData(int slot);

    std::array<char, TotalRows * Columns> m_cells;
    int m_screenTopSlot = 0;
    int m_scrollbackRows = 0;
    qint64 m_linesScrolled = 0;
    int m_cursorRow = 0;
    int m_cursorColumn = 0;
    bool m_wrapPending = false;
    int m_bellCount = 0;
    std::function<void()> m_bellHandler;
};

#endif // TERMINALMODEL_H
