#pragma once

// UnitControls carries out the control lines typed on the simulator's standard input,
// such as "delay 200", "mute on" or "hangup". Command-line options are turned into the
// same lines, so both set the unit alike. Every line gets one reply: "ok <the line>"
// or "error <why>".

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class UnitHost;

class UnitControls : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MaxBurstSize = 16 * 1024 * 1024; // flood, garbage
    static constexpr qint64 MaxAnswerPadding = 1024 * 1024;
    static constexpr qint64 MaxAnswerDelayMs = 10 * 60 * 1000;
    static constexpr qint64 MaxBaud = 4000000;
    static constexpr qint64 MaxHangupLines = 1000000;

    explicit UnitControls(UnitHost *host, QObject *parent = nullptr);

    QString execute(const QString &line);
    QStringList commandNames() const;

signals:
    void quitRequested();

private:
    // Carries out a command with its argument; returns why it failed, or nothing.
    using Handler = std::function<QString(const QString &argument)>;

    void addSettingCommands();
    void addActionCommands();
    void addCommand(const QString &name, Handler handler);
    void addSimpleAction(const QString &name, std::function<bool(QString *error)> action);

    UnitHost *host_;
    QHash<QString, Handler> handlers_;
};
