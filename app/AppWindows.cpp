#include "app/AppWindows.h"

#include "app/Accessibility.h"
#include "app/ClientSocketForm.h"
#include "app/InfoForm.h"
#include "app/ProgressForm.h"
#include "app/SplashForm.h"
#include "app/TamrinForm.h"
#include "app/WindowLook.h"

AppWindows::AppWindows()
{
    installAccessibility();
    WindowLook::useProgramIcon();
    main = new TTamrinForm;
    progress = new TProgressForm;
    ethernet = new TClientSocketForm;
    splash = new TSplashForm({main, progress, ethernet});
    info = new TInfoForm;
    info->setWindowTitle(captionsOf(splash->brand()).info);
    main->attachWindows({progress, ethernet, splash, info});
}

AppWindows::~AppWindows()
{
    delete info;
    delete splash;
    delete ethernet;
    delete progress;
    delete main;
}
