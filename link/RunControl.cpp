#include "link/RunControl.h"

bool RunControl::start()
{
    if (m_depth++ > 0)
        return false;
    m_cancelled = false;
    m_ending = false;
    m_reason.clear();
    return true;
}

void RunControl::cancel(const QString &reason, Cause cause)
{
    if (!m_cancelled) {
        m_reason = reason;
        m_cause = cause;
    }
    m_cancelled = true;
    m_ending = m_ending || cause == Cause::Stopped;
}
