// Reports when a program's main window has painted its first frame, then ends the program.
//
// Installed on the application: at the first Paint event of a visible top-level widget whose
// object name matches, it waits for that paint to finish (a zero timer runs after the paint
// and its flush to the window system) and prints one line:
//   first_paint_ns=<CLOCK_MONOTONIC nanoseconds> maxrss_kb=<peak resident set so far>
// With holdMs > 0 the program keeps running that long and prints
//   hold_maxrss_kb=<peak resident set>
// before it ends. The process ends with _exit: nothing else is torn down or waited for.
//
// Both programs mark their steps with the program's own StartupCheckpoint (app/StartupTrace.h),
// so that the reference program's steps can be set beside the program's.
//
// Thread-safety: UI thread only.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <StartupTrace.h>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

class FirstPaintProbe : public QObject
{
public:
    FirstPaintProbe(QString windowName, int holdMs)
        : m_windowName(std::move(windowName))
        , m_holdMs(holdMs)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_seen || event->type() != QEvent::Paint) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || !widget->isWindow() || widget->objectName() != m_windowName) {
            return false;
        }
        m_seen = true;
        QTimer::singleShot(0, this, [this] { Report(); });
        return false;
    }

private:
    static long maxRssKb()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }

    void Report()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("first_paint_ns=%lld maxrss_kb=%ld\n",
                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, maxRssKb());
        std::fflush(stdout);
        if (m_holdMs <= 0) {
            _exit(0);
        }
        QTimer::singleShot(m_holdMs, this, [] {
            std::printf("hold_maxrss_kb=%ld\n", maxRssKb());
            std::fflush(stdout);
            _exit(0);
        });
    }

    QString m_windowName;
    int m_holdMs;
    bool m_seen = false;
};
