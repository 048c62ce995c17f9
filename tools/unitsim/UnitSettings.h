#pragma once

// How the simulated unit behaves: its version text, upload keyword, prompts and the
// faults it plays. The protocol consults these for every byte, so a change made by a
// control command takes effect at once, even in the middle of a line.

#include <QByteArray>
#include <QtGlobal>

#include <optional>

struct UnitSettings
{
    bool echo = false;
    int answerDelayMs = 0;
    char normalPrompt = '#';
    char loaderPrompt = '>';
    // When set, every prompt the unit prints is this character, whatever the mode.
    std::optional<char> onlyPrompt;
    bool mute = false;
    // Once an upload header has come, the unit takes the data but says nothing more, the
    // answer and prompt after the data included, until this is switched off.
    bool muteAfterHeader = false;
    bool noLoader = false;
    // Data bytes of an upload after which the line drops; unset: never.
    std::optional<qint64> hangupAfter;
    int answerPadding = 0;
    QByteArray version = "2.08";
    QByteArray keyword = "LF";
};
