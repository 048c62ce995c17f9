#include "FormFixture.h"

#include <QFile>
#include <QtGlobal>

FormFixture::FormFixture(const QString &portsDir) : m_dialogs(RecordingDialogs::install())
{
    qputenv("TAMRIN_PORTS_DIR", portsDir.toLocal8Bit());
    // The process would end at the first call; the test goes on, so later calls are ignored.
    m_windows.main->exitProcess = [this](int status) {
        if (m_exitStatus < 0)
            m_exitStatus = status;
    };
}

FormFixture::~FormFixture() = default;

int FormFixture::runScript(const QByteArray &script)
{
    const QString path = m_scripts.filePath(QStringLiteral("run.sld"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    file.write(script);
    file.close();
    form().ClearScriptLines();
    form().script.fileName = path;
    form().setCancelFlag(0);
    return form().read_ini();
}
