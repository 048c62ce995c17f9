// A test's hook into the moment a window goes: the action runs inside hide(), before the
// code that hid the window goes on.
#pragma once

#include <QEvent>
#include <QWidget>

#include <functional>
#include <utility>

// Runs an action once, the first time the watched window is hidden.
class OnFirstHide : public QObject
{
public:
    OnFirstHide(QWidget *window, std::function<void()> action)
        : m_window(window), m_action(std::move(action))
    {
        m_window->installEventFilter(this);
    }
    ~OnFirstHide() override { m_window->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Hide && m_action)
            std::exchange(m_action, nullptr)();
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_action;
};
