// The load chain of a script: _LF names a file, _LA gives its load address (and measures it),
// _LV its version, and _LD uploads it. Each step is due only right after the one before it,
// and a due step is spent when its line comes, whether that line is sound or not. A step
// refused with a message breaks the chain until the next file is named: _LD must then not
// send the file without the header the script meant. The run keeps one chain for as long as
// the program lasts; the script check follows one through a script to judge each step as the
// run will.
#pragma once

class LoadChain
{
public:
    // What _LD does with the chain as it stands.
    enum class Upload
    {
        WithHeader, // the chain is complete
        Raw,        // no chain was started: the named file goes as it is
        Refused     // a step was refused: the run stops
    };

    // A named file that opens: the address step is due, and an earlier refusal is forgotten.
    void fileNamed();
    // True when the address step is due; spent either way.
    bool takeAddressStep();
    // The file was measured: the version step is due.
    void addressTaken();
    bool takeVersionStep();
    // The header is complete.
    void versionTaken();
    // The header went to the unit: the next upload needs a chain of its own.
    void headerSent();
    void refuse();
    // A new run: a refusal of an earlier run no longer stops _LD.
    void forgetRefusal();

    Upload upload() const;
    bool complete() const { return m_versionStep; }
    bool operator==(const LoadChain &other) const
    {
        return m_fileStep == other.m_fileStep && m_addressStep == other.m_addressStep &&
               m_versionStep == other.m_versionStep && m_refused == other.m_refused;
    }

private:
    bool m_fileStep = false;
    bool m_addressStep = false;
    bool m_versionStep = false;
    bool m_refused = false;
};
