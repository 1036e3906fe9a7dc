// Counts the paint events that reach the widgets it is installed on.
#pragma once

#include <QEvent>
#include <QObject>

struct PaintCounter : QObject
{
    int paints = 0;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};
