// The platform facilities behind Configure, Browse and Create Desktop Shortcut, in one place
// so that tests can put fakes in their stead.
//
// Thread-safety: set up before the first action (tests: before the window exists) and not
// changed while a reachability check runs; the check thread reads only `probe`.
#pragma once

#include "Launcher.h"
#include "Reachability.h"

#include <functional>
#include <string>

struct LaunchServices
{
    qvp::ProgramStarter* starter = nullptr;
    qvp::ReachabilityProbe* probe = nullptr;
    // The default browser's desktop-entry id (xdg-settings).
    std::function<std::string()> browserId;
    // The user's desktop folder; empty when there is none.
    std::function<std::string()> desktopFolder;
    // Where the device icons are exported: <dataHome>/icons/hicolor/...
    std::function<std::string()> dataHome;
    // Each of the two waits for the reachability answer.
    int availabilityWaitMs = 1000;
};

// The process-wide services; the real ones until a test replaces them.
LaunchServices& launchServices();
