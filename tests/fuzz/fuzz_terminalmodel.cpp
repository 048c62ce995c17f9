// Fuzzes the terminal pane's text model. Byte 0 says how the rest is written: its low four
// bits plus one is the size of each write() of several bytes, and bit 0x20 clears the model
// half-way. The same bytes go to a second model one write(char) at a time, which is checked
// after every byte.
//
// The cursor must stay on the 80 x 16 screen and the scrollback within 84 rows (as many as
// have scrolled off, at most 84); every cell must hold a blank or a printed byte, never a
// control byte; a printed byte must land at the cursor; BEL, BS, TAB, LF and CR must move the
// cursor (or ring the bell) as a teletype does and any other control byte must change
// nothing; a row that scrolls off the top must be the newest scrollback row; and writing in
// pieces must give the same model as writing byte by byte.
#include "FuzzCheck.h"

#include "app/TerminalModel.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int Columns = TerminalModel::Columns;
constexpr int ScreenRows = TerminalModel::ScreenRows;
constexpr int LastColumn = Columns - 1;
constexpr int BottomRow = ScreenRows - 1;
constexpr uchar Bell = 7;
constexpr uchar Backspace = 8;
constexpr uchar Tab = 9;
constexpr uchar LineFeed = 10;
constexpr uchar CarriageReturn = 13;
constexpr uchar FirstPrintable = 32;
constexpr uchar ClearHalfWay = 0x20;

struct Cursor
{
    int row = 0;
    int column = 0;
    bool wrapPending = false;
    qint64 linesScrolled = 0;
    int bells = 0;
};

Cursor cursorOf(const TerminalModel &model)
{
    return {model.cursorRow(), model.cursorColumn(), model.isWrapPending(), model.linesScrolled(),
            model.bellCount()};
}

char cellAt(const TerminalModel &model, int screenRow, int column)
{
    const QByteArrayView row = model.rowBytes(model.screenTopIndex() + screenRow);
    FUZZ_CHECK(row.size() == Columns && column >= 0 && column < Columns);
    return row.at(column);
}

void checkBounds(const TerminalModel &model)
{
    FUZZ_CHECK(model.cursorRow() >= 0 && model.cursorRow() < ScreenRows);
    FUZZ_CHECK(model.cursorColumn() >= 0 && model.cursorColumn() < Columns);
    const int scrollback = model.scrollbackRowCount();
    FUZZ_CHECK(scrollback >= 0 && scrollback <= TerminalModel::ScrollbackLimit);
    FUZZ_CHECK(scrollback ==
               std::min<qint64>(model.linesScrolled(), TerminalModel::ScrollbackLimit));
    FUZZ_CHECK(model.rowCount() == scrollback + ScreenRows);
    FUZZ_CHECK(model.screenTopIndex() == scrollback);
}

// A printed byte sits just left of the cursor, or under it while a wrap is pending; a
// pending wrap first moves the cursor to the start of the next line.
void checkPrinted(const TerminalModel &model, const Cursor &before, const Cursor &after, uchar byte)
{
    const int row = before.wrapPending ? std::min(before.row + 1, BottomRow) : before.row;
    const int column = before.wrapPending ? 0 : before.column;
    FUZZ_CHECK(after.row == row);
    if (column == LastColumn)
        FUZZ_CHECK(after.wrapPending && after.column == LastColumn);
    else
        FUZZ_CHECK(!after.wrapPending && after.column == column + 1);
    FUZZ_CHECK(uchar(cellAt(model, row, column)) == byte);
}

void checkControl(const Cursor &before, const Cursor &after, uchar byte)
{
    switch (byte) {
    case Bell:
        FUZZ_CHECK(after.bells == before.bells + 1);
        FUZZ_CHECK(after.row == before.row && after.column == before.column);
        FUZZ_CHECK(after.wrapPending == before.wrapPending);
        FUZZ_CHECK(after.linesScrolled == before.linesScrolled);
        return;
    case Backspace:
        FUZZ_CHECK(after.row == before.row && after.column == std::max(before.column - 1, 0));
        break;
    case Tab:
        FUZZ_CHECK(after.row == before.row);
        FUZZ_CHECK(after.column ==
                   std::min((before.column / TerminalModel::TabWidth + 1) * TerminalModel::TabWidth,
                            LastColumn));
        break;
    case LineFeed:
        FUZZ_CHECK(after.column == before.column);
        FUZZ_CHECK(after.row == std::min(before.row + 1, BottomRow));
        FUZZ_CHECK(after.linesScrolled == before.linesScrolled + (before.row == BottomRow));
        break;
    case CarriageReturn:
        FUZZ_CHECK(after.row == before.row && after.column == 0);
        break;
    default:
        // Dropped: nothing at all changes.
        FUZZ_CHECK(after.row == before.row && after.column == before.column);
        FUZZ_CHECK(after.wrapPending == before.wrapPending);
        FUZZ_CHECK(after.linesScrolled == before.linesScrolled);
        return;
    }
    FUZZ_CHECK(!after.wrapPending);
    if (byte != LineFeed)
        FUZZ_CHECK(after.linesScrolled == before.linesScrolled);
}

// After a scroll the old top screen row is the newest scrollback row and the new bottom row
// is blank but for a byte printed at its start.
void checkScroll(const TerminalModel &model, const std::array<char, Columns> &oldTop, uchar byte)
{
    const QByteArrayView newest = model.rowBytes(model.screenTopIndex() - 1);
    FUZZ_CHECK(newest.size() == Columns);
    FUZZ_CHECK(std::memcmp(newest.data(), oldTop.data(), Columns) == 0);
    const QByteArrayView bottom = model.rowBytes(model.screenTopIndex() + BottomRow);
    const int firstBlank = byte >= FirstPrintable ? 1 : 0;
    for (int column = firstBlank; column < Columns; ++column)
        FUZZ_CHECK(bottom.at(column) == ' ');
}

