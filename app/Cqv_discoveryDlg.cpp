#include "Cqv_discoveryDlg.h"

#include "CPictureEx.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"
#include "CxSkinButton.h"
#include "DeviceToolTip.h"
#include "DriveLetters.h"
#include "Language.h"
#include "NamedText.h"
#include "Resources.h"
#include "RowRecord.h"
#include "StartupTrace.h"
#include "WindowSearchSink.h"
#include "showabout.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int WindowWidth = 498;
constexpr int WindowHeight = 583;
constexpr int MainBackgroundBitmap = 229;
constexpr int AppIconId = 102;
// The window's big and small icons; the larger sizes (for task switchers and docks) follow
// after the first frame, so that their decoding does not delay it.
constexpr int FirstIconSize = 32;
constexpr int ListColumnWidth = 215;
constexpr int AnimationResource = 540;
const QColor HeadingColor{255, 255, 255};
const QColor DriveLabelColor{145, 145, 145};

CxSkinButton* MakeButton(QWidget* parent, const char* name, const QRect& rect)
{
    auto* button = new CxSkinButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(rect);
    // Enter ends the window whatever has the focus; a focused button must not take it.
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

CSkinListCtrl* MakeList(QWidget* parent, const char* name, const QRect& rect)
{
    auto* list = new CSkinListCtrl(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(rect);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(false);
    list->setFocusPolicy(Qt::StrongFocus);
    return list;
}

} // namespace

Cqv_discoveryDlg::Cqv_discoveryDlg(QWidget* parent, qvd::WorkerEntry workerEntry)
    : SkinDialog(parent, Qt::Window | Qt::FramelessWindowHint)
    , appIcon(qvres::Icon(AppIconId, FirstIconSize))
    , m_workerEntry(workerEntry)
    , m_search(std::make_shared<SearchShared>(this))
{
    setObjectName(QStringLiteral("Cqv_discoveryDlg"));
    setFixedSize(WindowWidth, WindowHeight);
    StartupCheckpoint("window object and icon");
    CreateControls();
    StartupCheckpoint("controls created");
    InitialiseOnce();
}

Cqv_discoveryDlg::~Cqv_discoveryDlg()
{
    // A search still running is not waited for; from here on it changes nothing.
    m_search->sink.Close();
}

void Cqv_discoveryDlg::CreateControls()
{
    // Creation order is the tab order.
    deviceListView = MakeList(this, "deviceListView", QRect(33, 119, 418, 133));
    shareListView = MakeList(this, "shareListView", QRect(33, 362, 418, 133));
    StartupCheckpoint("list controls created");
    closeButton = MakeButton(this, "closeButton", QRect(465, 9, 22, 22));
    minimiseButton = MakeButton(this, "minimiseButton", QRect(438, 9, 22, 22));
    aboutButton = MakeButton(this, "aboutButton", QRect(411, 9, 22, 22));
    configureButton = MakeButton(this, "configureButton", QRect(364, 268, 108, 32));
    refreshButton = MakeButton(this, "refreshButton", QRect(250, 268, 108, 32));
    driveLetterBox = new QComboBox(this);
    driveLetterBox->setObjectName(QStringLiteral("driveLetterBox"));
    driveLetterBox->setEditable(true);
    // Typing in the field chooses a letter; it never adds one to the list.
    driveLetterBox->setInsertPolicy(QComboBox::NoInsert);
    // The given height includes the drop-down part; the closed box keeps its natural height.
    driveLetterBox->setGeometry(28, 532, 194, driveLetterBox->sizeHint().height());
    StartupCheckpoint("drive-letter box created");
    mapDriveButton = MakeButton(this, "mapDriveButton", QRect(250, 530, 108, 32));
    browseButton = MakeButton(this, "browseButton", QRect(364, 530, 108, 32));
    deviceHeading = MakeStaticText(this, "deviceHeading", QRect(28, 86, 231, 24), HeadingColor);
    shareHeading = MakeStaticText(this, "shareHeading", QRect(28, 329, 194, 28), HeadingColor);
    driveLetterLabel = MakeStaticText(this, "driveLetterLabel", QRect(30, 508, 212, 19), DriveLabelColor);
    searchAnimation = new CPictureEx(this);
    searchAnimation->setObjectName(QStringLiteral("searchAnimation"));
    searchAnimation->setGeometry(193, 168, 91, 71);
    shortcutButton = MakeButton(this, "shortcutButton", QRect(26, 268, 224, 33));

    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(minimiseButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnMinimise);
    connect(aboutButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnAbout);
    connect(refreshButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnRefresh);
    connect(deviceListView, &CSkinListCtrl::listClicked, this, &Cqv_discoveryDlg::OnDeviceListClicked);
    connect(mapDriveButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnMapDrive);
    connect(configureButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnConfigure);
    connect(browseButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnBrowse);
    connect(shortcutButton, &QPushButton::clicked, this, &Cqv_discoveryDlg::OnCreateShortcut);
}

void Cqv_discoveryDlg::setVisible(bool visible)
{
    // Marked modal, the window manager would hold it as a dialog of no one.
    if (visible && testAttribute(Qt::WA_ShowModal)) {
        setAttribute(Qt::WA_ShowModal, false);
    }
    // A place of its own, centred on the screen, before the first show: a window that leaves
    // its place to an X11 window manager is told of the place taken only by a race between
    // the manager's notices and the toolkit's own requests, and may go on believing it stands
    // at (0, 0), which puts its drop-downs, boxes and moves off. Asked for a place, it knows it
    // from the first frame. (A Wayland compositor places the window whatever is asked.)
    if (visible && !isVisible() && !testAttribute(Qt::WA_Moved)) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect place(QPoint(0, 0), size());
            place.moveCenter(screen->availableGeometry().center());
            move(place.topLeft());
        }
    }
    SkinDialog::setVisible(visible);
}

