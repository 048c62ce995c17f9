// A one-line label that never cuts its text mid-word: what does not fit its width ends in an
// ellipsis, and then the whole text is its tooltip. text() stays the whole text for whoever
// reads it. The status line uses it.
#pragma once

#include <QLabel>

class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    // The text as painted at the label's present width.
    QString shownText() const;
    // Any width will do: the text shortens to fit.
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
