#include "app/StationProgress.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 DataReportMs = 200;

} // namespace

bool StationProgress::open(const QString &path, QString *error)
{
    m_fd = path == QLatin1String("-")
               ? ::dup(STDOUT_FILENO)
               : ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (m_fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_sinceStart.start();
    return true;
}

StationProgress::~StationProgress()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void StationProgress::phase(const QString &phase, qint64 bytes, qint64 total)
{
    m_sinceData.invalidate();
    write(phase, bytes, total);
}

void StationProgress::data(qint64 bytes, qint64 total)
{
    if (m_sinceData.isValid() && m_sinceData.elapsed() < DataReportMs && bytes < total)
        return;
    m_sinceData.start();
    write(QStringLiteral("data"), bytes, total);
}

void StationProgress::write(const QString &phase, qint64 bytes, qint64 total)
{
    if (m_fd < 0)
        return;
    const QJsonObject object{{QStringLiteral("t"), double(m_sinceStart.elapsed()) / 1000.0},
                             {QStringLiteral("port"), m_port},
                             {QStringLiteral("phase"), phase},
                             {QStringLiteral("bytes"), bytes},
                             {QStringLiteral("total"), total}};
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    ssize_t written = -1;
    do {
        written = ::write(m_fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
}
