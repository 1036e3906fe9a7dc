#include "WindowSearchSink.h"

#include "CMsgBox.h"
#include "CPictureEx.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "DisplayText.h"

#include <QMetaObject>
#include <QString>
#include <memory>
#include <semaphore>
#include <system_error>
#include <thread>

namespace {

// Released when the last copy of the posted call is destroyed: after it ran, or when Qt drops
// the event because the window was destroyed first.
class DoneSignal
{
public:
    explicit DoneSignal(std::shared_ptr<std::binary_semaphore> done)
        : m_done(std::move(done))
    {
    }
    ~DoneSignal() { m_done->release(); }
    DoneSignal(const DoneSignal&) = delete;
    DoneSignal& operator=(const DoneSignal&) = delete;

private:
    // Shared, so that the waiter may return and leave while release() is still finishing.
    std::shared_ptr<std::binary_semaphore> m_done;
};

} // namespace

WindowSearchSink::WindowSearchSink(Cqv_discoveryDlg* dialog)
    : m_dialog(dialog)
{
}

void WindowSearchSink::Close()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

void WindowSearchSink::RunOnWindowThread(std::function<void(Cqv_discoveryDlg&)> call)
{
    auto done = std::make_shared<std::binary_semaphore>(0);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) {
            return;
        }
        auto signal = std::make_shared<DoneSignal>(done);
        Cqv_discoveryDlg* dialog = m_dialog;
        QMetaObject::invokeMethod(
            dialog, [dialog, call = std::move(call), signal] { call(*dialog); }, Qt::QueuedConnection);
    }
    // Not under the mutex: the window's thread may need it (Close) before it runs the call.
    done->acquire();
}

void WindowSearchSink::clearList(int controlId)
{
    RunOnWindowThread([controlId](Cqv_discoveryDlg& dialog) {
        if (auto* list = qobject_cast<CSkinListCtrl*>(dialog.ControlById(controlId))) {
            list->DeleteAllItems();
        }
        // The emptied share list stays empty until the next click: a listing still out is late.
        if (controlId == qvd::IdShareList) {
            dialog.OnShareListCleared();
        }
    });
}

void WindowSearchSink::appendDeviceRow(const char* name, const char* ip)
{
    // Device texts are copied now: the caller's buffers do not outlive this call's wait anyway,
    // but the posted call must not depend on that. The record keeps the text as the device
    // sent it; the cells, and whatever is later taken from them, show it resolved.
    const auto shown = [](const char* text) {
        return QString::fromStdString(DecodeCharacterReferences(text != nullptr ? text : ""));
    };
    RunOnWindowThread([nameText = shown(name), ipText = shown(ip)](Cqv_discoveryDlg& dialog) {
        if (auto* list = qobject_cast<CSkinListCtrl*>(dialog.ControlById(qvd::IdDeviceList))) {
            const int row = list->AppendRow(nameText);
            list->SetItemText(row, 1, ipText);
            // The polling routine enters this row's record at its row counter, which is the row's
            // place as appended; the row keeps that slot wherever it moves later.
            list->SetItemData(row, row);
        }
    });
}

void WindowSearchSink::setControlEnabled(int controlId, bool enabled)
{
    RunOnWindowThread([controlId, enabled](Cqv_discoveryDlg& dialog) {
        if (QWidget* control = dialog.ControlById(controlId)) {
            control->setEnabled(enabled);
        }
    });
}

void WindowSearchSink::setControlVisible(int controlId, bool visible)
{
    RunOnWindowThread([controlId, visible](Cqv_discoveryDlg& dialog) {
        if (QWidget* control = dialog.ControlById(controlId)) {
            control->setVisible(visible);
        }
    });
}

void WindowSearchSink::animationStop()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_closed) {
        m_dialog->Animation()->Stop();
    }
}

void WindowSearchSink::animationPlay()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_closed) {
        m_dialog->Animation()->Play();
    }
}

void WindowSearchSink::showNoDeviceBox()
{
    RunOnWindowThread([](Cqv_discoveryDlg& dialog) {
        CMsgBox box(&dialog);
        box.kind = KindNoDevice;
        box.exec();
    });
}

SearchShared::SearchShared(Cqv_discoveryDlg* dialog)
    : sink(dialog)
{
    for (std::atomic<int>& entry : rowToRecord) {
        // Relaxed: set before the first search thread exists; starting the thread orders it.
        entry.store(-1, std::memory_order_relaxed);
    }
}

bool StartSearchThread(const std::shared_ptr<SearchShared>& shared, qvd::WorkerEntry entry)
{
    // Acq_rel: a search that ended is seen whole (its rows posted) before the next one starts.
    if (shared->busy.exchange(true, std::memory_order_acq_rel)) {
        return false;
    }
    try {
        std::thread([shared, entry] {
            qvd::searchAndListDevices(shared->sink, shared->rowToRecord, entry);
            // Release: everything the search did happens before a later search sees it ended.
            shared->busy.store(false, std::memory_order_release);
        }).detach();
    } catch (const std::system_error&) {
        // Release: pairs with the acquire of the next attempt.
        shared->busy.store(false, std::memory_order_release);
        return false;
    }
    return true;
}
