#pragma once

// UnitCommandLine reads tamrin-unitsim's options. The endpoint, transcript and store
// options configure the host before it starts; every other option becomes the control
// line that sets the same thing at run time ("--delay 200" is "delay 200", "--unit-version
// 3.1" is "version 3.1"), so the command line and standard input never disagree about what
// a setting means. --help and --version print and end, as with every tool.

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
        Version,
        Error
    };

    UnitCommandLine();

    Result parse(const QStringList &arguments);
    QString errorText() const { return errorText_; }
    QString helpText() const;
    static QString versionText();

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
