// A program starter that records each argument vector instead of starting anything, and
// answers with scripted results (StartOk once the script is used up).
//
// Thread-safety: one caller at a time: the UI thread, or a background job of the actions (read
// the records once BackgroundJobsRunning() is 0).
#pragma once

#include "Launcher.h"

#include <deque>
#include <string>
#include <vector>

namespace fake {

class FakeStarter final : public qvp::ProgramStarter
{
public:
    int Start(const std::vector<std::string>& argv) override
    {
        started.push_back(argv);
        if (results.empty()) {
            return qvp::StartOk;
        }
        const int result = results.front();
        results.pop_front();
        return result;
    }

    std::vector<std::vector<std::string>> started;
    std::deque<int> results;
};

} // namespace fake
