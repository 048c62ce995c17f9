#include "app/AppWindows.h"

#include "app/InfoForm.h"
#include "app/TamrinForm.h"
#include "upload/ProgressForm.h"

AppWindows::AppWindows()
{
    main = new TTamrinForm;
    progress = new TProgressForm;
    info = new TInfoForm;
    main->attachWindows({progress, info});
}

AppWindows::~AppWindows()
{
    delete info;
    delete progress;
    delete main;
}
