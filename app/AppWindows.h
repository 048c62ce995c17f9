// The application's windows, created once at start in a fixed order and kept until the
// process ends: the main window first, then the progress window, the Ethernet dialog, the
// splash window (whose construction applies the brand) and the information window. Every one
// of them, and every box, carries the program's icon.
#pragma once

#include <memory>

class TTamrinForm;
class TProgressForm;
class TClientSocketForm;
class TInfoForm;
class TSplashForm;

struct AppWindows
{
    AppWindows();
    ~AppWindows();

    TTamrinForm *main = nullptr;
    TProgressForm *progress = nullptr;
    TClientSocketForm *ethernet = nullptr;
    TSplashForm *splash = nullptr;
    TInfoForm *info = nullptr;
};
