#include "ConfigureDevice.h"

#include "BackgroundJobs.h"
#include "BrowserLookup.h"
#include "LaunchServices.h"
#include "NamedText.h"
#include "RowRecord.h"
#include "SelectedHost.h"
#include "UrlEncoding.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

AvailabilityFlagState AvailabilityFlag;

namespace {

constexpr int WaitCount = 2;
// How often a wait looks at the flag: an answer ends the wait early.
constexpr auto LookInterval = std::chrono::milliseconds(5);

} // namespace

std::string MakePageAddress(const std::string& address, const qvd::DeviceRecord& copy)
{
    const std::string presentation = copy.presentationURL;
    if (presentation.empty()) {
        return address;
    }
    if (presentation.find("http://") != std::string::npos) {
        // The first seven characters go, wherever "http://" stood.
        return presentation.find(address) != std::string::npos ? presentation.substr(7) : address;
    }
    return std::string(copy.hostPort) + "/" + presentation;
}

std::uint64_t AvailabilityFlagState::Pack(std::uint32_t seq, int value)
{
    return (std::uint64_t{seq} << 32) | static_cast<std::uint32_t>(value);
}

std::uint32_t AvailabilityFlagState::Reset()
{
    // Relaxed: the value carries no other data; the check's thread gets its number as a copy.
    const std::uint32_t seq = static_cast<std::uint32_t>(m_state.load(std::memory_order_relaxed) >> 32) + 1;
    m_state.store(Pack(seq, 0), std::memory_order_relaxed); // relaxed: see above
    return seq;
}

void AvailabilityFlagState::Answer(std::uint32_t seq, bool available)
{
    std::uint64_t expected = Pack(seq, 0);
    // Relaxed: only the flag itself is published. A failed exchange means a newer check (or
    // the end of the waits) has taken the flag over.
    m_state.compare_exchange_strong(expected, Pack(seq, available ? 1 : -1), std::memory_order_relaxed);
}

int AvailabilityFlagState::Value() const
{
    // Relaxed: see Answer.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(m_state.load(std::memory_order_relaxed)));
}

void StartAvailabilityCheck(const std::string& pageAddress)
{
    const std::uint32_t seq = AvailabilityFlag.Reset();
    const LaunchServices& services = launchServices();
    qvp::ReachabilityProbe* probe = services.probe;
    // The device has the time of both waits to answer; an answer after that is stale anyway.
    const int timeoutMs = WaitCount * services.availabilityWaitMs;
    try {
        std::thread([probe, seq, timeoutMs, address = pageAddress] {
            AvailabilityFlag.Answer(seq, probe->Probe(address, timeoutMs));
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the flag stays undecided and the waits end in the warning.
    }
}

int WaitForDeviceAvailable(QWidget* window, const std::function<void()>& whenUnavailable)
{
    const auto waitLength = std::chrono::milliseconds(launchServices().availabilityWaitMs);
    int waits = 0;
    for (;;) {
        const int value = AvailabilityFlag.Value();
        if (value == 1) {
            AvailabilityFlag.Reset();
            return 1;
        }
        if (value == -1 || waits == WaitCount) {
            break;
        }
        const auto end = std::chrono::steady_clock::now() + waitLength;
        while (AvailabilityFlag.Value() == 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(LookInterval);
        }
        ++waits;
    }
    AvailabilityFlag.Reset();
    // The platform's own warning box, not the program's skinned one.
    QMessageBox box(QMessageBox::Warning, qvres::NamedText(qvres::text::WarningTitle),
                    qvres::NamedText(qvres::text::WarningUnavailable), QMessageBox::Ok, window);
    // Our own text for the platform's button, so that it speaks the window's language.
    box.button(QMessageBox::Ok)->setText(qvres::NamedText(qvres::text::ButtonOk));
    box.setObjectName(QStringLiteral("unavailableWarning"));
    box.exec();
    if (whenUnavailable) {
        whenUnavailable();
    }
    return 0;
}

void LaunchBrowser(const std::string& pageAddress)
{
    const std::string url = "http://" + qvp::shellInertUrl(pageAddress);
    const LaunchServices& services = launchServices();
    // NOLINTNEXTLINE(concurrency-mt-unsafe): nothing in the program sets the environment.
    const char* browserEnv = std::getenv("BROWSER");
    const std::vector<std::string> command =
        qvp::browserCommandFor(services.browserId(), qvp::applicationDataDirs(), browserEnv, url);
    if (qvp::isMissingProgram(services.starter->Start(command))) {
        services.starter->Start(qvp::openerCommand(url));
    }
}

void OpenConfigurationPage(int row, const QString& address, const qvd::RowToRecord& rowToRecord, QWidget* window,
                           const std::function<void()>& whenUnavailable)
{
    if (row < 0) {
        return;
    }
    const qvd::DeviceRecord copy = RecordForRow(rowToRecord, row);
    const std::string pageAddress = MakePageAddress(address.toStdString(), copy);
    // SelectedHost keeps what fits; the check and the browser get the full page address.
    SetSelectedHost(pageAddress);
    StartAvailabilityCheck(pageAddress);
    if (WaitForDeviceAvailable(window, whenUnavailable) == 0) {
        return;
    }
    // The browser lookup runs a desktop helper that may take seconds: the window paints on.
    RunInBackground([pageAddress] { LaunchBrowser(pageAddress); });
}
