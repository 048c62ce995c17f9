// TerminalPane shows a TerminalModel in a scroll area and turns the operator's keys into bytes
// for the unit.
//
// Bytes from the unit go into the model at once; the viewport only schedules a repaint, so a
// burst of output costs one paint. The vertical scroll bar runs from the oldest scrollback row
// to the screen, and the view is brought back to the cursor whenever output arrives. Every
// cell is painted in one text colour on one background colour, the cursor as a block. A font
// too wide for 80 columns keeps its size: the horizontal scroll bar reaches the columns
// beyond, and the view follows the cursor sideways as it follows it down.
//
// A typed key becomes one byte (Enter is CR, Backspace is BS, Ctrl+letter its control code,
// anything else its Latin-1 character). keyPressHandler sees the byte first and may change or
// consume it; what is left goes to sendTypedByte, with BS sent as DEL (TerminalBytes). Tab,
// the arrows and keys with Alt or Meta stay with the window. A drag selects text, which is
// copied to the clipboard when the button is released; a double-click clears the pane.

#ifndef TERMINALPANE_H
#define TERMINALPANE_H

#include "app/TerminalModel.h"

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QColor>
#include <QFont>

#include <functional>
#include <utility>

class TerminalPane : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TerminalPane(QWidget *parent = nullptr);

    void WriteChar(char c);
    void WriteString(QByteArrayView bytes);
    void ClearAll();

    void setBackgroundColour(const QColor &colour);
    QColor backgroundColour() const { return m_backgroundColour; }
    void setTextColour(const QColor &colour);
    QColor textColour() const { return m_textColour; }
    void setTerminalFont(const QFont &font);
    QFont terminalFont() const { return m_font; }
    // The font as a font dialog takes it: the face drawn, by its style name, and its size in
    // whole points, as the dialog lists sizes (the pane's own font is sized in pixels).
    QFont fontForDialog() const;

    // Courier New (DejaVu Sans Mono without it), 12 pixels high or less: as large as lets a
    // line of 80 columns fit the pane's width.
    static QFont defaultTerminalFont();

    QString selectedText() const;
    // The rows in view, top to bottom, without trailing blanks or trailing empty rows.
    QString visibleText() const;
    bool hasSelection() const;

    // A place between two cells: a row of the model's (the history's first) and a column from
    // 0 to Columns.
    struct Cell
    {
        int row = 0;
        int column = 0;
    };
    // Every row of the history and the screen as the pane shows it, without trailing blanks,
    // the cursor's row as far as the cursor at least, and no empty rows after both the cursor
    // and the last row written: the text an assistive tool reads.
    QStringList textRows() const;
    // The selection from its first cell to the one after its last; false when there is none.
    bool selectedCells(Cell *start, Cell *end) const;
    void selectCells(Cell start, Cell end);
    void deselect();
    // A cell's rectangle in the viewport, and the cell at a point of the viewport.
    QRect cellRect(Cell cell) const;
    Cell cellAt(const QPoint &viewportPoint) const;
    // Scrolls the view as little as brings the row into it.
    void showRow(int row);

    const TerminalModel &model() const { return m_model; }

    QSize sizeHint() const override;

    std::function<bool(char &)> keyPressHandler;
    std::function<void(char)> sendTypedByte;

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // A place between two cells, tied to the text rather than to the view: line counts rows
    // from the first one written since the last clear, column runs from 0 to Columns.
    struct TextPosition
    {
        qint64 line = 0;
        int column = 0;
    };

    void afterOutput(int bellsBefore);
    void deliverTypedByte(char byte);
    void updateFontMetrics();
    void updateScrollBars();
    void scrollToCursor();
    void scrollToCursorColumn();
    int visibleRows() const;
    int firstVisibleRow() const;

    void paintRow(QPainter &painter, int rowIndex, int top) const;
    void paintInverted(QPainter &painter, const QRect &cells, const QString &text,
                       int baseline) const;
    QRect cellsRect(int firstColumn, int endColumn, int top) const;
    int textLeft() const;

    TextPosition textPositionAt(const QPoint &viewportPoint) const;
    qint64 lineOfRow(int rowIndex) const;
    int rowOfLine(qint64 line) const;
    bool selectedColumns(int rowIndex, int *firstColumn, int *endColumn) const;
    // The selection's ends, the earlier first.
    std::pair<TextPosition, TextPosition> orderedSelection() const;
    Cell cellOf(const TextPosition &position) const;
    void clearSelection();
    void copySelectionToClipboard() const;

    TerminalModel m_model;
    QColor m_backgroundColour;
    QColor m_textColour;
    QFont m_font;
    int m_cellWidth = 1;
    int m_lineHeight = 1;
    int m_ascent = 0;
    TextPosition m_selectionAnchor;
    TextPosition m_selectionEnd;
    bool m_selecting = false;
};

#endif // TERMINALPANE_H
