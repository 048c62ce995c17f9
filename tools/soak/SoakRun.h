// One soak run: a fresh simulated unit, a fresh set of Tamrin's windows connected to it over
// the plan's transport, a file of random bytes, a script upload with the plan's fault, and
// then what Tamrin reported, recorded and what the unit stored, sorted by RunOutcome and held
// against each other by RecordCheck. Standard error is caught for the run (StderrCapture) to
// read Tamrin's records. Everything the run made lives in temporary folders that go with it.
#pragma once

#include "RunOutcome.h"
#include "RunPlan.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class FormFixture;
class OutsideStop;
class TTamrinForm;
class UnitSim;

class SoakRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int GarbageSize = 5000;

    // 'unitBaud' above 0 makes the unit take bytes no faster than that rate allows.
    SoakRun(const RunPlan &plan, int unitBaud, QObject *parent = nullptr);
    ~SoakRun() override;

    RunOutcome execute();

private:
    bool setUp(QString *error);
    bool startUnit(QString *error);
    bool connectLink(QString *error);
    bool prepareFault(QString *error);
    void runScripts();
    bool measuresInARunOfItsOwn() const;
    int runUpload();
    void noteHowTheRunEnded();
    void judgeTheRecords(const QByteArray &caughtStderr);
    void watchBlock(qsizetype size);
    void watchPause();
    void injectFault();
    void typeKey();
    bool alterFile();
    void readWhatTheUnitStored(bool tamrinReportedFailure);
    QString keepEvidence() const;
    QByteArray chain() const;
    QString filePath() const;
    QString stderrPath() const;
    TTamrinForm &form();

    RunPlan m_plan;
    int m_unitBaud = 0;
    QByteArray m_data;
    QTemporaryDir m_files;
    // Declared before the fixture, so Tamrin's windows go before the unit they talk to, and
    // before the guard they were given.
    std::unique_ptr<UnitSim> m_unit;
    std::unique_ptr<OutsideStop> m_stop;
    std::unique_ptr<FormFixture> m_fixture;
    RunOutcome m_outcome;
    qint64 m_sent = 0;
    bool m_scriptRunning = false;
    bool m_faultDue = false;
    // Looks for the pause after the header on every pass of the event loop.
    QTimer m_pauseWatch;
};
