// Accepts the modal boxes that appear while a test waits, and remembers what they showed.
// A modal box runs its own event loop inside whichever wait the test is in, so it must be
// closed from a timer, not from the test's next line.
//
// Thread-safety: UI thread only.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QStringList>
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

    // Class names (QMetaObject) of the boxes seen, in order.
    QStringList seen;
    // The text of each label child of the latest box, by object name.
    QHash<QString, QString> lastTexts;
    // Runs on each new box before it is accepted (the box's modal loop is still running).
    std::function<void(QDialog&)> onSeen;

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
        box->accept();
    }

    QTimer m_timer;
    QPointer<QDialog> m_handled;
};
