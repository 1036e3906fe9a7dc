// The device list's tooltip: the hovered device's model, description, maker, web page and
// device id, labelled in the interface language. Device text is always shown as the text the
// list shows, never read as markup: the tooltip is rich text that this code writes itself, with
// every device field escaped.
//
// Thread-safety: UI thread only (a widget's event filter).
#pragma once

#include "devicetable.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <functional>

class CSkinListCtrl;
class QHelpEvent;

// A device field as the tooltip shows it: the list's text (character references resolved),
// with carriage return and line feed shown as their control pictures, since a one-line field
// would otherwise lose them or break there. Every other character stays as it is.
QString ToolTipFieldText(const char* field);

// The tooltip's rich text for a record: the friendly name, then a labelled line per non-empty
// field (model name, model number, description, manufacturer, web page, device id). Labels come
// from the process-wide interface language. Empty when the record has no name and no such field.
QString DeviceToolTipText(const qvd::DeviceRecord& record);

class DeviceToolTip : public QObject
{
    Q_OBJECT

public:
    // The record behind a row's rowToRecord slot (an all-empty record when there is none).
    using RecordLookup = std::function<qvd::DeviceRecord(int slot)>;

    // Watches list's viewport; owned by list. Each row carries its slot as the list's item data.
    DeviceToolTip(CSkinListCtrl* list, RecordLookup lookup);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFor(QHelpEvent* event);
    // A tooltip of this list whose row is gone or has moved (the list was emptied or reordered)
    // is taken down.
    void OnListChanged();
    void HideOurs();
    bool OursShown() const;

    CSkinListCtrl* m_list;
    // Kept apart from the list: the filter still sees the viewport's events while the list is
    // being destroyed, when it is no longer a scroll area to ask.
    QWidget* m_viewport;
    RecordLookup m_lookup;
    QPersistentModelIndex m_shownRow;
    int m_shownRowNumber = -1;
    QString m_shownText;
};
