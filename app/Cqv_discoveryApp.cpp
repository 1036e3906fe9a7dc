#include "Cqv_discoveryApp.h"

#include "Cqv_discoveryDlg.h"
#include "StartupTrace.h"

#include <QCoreApplication>
#include <memory>

Cqv_discoveryApp::Cqv_discoveryApp(QString lockFolder, ActivationToken activation)
    : m_lockFolder(lockFolder.isEmpty() ? SingleInstance::DefaultFolder() : std::move(lockFolder))
    , m_activation(std::move(activation))
{
}

Cqv_discoveryApp::~Cqv_discoveryApp() = default;

bool Cqv_discoveryApp::InitInstance()
{
    StartupCheckpoint("start-up routine");
    SingleInstance instance(m_lockFolder);
    // Raise requests are answered from the first frame on: the server's set-up does not delay it,
    // and a second copy that starts before then waits for the answer.
    if (instance.Acquire(SingleInstance::Answer::Later, m_activation) == SingleInstance::Result::Running) {
        return false;
    }
    StartupCheckpoint("single-instance lock held");
    // Names the settings root; nothing is ever stored under it.
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));

    auto window = std::make_unique<Cqv_discoveryDlg>();
    instance.SetWindow(window.get());
    QObject::connect(window.get(), &Cqv_discoveryDlg::firstFrameShown, &instance, &SingleInstance::Listen);
    StartupCheckpoint("main window initialised");
    window->exec();
    instance.Release();
    window.reset();
    return false;
}
