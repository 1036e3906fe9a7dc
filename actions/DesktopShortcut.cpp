#include "DesktopShortcut.h"

#include "AtomicFile.h"
#include "BackgroundJobs.h"
#include "DesktopEntryWriter.h"
#include "LaunchServices.h"
#include "Resources.h"
#include "RowRecord.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace {

struct ModelCode
{
    const char* code;
    int iconIndex;
};

// Searched in this order; the first code found decides.
constexpr ModelCode ModelTable[] = {
    {"KTA101", 1}, {"KTA102", 1}, {"KTA103", 2}, {"KTA104", 2}, {"KTA105", 2}, {"KTA106", 3},
    {"KTA107", 3}, {"KTA108", 4}, {"KTA109", 4}, {"KTB201", 5}, {"KTB202", 6}, {"KTB203", 7},
    {"KTA110", 8}, {"KTC31", 8},  {"KTA111", 9}, {"KTC32", 9},
};

constexpr int FirstDeviceIcon = 246;
constexpr int LastDeviceIcon = 254;
constexpr int IconSizes[] = {256, 128, 48, 32, 24, 16};

} // namespace

int IconIndexForModel(const char* modelNumber)
{
    for (const ModelCode& entry : ModelTable) {
        if (std::strstr(modelNumber, entry.code) != nullptr) {
            return entry.iconIndex;
        }
    }
    return 0;
}

std::string DeviceIconName(int iconIndex)
{
    return "qvlink-device-" + std::to_string(FirstDeviceIcon - 1 + iconIndex);
}

bool ExportDeviceIcons(const std::string& dataHome)
{
    if (dataHome.empty() || dataHome.front() != '/') {
        return false;
    }
    bool ok = true;
    for (int size : IconSizes) {
        const std::string folder =
            dataHome + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        for (int id = FirstDeviceIcon; id <= LastDeviceIcon; ++id) {
            QFile source(qvres::IconFile(id, size));
            if (!source.open(QIODevice::ReadOnly)) {
                ok = false;
                continue;
            }
            const QByteArray bytes = source.readAll();
            const std::string fileName = "qvlink-device-" + std::to_string(id) + ".png";
            const QFileInfo present(QString::fromStdString(folder + "/" + fileName));
            if (present.isFile() && present.size() == bytes.size()) {
                continue;
            }
            ok = qvp::makeFolders(folder) &&
                 qvp::writeFileAtomically(folder + "/" + fileName, std::string_view(bytes.constData(), bytes.size()),
                                          0644) &&
                 ok;
        }
    }
    return ok;
}

void CreateDesktopShortcut(int row, const QString& name, const QString& address, const qvd::RowToRecord& rowToRecord)
{
    if (row < 0) {
        return;
    }
    const qvd::DeviceRecord copy = RecordForRow(rowToRecord, row);
    const int iconIndex = IconIndexForModel(copy.modelNumber);
    // The desktop folder comes from a desktop helper that may take seconds: the window paints on.
    RunInBackground([iconIndex, name = name.toStdString(), address = address.toStdString()] {
        const LaunchServices& services = launchServices();
        const std::string folder = services.desktopFolder();
        if (folder.empty()) {
            return;
        }
        std::string iconName;
        if (iconIndex > 0) {
            // The theme name works once the icons are in the user's icon folder, installed or not.
            ExportDeviceIcons(services.dataHome());
            iconName = DeviceIconName(iconIndex);
        }
        // Nothing is reported, whatever the outcome.
        qvp::writeDesktopShortcut(folder, name, address, iconName);
    });
}
