#include "app/ProgressForm.h"

#include "app/CaptionBar.h"
#include "app/WindowLook.h"
#include "base/ByteText.h"
#include "base/Timing.h"
#include "link/RunControl.h"
#include "upload/UploadState.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int FileSizeLeft = 216;
constexpr int FileSizeValueLeft = 291;

QLabel *label(QWidget *parent, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->move(left, top);
    l->adjustSize();
    return l;
}

// A caption and the label of its value after it, never over it.
QLabel *captionedValue(QWidget *parent, const QString &caption, int left, int top, int valueLeft)
{
    const QLabel *captionLabel = label(parent, caption, left, top);
    return label(parent, QString(), WindowLook::besideCaption(captionLabel, valueLeft), top);
}

// The path whole when it fits the width; else its folders shortened in the middle, then only
// an ellipsis before the file's own name, and at worst the name itself shortened in the
// middle, so that its start and its extension still show.
QString elidedPath(const QString &path, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString name = path.mid(slash);
        const QString folders =
            metrics.elidedText(path.left(slash), Qt::ElideMiddle,
                               std::max(0, width - metrics.horizontalAdvance(name)));
        const QString shown = (folders.isEmpty() ? QStringLiteral("\u2026") : folders) + name;
        if (metrics.horizontalAdvance(shown) <= width)
            return shown;
    }
    return metrics.elidedText(path.mid(slash + 1), Qt::ElideMiddle, width);
}

} // namespace

// A title and no buttons, and refusing to close while shown: the window goes away only when
// the upload ends.
TProgressForm::TProgressForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Quenby Research Inc. :- File Upload Progress"));
    setFixedSize(430, 154);
    move(0, 0);
    const QFont windowFont = WindowLook::sansFont(QStringLiteral("Comic Sans MS"), 11);
    setFont(windowFont);

    FileProgressBar = new QProgressBar(this);
    FileProgressBar->setGeometry(8, 40, 417, 25);
    FileProgressBar->setRange(0, 100);
    FileProgressBar->setValue(0);
    FileProgressBar->setAccessibleName(QStringLiteral("File upload progress"));
    QLabel *title = label(this, QStringLiteral("TRANSFER STATUS "), 144, 0);
    QFont titleFont = windowFont;
    titleFont.setPixelSize(15);
    title->setFont(titleFont);
    title->adjustSize();
    BlockNameLabel = captionedValue(this, QStringLiteral("File Name : "), 8, 80, 67);
    ChecksumLabel = captionedValue(this, QStringLiteral("Checksum :"), 8, 104, 67);
    LoadAddressLabel = captionedValue(this, QStringLiteral("Load Address :"), FileSizeLeft, 104,
                                      FileSizeValueLeft);
    label(this, QStringLiteral("File Size"), FileSizeLeft, 80);
    FileSizeLabel = label(this, QString(), FileSizeValueLeft, 80);
    DateModifiedLabel = captionedValue(this, QStringLiteral("Date Modified:"), 8, 128, 99);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(384, 96, 41, 25);
    CancelButton->setVisible(false);
    CancelButton->setEnabled(false);
    connect(CancelButton, &QPushButton::clicked, this, &TProgressForm::CancelButtonClick);
    CaptionBar::install(this);
}

int TProgressForm::cancelFlag() const
{
    return m_run && m_run->cancelled() ? 1 : 0;
}

void TProgressForm::CancelButtonClick()
{
    if (m_run)
        m_run->cancel(QStringLiteral("Upload cancelled by the operator."));
}

void TProgressForm::ShowProgressForm(int maximum, const UploadState &upload)
{
    show();
    showFileName(ByteText::displayText(upload.fileName));
    ChecksumLabel->setText(QString::number(upload.checksum, 16).toUpper());
    LoadAddressLabel->setText(ByteText::displayText(upload.loadAddress));
    FileSizeLabel->setText(QString::number(upload.fileSize));
    DateModifiedLabel->setText(ByteText::displayText(upload.loadVersion));
    for (QLabel *shown : {ChecksumLabel, LoadAddressLabel, FileSizeLabel, DateModifiedLabel})
        shown->adjustSize();
    FileProgressBar->setMaximum(maximum > 0 ? maximum : 1);
    Timing::pump();
}

// The name fills its column up to the File Size caption, which stays where it is whatever the
// name: the size must show whole.
void TProgressForm::showFileName(const QString &path)
{
    const int column = FileSizeLeft - WindowLook::CaptionGap - BlockNameLabel->x();
    BlockNameLabel->setText(elidedPath(path, BlockNameLabel->fontMetrics(), column));
    BlockNameLabel->setToolTip(path);
    BlockNameLabel->adjustSize();
}

void TProgressForm::closeEvent(QCloseEvent *event)
{
    if (isVisible())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TProgressForm::StepIt()
{
    FileProgressBar->setValue(std::min(FileProgressBar->value() + 1, FileProgressBar->maximum()));
    emit stepped(FileProgressBar->value());
}

void TProgressForm::HideProgressForm()
{
    FileProgressBar->setValue(0);
    if (isVisible())
        hide();
    Timing::pump();
}
