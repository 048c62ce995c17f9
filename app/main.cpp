// Tamrin: uploads firmware files into the unit over RS-232 or TCP, driven by script files.
// Where no display can be opened it runs offscreen, as an unattended station.
#include "app/AppWindows.h"
#include "app/OperatorDialogs.h"
#include "app/Station.h"
#include "app/TamrinForm.h"
#include "app/UnattendedDialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Station::chooseHeadlessPlatform();
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window caption, and the captions are
    // exactly the windows' own texts.
    QApplication::setApplicationName(QStringLiteral("Tamrin"));
    const StationSettings station = Station::fromEnvironment(QApplication::platformName());
    if (station.unattended)
        OperatorDialogs::install(new UnattendedDialogs);
    AppWindows windows;
    windows.main->startup.station = station;
    windows.main->show();
    return QApplication::exec();
}
