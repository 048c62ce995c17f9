// The application's windows, created once at start in a fixed order and kept until the
// process ends: the main window first, then the progress window, the Ethernet dialog and the
// information window.
#pragma once

#include <memory>

class TTamrinForm;
class TProgressForm;
class TClientSocketForm;
class TInfoForm;

struct AppWindows
{
    AppWindows();
    ~AppWindows();

    TTamrinForm *main = nullptr;
    TProgressForm *progress = nullptr;
    TClientSocketForm *ethernet = nullptr;
    TInfoForm *info = nullptr;
};
