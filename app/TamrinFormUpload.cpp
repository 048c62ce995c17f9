// The window's upload: its upload names delegate to Uploader, which is wired here to the status
// line, the message boxes, the menus, the terminal pane and the progress window.
#include "app/TamrinForm.h"

#include "app/StationProgress.h"
#include "app/TerminalPane.h"

#include <QAction>
#include <QMenu>

void TTamrinForm::attachUploader()
{
    Uploader::View view;
    view.showStatus = [this](const QString &text) { show_status(text); };
    view.showMessage = [this](const QString &text) { showMessage(text); };
    view.reportFailure = [this](const QString &text) { reportFailure(text); };
    view.showUploadMenus = [this](bool shown) {
        ConfigMenu->menuAction()->setVisible(shown);
        Ethernet1->menuAction()->setVisible(shown);
    };
    view.enablePane = [this](bool enabled) { AdTerminal1->setEnabled(enabled); };
    view.progress = [this](UploadPhase phase, qint64 bytes, qint64 total) {
        if (!m_progress)
            return;
        if (phase == UploadPhase::Data)
            m_progress->data(bytes, total);
        else
            m_progress->phase(phase == UploadPhase::Header ? QStringLiteral("header")
                                                            : QStringLiteral("confirm"),
                              bytes, total);
    };
    view.unitAnswer = [this] { return m_script->query().lastAnswer; };
    m_uploader->setView(std::move(view));
}

void TTamrinForm::UploadButtonClick()
{
    m_uploader->UploadButtonClick();
}

void TTamrinForm::SendFile1Click()
{
    if (operatorMay())
        runChosenFile([this](const QString &chosen) { m_uploader->sendChosenFile(chosen); });
}
