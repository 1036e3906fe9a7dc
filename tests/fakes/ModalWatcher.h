// Accepts each modal box that appears while a test waits and remembers what it showed. A modal
// box runs its own event loop inside the test's wait, so only a timer can close it.
//
// Thread-safety: UI thread only.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <functional>

class ModalWatcher : public QObject
{
public:
    ModalWatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::look);
        m_timer.start(10);
    }

    QStringList seen;                     // class names of the boxes, in order
    QHash<QString, QString> lastTexts;    // label texts of the latest box, by object name
    std::function<void(QDialog&)> onSeen; // runs inside the box's modal loop, before accepting

private:
    void look()
    {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (box == nullptr || box == m_handled) {
            return;
        }
        m_handled = box;
        seen.append(QString::fromLatin1(box->metaObject()->className()));
        lastTexts.clear();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            lastTexts.insert(label->objectName(), label->text());
        }
        if (onSeen) {
            onSeen(*box);
        }
        // onSeen may have closed the box its own way (Cancel).
        if (box->isVisible()) {
            box->accept();
        }
    }

    QTimer m_timer;
    QPointer<QDialog> m_handled;
};
