#include "BrowseShare.h"

#include "BrowserLookup.h"
#include "LaunchServices.h"
#include "UrlEncoding.h"

std::string ShareUrl(const QString& host, const QString& share)
{
    return "smb://" + qvp::urlHost(host.toStdString()) + "/" + qvp::percentEncode(share.toStdString());
}

void BrowseSelectedShare(int deviceRow, const QString& host, int shareRow, const QString& share)
{
    if (deviceRow < 0 || shareRow < 0 || host.isEmpty()) {
        return;
    }
    // The file manager mounts the share and asks for its own credentials; the result is not
    // looked at.
    launchServices().starter->Start(qvp::openerCommand(ShareUrl(host, share)));
}
