#include "LaunchServices.h"

#include "BrowserLookup.h"
#include "DesktopEntryWriter.h"

#include <QStandardPaths>

LaunchServices& launchServices()
{
    static qvp::SpawnStarter starter;
    static qvp::TcpReachabilityProbe probe;
    static LaunchServices services{
        &starter,
        &probe,
        [] { return qvp::defaultBrowserId(); },
        [] { return qvp::desktopFolder(); },
        // XDG_DATA_HOME, else ~/.local/share.
        [] { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString(); },
        1000,
    };
    return services;
}
