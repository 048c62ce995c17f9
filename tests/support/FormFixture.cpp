#include "FormFixture.h"

#include "base/Timing.h"
#include "link/SerialPort.h"

#include <QFile>
#include <QtGlobal>

FormFixture::ScaledTiming::ScaledTiming(std::optional<double> scale) : m_scaled(scale.has_value())
{
    if (m_scaled)
        Timing::setScale(*scale);
}

FormFixture::ScaledTiming::~ScaledTiming()
{
    if (m_scaled)
        Timing::setScale(1.0);
}

FormFixture::FormFixture(const QString &portsDir, std::optional<double> timingScale)
    : m_timing(timingScale), m_dialogs(RecordingDialogs::install())
{
    setUp(portsDir);
}

FormFixture::FormFixture(std::optional<double> timingScale)
    : m_timing(timingScale), m_ownPorts(std::make_unique<QTemporaryDir>()),
      m_dialogs(RecordingDialogs::install())
{
    setUp(m_ownPorts->path());
}

FormFixture::~FormFixture() = default;

void FormFixture::setUp(const QString &portsDir)
{
    qputenv("TAMRIN_PORTS_DIR", portsDir.toLocal8Bit());
    // The process would end at the first call; the test goes on, so later calls are ignored.
    m_windows.main->setExitProcess([this](int status) {
        if (m_exitStatus < 0)
            m_exitStatus = status;
    });
}

bool FormFixture::realTimeRun()
{
    return qgetenv("TAMRIN_REAL_TIME") == "1";
}

bool FormFixture::openComPort(int portNumber)
{
    form().comPort().setPortNumber(portNumber);
    return form().comPort().open();
}

int FormFixture::runScript(const QByteArray &script)
{
    const QString path = m_scripts.filePath(QStringLiteral("run.sld"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    file.write(script);
    file.close();
    form().ClearScriptLines();
    form().scriptRunner().setFileName(path);
    return form().read_ini();
}
