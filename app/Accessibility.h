// What an assistive tool reads of Tamrin's own widgets. Qt describes its standard widgets by
// their captions; the terminal pane and the status lights are drawn by Tamrin, so they get an
// accessible name ("Terminal", "TXD light"...) and a value: the text the pane shows, and "on"
// or "off" for a light.
#pragma once

// Installs the descriptions once for the whole application; later calls do nothing.
void installAccessibility();
