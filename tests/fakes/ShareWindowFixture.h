// The end of a share-action test with the real window: the scripted search let go and ended,
// then the window, its modal watcher and the fake services gone, in that order (the window
// uses the services until it is destroyed).
#pragma once

#include "FakeDiscovery.h"

#include <QtTest>
#include <memory>

namespace fake {

template <typename Window, typename Watcher, typename Services>
void CloseShareWindow(std::unique_ptr<Window>& window, std::unique_ptr<Watcher>& watcher,
                      std::unique_ptr<Services>& services)
{
    Release();
    if (window) {
        QTRY_VERIFY(!window->IsSearching());
    }
    watcher.reset();
    window.reset();
    services.reset();
}

} // namespace fake