void writeChecked(TerminalModel &model, uchar byte)
{
    const Cursor before = cursorOf(model);
    std::array<char, Columns> oldTop{};
    if (before.row == BottomRow)
        std::memcpy(oldTop.data(), model.rowBytes(model.screenTopIndex()).data(), Columns);
    model.write(char(byte));
    const Cursor after = cursorOf(model);
    checkBounds(model);
    FUZZ_CHECK(after.linesScrolled - before.linesScrolled <= 1);
    if (byte != Bell)
        FUZZ_CHECK(after.bells == before.bells);
    if (byte >= FirstPrintable)
        checkPrinted(model, before, after, byte);
    else
        checkControl(before, after, byte);
    if (after.linesScrolled != before.linesScrolled) {
        FUZZ_CHECK(before.row == BottomRow);
        checkScroll(model, oldTop, byte);
    }
}

void checkRows(const TerminalModel &model)
{
    checkBounds(model);
    const QList<QByteArray> all = model.allRows();
    FUZZ_CHECK(all.size() == model.rowCount());
    FUZZ_CHECK(model.scrollbackRows() == all.first(model.scrollbackRowCount()));
    FUZZ_CHECK(model.screenRows() == all.sliced(model.screenTopIndex()));
    for (int index = 0; index < all.size(); ++index) {
        const QByteArray &row = all.at(index);
        FUZZ_CHECK(row.size() == Columns);
        FUZZ_CHECK(
            std::all_of(row.begin(), row.end(), [](char c) { return uchar(c) >= FirstPrintable; }));
        FUZZ_CHECK(model.rowBytes(index) == row);
        const QByteArray text = model.rowText(index);
        FUZZ_CHECK(row.startsWith(text) && !text.endsWith(' '));
        FUZZ_CHECK(
            std::all_of(row.begin() + text.size(), row.end(), [](char c) { return c == ' '; }));
    }
    FUZZ_CHECK(model.rowBytes(-1).isEmpty() && model.rowBytes(model.rowCount()).isEmpty());
    FUZZ_CHECK(model.screenRowText(-1).isEmpty() && model.screenRowText(ScreenRows).isEmpty());
}

void checkCleared(const TerminalModel &model)
{
    FUZZ_CHECK(model.cursorRow() == 0 && model.cursorColumn() == 0);
    FUZZ_CHECK(!model.isWrapPending() && model.linesScrolled() == 0);
    FUZZ_CHECK(model.scrollbackRowCount() == 0);
    const QByteArray blankRow(Columns, ' ');
    for (int index = 0; index < model.rowCount(); ++index)
        FUZZ_CHECK(model.rowBytes(index) == blankRow);
}

void checkSame(const TerminalModel &a, const TerminalModel &b)
{
    FUZZ_CHECK(a.cursorRow() == b.cursorRow() && a.cursorColumn() == b.cursorColumn());
    FUZZ_CHECK(a.isWrapPending() == b.isWrapPending());
    FUZZ_CHECK(a.linesScrolled() == b.linesScrolled() && a.bellCount() == b.bellCount());
    FUZZ_CHECK(a.rowCount() == b.rowCount());
    for (int index = 0; index < a.rowCount(); ++index)
        FUZZ_CHECK(a.rowBytes(index) == b.rowBytes(index));
}

// Writes 'bytes' to 'pieces' in writes of 'pieceSize' and to 'single' byte by byte.
void writeBoth(TerminalModel &pieces, TerminalModel &single, QByteArrayView bytes,
               qsizetype pieceSize)
{
    for (qsizetype start = 0; start < bytes.size(); start += pieceSize) {
        const QByteArrayView piece = bytes.sliced(start, std::min(pieceSize, bytes.size() - start));
        pieces.write(piece);
        for (const char byte : piece)
            writeChecked(single, uchar(byte));
        checkBounds(pieces);
        FUZZ_CHECK(pieces.cursorRow() == single.cursorRow());
        FUZZ_CHECK(pieces.cursorColumn() == single.cursorColumn());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzInput(data, size);
    if (input.isEmpty())
        return 0;
    const uchar mode = uchar(input.front());
    const qsizetype pieceSize = (mode & 0x0F) + 1;
    const QByteArrayView bytes = input.sliced(1);

    TerminalModel pieces;
    TerminalModel single;
    int rung = 0;
    single.setBellHandler([&rung] { ++rung; });
    checkCleared(single);

    const qsizetype half = (mode & ClearHalfWay) ? bytes.size() / 2 : bytes.size();
    writeBoth(pieces, single, bytes.first(half), pieceSize);
    if (half < bytes.size()) {
        checkRows(single);
        pieces.clear();
        single.clear();
        checkCleared(pieces);
        checkCleared(single);
        writeBoth(pieces, single, bytes.sliced(half), pieceSize);
    }
    checkBounds(pieces);
    checkRows(single);
    checkSame(pieces, single);
    // Every bell rings the handler once (whether clear() resets the count is not said).
    if (half == bytes.size()) {
        FUZZ_CHECK(single.bellCount() == int(bytes.count(char(Bell))));
        FUZZ_CHECK(rung == single.bellCount());
    }
    return 0;
}
