#include "app/CommandLine.h"

namespace CommandLine {

Request request(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return Request::Start;
    const QString &option = arguments.first();
    if (option == QLatin1String("--help") || option == QLatin1String("-h"))
        return Request::Help;
    if (option == QLatin1String("--version"))
        return Request::Version;
    if (option == QLatin1String("--list-ports"))
        return Request::ListPorts;
    return Request::Start;
}

QString usageLine()
{
    return QStringLiteral("Usage: tamrin [--help | --version | --list-ports | "
                          "--check [--explain] [--folder DIR] FILE.sld... | "
                          "--run FILE.sld [--port COMn|DEVICE | --tcp HOST:PORT] [--baud N] "
                          "[--record FILE] [--wait-port SECONDS] [--retries N] "
                          "[--progress FILE]]");
}

QString versionText()
{
    return QStringLiteral("tamrin " TAMRIN_VERSION);
}

QString helpText()
{
    return usageLine() +
           QStringLiteral(
               "\n"
               "Uploads firmware files into the unit over RS-232 or TCP, driven by script files.\n"
               "Reads LoaderDefault.ini from the current folder, else from\n"
               "$XDG_CONFIG_HOME/tamrin/ (default ~/.config/tamrin/).\n"
               "\n"
               "  --help        print this text and end\n"
               "  --version     print the version and end\n"
               "  --list-ports  print which device each COM number names and end\n"
               "  --check       read each script as a run would and print what would do\n"
               "                nothing, or not what it seems, as FILE:LINE: warning: TEXT;\n"
               "                touches no port. --explain also prints what each line does\n"
               "                and the bytes it sends; --folder DIR is the folder the run\n"
               "                starts in (default: the current folder). Exit status 0 clean,\n"
               "                1 findings, 2 a script could not be read\n"
               "  --run         run FILE.sld as a station: automatic mode, headless unless a\n"
               "                display is set and TAMRIN_UNATTENDED is not, the settings file\n"
               "                overridden by --port COMn|DEVICE or --tcp HOST:PORT (that link\n"
               "                only, no search), --baud N, --record FILE (JSON lines of the\n"
               "                uploads and the run, appended; - for standard output),\n"
               "                --wait-port SECONDS (for the port to appear), --retries N (run\n"
               "                again from the first line after a lost link) and --progress\n"
               "                FILE (JSON lines of the run's phases and the data's progress)\n"
               "\n"
               "Environment: TAMRIN_PORTS_DIR (a folder of COMn links that replaces the\n"
               "machine's ports), TAMRIN_UNATTENDED=1 (no box waits for a person),\n"
               "TAMRIN_RUN_TIMEOUT=SECONDS (bounds an automatic run).\n"
               "Exit status: 0 success, 1 the script ran and failed, 2 the unit was never\n"
               "reached or the script could not be opened, 3 the run time limit passed,\n"
               "4 Tamrin could not start, 128+N the run was stopped by signal N (143 SIGTERM).\n");
}

} // namespace CommandLine
