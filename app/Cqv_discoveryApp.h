// The program's start-up: the single-instance rule, then the main window, run modally; the
// process ends when it closes.
//
// Thread-safety: UI thread only.
#pragma once

#include "SingleInstance.h"

#include <QString>

class Cqv_discoveryApp
{
public:
    // lockFolder holds the lock and the raise socket; the default is the user's runtime folder.
    // activation: the token this start was given, handed to a copy that runs already. Read it
    // before the application object exists: Qt's X11 plugin takes the startup id out of the
    // environment as it starts.
    explicit Cqv_discoveryApp(QString lockFolder = QString(),
                              ActivationToken activation = ActivationToken::FromEnvironment());
    ~Cqv_discoveryApp();

    Cqv_discoveryApp(const Cqv_discoveryApp&) = delete;
    Cqv_discoveryApp& operator=(const Cqv_discoveryApp&) = delete;

    // Runs the program; always false: no message loop follows, the process ends.
    bool InitInstance();

private:
    QString m_lockFolder;
    ActivationToken m_activation;
};
