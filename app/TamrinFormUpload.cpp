// The window's upload: its upload names delegate to Uploader, whose signals the window answers
// here: the menus follow the transfer, the terminal pane is held during the data, and a
// station's progress follows the upload.
#include "app/TamrinForm.h"

#include "app/StationProgress.h"
#include "app/TerminalPane.h"

void TTamrinForm::attachUploader()
{
    connect(m_uploader.get(), &Uploader::transferChanged, this, &TTamrinForm::applyLinkState);
    connect(m_uploader.get(), &Uploader::terminalHeld, this,
            [this](bool held) { AdTerminal1->setEnabled(!held); });
    connect(m_uploader.get(), &Uploader::progressed, this,
            [this](UploadPhase phase, qint64 bytes, qint64 total) {
                if (!m_progress)
                    return;
                if (phase == UploadPhase::Data)
                    m_progress->data(bytes, total);
                else
                    m_progress->phase(phase == UploadPhase::Header ? QStringLiteral("header")
                                                                   : QStringLiteral("confirm"),
                                      bytes, total);
            });
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