void Cqv_discoveryDlg::paintEvent(QPaintEvent* event)
{
    SkinDialog::paintEvent(event);
    if (!m_firstFramePainted && isVisible()) {
        m_firstFramePainted = true;
        // A zero timer runs once this paint has been flushed to the window system.
        QTimer::singleShot(0, this, &Cqv_discoveryDlg::OnFirstFrame);
    }
}

void Cqv_discoveryDlg::OnFirstFrame()
{
    appIcon = qvres::Icon(AppIconId);
    setWindowIcon(appIcon);
    emit firstFrameShown();
}

void Cqv_discoveryDlg::OnInitDialog()
{
    // The boxes and dialogs of the device actions speak the window's language.
    qvres::SetInterfaceLanguage(InterfaceLanguageId());
    BuildSystemMenu();
    setWindowIcon(appIcon);
    setWindowTitle(QStringLiteral("QV Link"));

    listFont = ArialFont(16);
    shareListFont = ArialFont(16);
    deviceListView->InitSkin();
    shareListView->InitSkin();

    deviceListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    deviceListView->setFont(listFont);
    deviceListView->InsertColumn(0, LoadAppString(114), ListColumnWidth);
    deviceListView->InsertColumn(1, LoadAppString(115), ListColumnWidth);

    shareListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    shareListView->setFont(shareListFont);
    shareListView->InsertColumn(0, LoadAppString(117), ListColumnWidth);
    shareListView->InsertColumn(1, LoadAppString(118), ListColumnWidth);

    deviceListView->SetTextColor(CaptionTextColor);
    shareListView->SetTextColor(CaptionTextColor);
    deviceListView->SetHeaderDragDrop(true);
    // Hovering a device shows its details; the tooltip goes with the list.
    new DeviceToolTip(deviceListView, [this](int slot) { return RecordForRow(m_search->rowToRecord, slot); });
    StartupCheckpoint("lists skinned");

    buttonFont = ArialFont(18);
    SkinButton(closeButton, 227, 228, 228, 227, 0);
    SkinButton(minimiseButton, 225, 226, 226, 225, 0);
    SkinButton(refreshButton, 234, 235, 235, 234, 125);
    SkinButton(configureButton, 236, 237, 237, 236, 126);
    SkinButton(mapDriveButton, 238, 239, 239, 238, 127);
    SkinButton(browseButton, 240, 241, 241, 240, 132);
    SkinButton(aboutButton, 223, 224, 224, 223, 0);
    SkinButton(shortcutButton, 244, 245, 245, 244, 131);

    mapDriveButton->setEnabled(false);
    browseButton->setEnabled(false);
    StartupCheckpoint("buttons skinned");

    headingFont = ArialFont(24);
    deviceHeading->setFont(headingFont);
    deviceHeading->setText(LoadAppString(113));
    shareHeading->setFont(headingFont);
    shareHeading->setText(LoadAppString(116));
    labelFont = ArialFont(16);
    driveLetterLabel->setFont(labelFont);
    driveLetterLabel->setText(LoadAppString(119));

    // Controls without a caption of their own are named for what they show or do.
    closeButton->setAccessibleName(LoadAppText(qvres::text::AccessibleClose));
    minimiseButton->setAccessibleName(LoadAppText(qvres::text::AccessibleMinimise));
    aboutButton->setAccessibleName(LoadAppString(111));
    deviceListView->setAccessibleName(deviceHeading->text());
    shareListView->setAccessibleName(shareHeading->text());
    driveLetterBox->setAccessibleName(driveLetterLabel->text());
    // Where a combo box's accessible name is its value, the label relation names it.
    driveLetterLabel->setBuddy(driveLetterBox);
    searchAnimation->setAccessibleName(LoadAppText(qvres::text::AccessibleSearching));
    for (CSkinListCtrl* list : {deviceListView, shareListView}) {
        if (QWidget* bar = list->GetVerticalBar()) {
            bar->setAccessibleName(LoadAppText(qvres::text::AccessibleScrollBar).arg(list->accessibleName()));
        }
    }

    StartupCheckpoint("texts and fonts");
    RefreshDriveLetterTable();
    FillDriveLetterBox();
    StartupCheckpoint("drive letters");
    PrepareAnimation();
    StartupCheckpoint("animation loaded");
    StartSearchThread(m_search, m_workerEntry);
    StartupCheckpoint("search started");
    // The platform gives the focus to the first control that can take it.
}

