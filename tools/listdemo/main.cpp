// Both skinned lists at their main-window places on a dark window, 30 rows each, one row of
// the device list selected. "--few" leaves the share list with 3 rows (nothing to scroll). With
// an output path as argument it saves a grab and quits.
#include "CSkinListCtrl.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

namespace {

CSkinListCtrl* makeList(QWidget* window, const QRect& place, const QString& first, const QString& second)
{
    auto* list = new CSkinListCtrl(window);
    list->setGeometry(place);
    list->InitSkin();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    list->setFont(font);
    list->InsertColumn(0, first, 215);
    list->InsertColumn(1, second, 215);
    list->SetTextColor(QColor(193, 193, 193));
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("List demo"));
    window.setFixedSize(498, 583);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(59, 59, 59));
    window.setPalette(pal);
    window.setAutoFillBackground(true);

    CSkinListCtrl* devices = makeList(&window, QRect(33, 119, 418, 133), QStringLiteral("Name"), QStringLiteral("IP"));
    devices->SetHeaderDragDrop(true);
    CSkinListCtrl* shares =
        makeList(&window, QRect(33, 362, 418, 133), QStringLiteral("Volume Name"), QStringLiteral("Location"));
    QStringList args = QApplication::arguments();
    const bool few = args.removeAll(QStringLiteral("--few")) > 0;
    for (int i = 0; i < 30; ++i) {
        int row = devices->AppendRow(QStringLiteral("Storage & Media %1").arg(i + 1));
        devices->SetItemText(row, 1, QStringLiteral("192.168.1.%1").arg(10 + i));
        if (few && i >= 3) {
            continue;
        }
        row = shares->AppendRow(QStringLiteral("Share folder with a longer name %1").arg(i + 1));
        shares->SetItemText(row, 1, i % 3 == 0 ? QStringLiteral("%1:").arg(QChar('E' + i % 20)) : QString());
    }
    devices->SetSelectedRow(2);
    shares->doItemsLayout();
    shares->verticalScrollBar()->setValue(8);
    window.show();

    if (args.size() > 1) {
        const QString& out = args.at(1);
        QTimer::singleShot(500, &window, [&window, out] {
            window.grab().save(out);
            QApplication::quit();
        });
    }
    return QApplication::exec();
}
