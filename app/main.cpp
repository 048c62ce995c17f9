// Tamrin: uploads firmware files into the unit over RS-232 or TCP, driven by script files.
#include "app/AppWindows.h"
#include "app/TamrinForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window caption, and the captions are
    // exactly the windows' own texts.
    QApplication::setApplicationName(QStringLiteral("Tamrin"));
    AppWindows windows;
    windows.main->show();
    return QApplication::exec();
}
