// Clicks one device of the real window CLICKS times and prints, one per line, the milliseconds
// from each click to the share list being filled. The device comes from a scripted worker.
//   bench_share_click HOST CLICKS
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "ShareActions.h"
#include "protocol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HOST CLICKS\n", argv[0]);
        return 2;
    }
    const int clicks = std::atoi(argv[2]);
    qvd::timing().pollIntervalMs.store(10);
    fake::SetScript({fake::MakerDevice("NAS", std::string(argv[1]) + ":80")});
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    window.show();
    auto* list = window.findChild<CSkinListCtrl*>(QStringLiteral("deviceListView"));
    auto* shares = window.findChild<CSkinListCtrl*>(QStringLiteral("shareListView"));
    QElapsedTimer wait;
    wait.start();
    while ((list->GetItemCount() == 0 || window.IsSearching()) && wait.elapsed() < 10000) {
        QTest::qWait(10);
    }
    if (list->GetItemCount() == 0) {
        std::fprintf(stderr, "no device listed\n");
        return 1;
    }
    const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
    for (int i = 0; i < clicks; ++i) {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        auto* actions = window.findChild<ShareActions*>(QStringLiteral("shareActions"));
        QSignalSpy listed(actions, &ShareActions::sharesListed);
        // The click itself may already have filled the list (an answer cannot arrive inside it,
        // it is posted), so waiting for the signal is exact.
        if (!listed.wait(10000) || shares->GetItemCount() == 0) {
            std::fprintf(stderr, "click %d: no shares\n", i);
            return 1;
        }
        std::printf("%.2f\n", double(clock.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
    }
    return 0;
}
