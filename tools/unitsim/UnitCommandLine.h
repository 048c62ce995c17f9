#pragma once

// UnitCommandLine reads tamrin-unitsim's options. The endpoint, transcript and store
// options configure the host before it starts; every other option becomes the control
// line that sets the same thing at run time ("--delay 200" is "delay 200"), so the
// command line and standard input never disagree about what a setting means.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

class UnitCommandLine
{
public:
    enum class Result
    {
        Run,
        Help,
        Error
    };

    UnitCommandLine();

    Result parse(const QStringList &arguments);
    QString errorText() const { return errorText_; }
    QString helpText() const;

    QString ptyPath() const { return ptyPath_; }
    std::optional<quint16> tcpPort() const { return tcpPort_; }
    QString transcriptPath() const { return transcriptPath_; }
    QString storeFolder() const { return storeFolder_; }
    QStringList controlLines() const { return controlLines_; }

private:
    bool readEndpoints();
    void collectControlLines();

    QCommandLineParser parser_;
    QString errorText_;
    QString ptyPath_;
    std::optional<quint16> tcpPort_;
    QString transcriptPath_;
    QString storeFolder_;
    QStringList controlLines_;
};
