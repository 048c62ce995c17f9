#include "FormFixture.h"

#include <QtGlobal>

FormFixture::FormFixture(const QString &portsDir) : m_dialogs(RecordingDialogs::install())
{
    qputenv("TAMRIN_PORTS_DIR", portsDir.toLocal8Bit());
    m_windows.main->exitProcess = [this](int status) { m_exitStatus = status; };
}

FormFixture::~FormFixture() = default;
