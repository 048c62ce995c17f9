#include "upload/ProgressForm.h"

#include "app/TamrinState.h"
#include "link/Timing.h"
#include "script/ScriptSyntax.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

// From the file name's place to just before the "File Size" caption.
constexpr int NameColumnWidth = 216 - 67 - 6;

QLabel *label(QWidget *parent, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->move(left, top);
    return l;
}

} // namespace

TProgressForm::TProgressForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Quenby Research Inc. :- File Upload Progress"));
    setFixedSize(430, 154);
    move(0, 0);
    QFont windowFont(QStringLiteral("Comic Sans MS"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    FileProgressBar = new QProgressBar(this);
    FileProgressBar->setGeometry(8, 40, 417, 25);
    FileProgressBar->setRange(0, 100);
    FileProgressBar->setValue(0);
    QLabel *title = label(this, QStringLiteral("TRANSFER STATUS "), 144, 0);
    QFont titleFont = windowFont;
    titleFont.setPixelSize(15);
    title->setFont(titleFont);
    label(this, QStringLiteral("File Name : "), 8, 80);
    BlockNameLabel = label(this, QString(), 67, 80);
    // A long path stops short of the File Size column; the whole of it is the label's tip.
    BlockNameLabel->setMaximumWidth(NameColumnWidth);
    label(this, QStringLiteral("Checksum :"), 8, 104);
    ChecksumLabel = label(this, QString(), 67, 104);
    label(this, QStringLiteral("Load Address :"), 216, 104);
    LoadAddressLabel = label(this, QString(), 291, 104);
    label(this, QStringLiteral("File Size"), 216, 80);
    FileSizeLabel = label(this, QString(), 291, 80);
    label(this, QStringLiteral("Date Modified:"), 8, 128);
    DateModifiedLabel = label(this, QString(), 99, 128);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(384, 96, 41, 25);
    CancelButton->setVisible(false);
    CancelButton->setEnabled(false);
    connect(CancelButton, &QPushButton::clicked, this, &TProgressForm::CancelButtonClick);
}

void TProgressForm::ShowProgressForm(int maximum, const UploadState &upload)
{
    cancelFlag = 0;
    show();
    BlockNameLabel->setText(ScriptSyntax::displayText(upload.fileName));
    ChecksumLabel->setText(QString::number(upload.checksum, 16).toUpper());
    LoadAddressLabel->setText(ScriptSyntax::displayText(upload.loadAddress));
    FileSizeLabel->setText(QString::number(upload.fileSize));
    DateModifiedLabel->setText(ScriptSyntax::displayText(upload.loadVersion));
    for (QLabel *shown :
         {BlockNameLabel, ChecksumLabel, LoadAddressLabel, FileSizeLabel, DateModifiedLabel})
        shown->adjustSize();
    BlockNameLabel->setToolTip(BlockNameLabel->text());
    FileProgressBar->setMaximum(maximum > 0 ? maximum : 1);
    Timing::pump();
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