void Cqv_discoveryDlg::BuildSystemMenu()
{
    CreateSystemMenu(true);
    const QString aboutText = LoadAppString(110);
    if (!aboutText.isEmpty()) {
        SystemMenu()->addSeparator();
        QAction* about = SystemMenu()->addAction(aboutText, this, &Cqv_discoveryDlg::OnAbout);
        about->setObjectName(QStringLiteral("aboutAction"));
        about->setData(AboutCommandId);
    }
}

void Cqv_discoveryDlg::SkinButton(CxSkinButton* button, int normal, int pressed, int over, int disabled, int captionId)
{
    button->SetSkin(normal, pressed, over, disabled);
    // Also on the title-bar buttons, which have no caption: their keyboard-focus frame is drawn
    // in this colour.
    button->SetTextColor(CaptionTextColor);
    if (captionId == 0) {
        return;
    }
    button->setFont(buttonFont);
    button->setText(LoadAppString(captionId));
    button->setAccessibleName(button->text());
}

void Cqv_discoveryDlg::PrepareAnimation()
{
    searchAnimation->setGeometry(220, 175, 50, 50);
    if (searchAnimation->LoadFromResource(AnimationResource, "GIF") && searchAnimation->IsReady()) {
        searchAnimation->SetBackgroundColor(SkinBackgroundColor);
        searchAnimation->FillSurface(QRect(0, 0, searchAnimation->PictureWidth(), searchAnimation->PictureHeight()),
                                     SkinBackgroundColor);
    }
    searchAnimation->hide();
}

int Cqv_discoveryDlg::BackgroundId() const
{
    return MainBackgroundBitmap;
}

QWidget* Cqv_discoveryDlg::ControlById(int controlId) const
{
    switch (controlId) {
    case qvd::IdDeviceList:
        return deviceListView;
    case qvd::IdShareList:
        return shareListView;
    case qvd::IdCloseButton:
        return closeButton;
    case qvd::IdMinimiseButton:
        return minimiseButton;
    case qvd::IdAboutButton:
        return aboutButton;
    case qvd::IdConfigureButton:
        return configureButton;
    case qvd::IdRefreshButton:
        return refreshButton;
    case qvd::IdDriveLetterBox:
        return driveLetterBox;
    case qvd::IdMapDriveButton:
        return mapDriveButton;
    case qvd::IdBrowseButton:
        return browseButton;
    case qvd::IdDeviceHeading:
        return deviceHeading;
    case qvd::IdShareHeading:
        return shareHeading;
    case qvd::IdDriveLetterLabel:
        return driveLetterLabel;
    case qvd::IdSearchAnimation:
        return searchAnimation;
    case qvd::IdShortcutButton:
        return shortcutButton;
    default:
        return nullptr;
    }
}

const qvd::RowToRecord& Cqv_discoveryDlg::RowToRecordTable() const
{
    return m_search->rowToRecord;
}

bool Cqv_discoveryDlg::IsSearching() const
{
    // Acquire: when this says the search ended, its last posted changes have been made.
    return m_search->busy.load(std::memory_order_acquire);
}

void Cqv_discoveryDlg::OnRefresh()
{
    StartSearchThread(m_search, m_workerEntry);
}

void Cqv_discoveryDlg::OnAbout()
{
    showabout box(this);
    box.exec();
}

void Cqv_discoveryDlg::OnMinimise()
{
    showMinimized();
}
