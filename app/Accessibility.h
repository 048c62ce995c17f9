// What an assistive tool reads of Tamrin's own widgets. Qt describes its standard widgets by
// their captions; the terminal pane and the status lights are drawn by Tamrin, so they get an
// accessible name ("Terminal", "TXD light"...) and a value: the text the pane shows, and "on"
// or "off" for a light, which is also a value of 1 or 0. The pane is read as a document too
// (text, caret, selection, lines, where each character is), over AT-SPI as in the process: its
// whole history and screen, row after row, the caret at the unit's cursor.
#pragma once

// Installs the descriptions once for the whole application; later calls do nothing.
void installAccessibility();
