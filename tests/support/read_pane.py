#!/usr/bin/python3
"""Reads Tamrin's terminal pane over AT-SPI, as a screen reader does.

    read_pane.py TEXT

Waits until the pane's text holds TEXT, then prints on one line, as JSON, what it read: the
whole text, its character count, the caret's offset, and the line that holds TEXT with its
start and end offsets. Ends with status 1 when no pane showing TEXT is found within a minute.
"""
import json
import sys
import time

import pyatspi


def found(accessible, match):
    """The first accessible below 'accessible' (itself included) that 'match' accepts."""
    if match(accessible):
        return accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        below = found(child, match) if child is not None else None
        if below is not None:
            return below
    return None


def the_pane():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Tamrin":
            return found(app, lambda a: a.getRole() == pyatspi.ROLE_TEXT and a.name == "Terminal")
    return None


def main():
    wanted = sys.argv[1]
    deadline = time.monotonic() + 60
    whole = ""
    while True:
        try:
            pane = the_pane()
            text = pane.queryText() if pane is not None else None
            whole = text.getText(0, -1) if text is not None else ""
        except Exception as error:  # the program may still be starting
            whole = "(%s)" % error.__class__.__name__
            text = None
        if text is not None and wanted in whole:
            break
        if time.monotonic() > deadline:
            print("no pane showing %r; last read: %r" % (wanted, whole))
            return 1
        time.sleep(0.2)
    line, start, end = text.getTextAtOffset(whole.index(wanted), pyatspi.TEXT_BOUNDARY_LINE_START)
    print(json.dumps({"text": whole, "count": text.characterCount, "caret": text.caretOffset,
                      "line": line, "lineStart": start, "lineEnd": end}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
