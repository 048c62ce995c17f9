#include "app/AppWindows.h"

#include "app/InfoForm.h"
#include "app/TamrinForm.h"
#include "link/ClientSocketForm.h"
#include "upload/ProgressForm.h"

AppWindows::AppWindows()
{
    main = new TTamrinForm;
    progress = new TProgressForm;
    ethernet = new TClientSocketForm;
    info = new TInfoForm;
    main->attachWindows({progress, ethernet, info});
}

AppWindows::~AppWindows()
{
    delete info;
    delete ethernet;
    delete progress;
    delete main;
}
