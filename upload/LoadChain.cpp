#include "upload/LoadChain.h"

void LoadChain::fileNamed()
{
    m_fileStep = true;
    m_refused = false;
}

bool LoadChain::takeAddressStep()
{
    const bool due = m_fileStep;
    m_fileStep = false;
    return due;
}

void LoadChain::addressTaken()
{
    m_addressStep = true;
}

bool LoadChain::takeVersionStep()
{
    const bool due = m_addressStep;
    m_addressStep = false;
    return due;
}

void LoadChain::versionTaken()
{
    m_versionStep = true;
}

void LoadChain::headerSent()
{
    m_versionStep = false;
}

// Broken until the next named file, so that no step of an earlier chain stands in for the
// refused one.
void LoadChain::refuse()
{
    m_refused = true;
    m_fileStep = false;
    m_addressStep = false;
    m_versionStep = false;
}

void LoadChain::forgetRefusal()
{
    m_refused = false;
}

LoadChain::Upload LoadChain::upload() const
{
    if (m_refused)
        return Upload::Refused;
    return m_versionStep ? Upload::WithHeader : Upload::Raw;
}
