#include "DeviceToolTip.h"

#include "CSkinListCtrl.h"
#include "DisplayText.h"
#include "NamedText.h"

#include <QAbstractItemModel>
#include <QHelpEvent>
#include <QToolTip>
#include <cstring>
#include <string_view>

namespace {

constexpr char16_t CarriageReturnPicture = u'\u240D';
constexpr char16_t LineFeedPicture = u'\u240A';

// A cell that keeps its text on one line, blanks and all.
const QString CellStart = QStringLiteral("<td style=\"white-space:pre\">");

QString Escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString ToolTipFieldText(const char* field)
{
    // The record's fields are terminated within their width; strnlen holds even if one is not.
    const std::string_view sent(field, strnlen(field, qvd::DeviceFieldSize));
    QString shown = QString::fromStdString(DecodeCharacterReferences(sent));
    shown.replace(QLatin1Char('\r'), QChar(CarriageReturnPicture));
    shown.replace(QLatin1Char('\n'), QChar(LineFeedPicture));
    return shown;
}

QString DeviceToolTipText(const qvd::DeviceRecord& record)
{
    const std::pair<const char*, const char*> lines[] = {
        {qvres::text::DeviceModelName, record.modelName},
        {qvres::text::DeviceModelNumber, record.modelNumber},
        {qvres::text::DeviceDescription, record.modelDescription},
        {qvres::text::DeviceManufacturer, record.manufacturer},
        {qvres::text::DeviceWebPage, record.presentationURL},
        {qvres::text::DeviceId, record.UDN},
    };
    QString rows;
    for (const auto& [label, field] : lines) {
        const QString value = ToolTipFieldText(field);
        if (value.isEmpty()) {
            continue;
        }
        rows += QStringLiteral("<tr>") + CellStart + Escaped(qvres::NamedText(label)) + QStringLiteral("&nbsp;</td>") +
                CellStart + Escaped(value) + QStringLiteral("</td></tr>");
    }
    const QString name = ToolTipFieldText(record.friendlyName);
    if (name.isEmpty() && rows.isEmpty()) {
        return {};
    }
    // Starting with a tag the rich-text reader knows makes it read all of this as rich text; the
    // device's own text is inside only as escaped characters.
    QString html = QStringLiteral("<qt>");
    if (!name.isEmpty()) {
        html += QStringLiteral("<p style=\"white-space:pre\"><b>") + Escaped(name) + QStringLiteral("</b></p>");
    }
    if (!rows.isEmpty()) {
        html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">") + rows + QStringLiteral("</table>");
    }
    return html + QStringLiteral("</qt>");
}

DeviceToolTip::DeviceToolTip(CSkinListCtrl* list, RecordLookup lookup)
    : QObject(list)
    , m_list(list)
    , m_viewport(list->viewport())
    , m_lookup(std::move(lookup))
{
    m_viewport->installEventFilter(this);
    QAbstractItemModel* model = list->model();
    connect(model, &QAbstractItemModel::modelReset, this, &DeviceToolTip::OnListChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &DeviceToolTip::OnListChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this, &DeviceToolTip::OnListChanged);
    connect(model, &QAbstractItemModel::rowsMoved, this, &DeviceToolTip::OnListChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &DeviceToolTip::OnListChanged);
}

bool DeviceToolTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_viewport && event->type() == QEvent::ToolTip) {
        ShowFor(static_cast<QHelpEvent*>(event));
        // The view's own handling would show the rows' tooltip data, which they have none of.
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void DeviceToolTip::ShowFor(QHelpEvent* event)
{
    const QModelIndex row = m_list->indexAt(event->pos()).siblingAtColumn(0);
    const QString text = row.isValid() ? DeviceToolTipText(m_lookup(m_list->GetItemData(row.row()))) : QString();
    if (text.isEmpty()) {
        HideOurs();
        event->ignore();
        return;
    }
    const QRect cell = m_list->visualRect(row);
    // The tip goes when the pointer leaves the row, whichever column it moves to.
    const QRect rowRect(0, cell.y(), m_list->viewport()->width(), cell.height());
    m_shownRow = row;
    m_shownRowNumber = row.row();
    m_shownText = text;
    QToolTip::showText(event->globalPos(), text, m_list->viewport(), rowRect);
}

bool DeviceToolTip::OursShown() const
{
    return !m_shownText.isEmpty() && QToolTip::isVisible() && QToolTip::text() == m_shownText;
}

void DeviceToolTip::HideOurs()
{
    if (OursShown()) {
        QToolTip::hideText();
    }
    m_shownText.clear();
    m_shownRow = QPersistentModelIndex();
}

void DeviceToolTip::OnListChanged()
{
    if (!OursShown()) {
        return;
    }
    // Rows appended below leave the hovered row where it was; anything else takes the tip down.
    // Only the model is asked, never the view: the model also changes while the list is being
    // destroyed.
    if (!m_shownRow.isValid() || m_shownRow.row() != m_shownRowNumber) {
        HideOurs();
    }
}
