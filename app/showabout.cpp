#include "showabout.h"

#include "CxSkinButton.h"
#include "Language.h"

#include <QLabel>
#include <cstring>

namespace {

constexpr int BoxWidth = 585;
constexpr int BoxHeight = 218;
constexpr int NeutralAboutBitmap = 230;
constexpr char FallbackVersion[] = "0.00.01";

} // namespace

const char* CompiledProductVersion()
{
#ifdef QVD_PRODUCT_VERSION
    return QVD_PRODUCT_VERSION;
#else
    return nullptr;
#endif
}

int GetProductVersionText(char (&buffer)[32], const char* source)
{
    if (source == nullptr || *source == '\0') {
        return 0;
    }
    const std::size_t length = std::min(std::strlen(source), sizeof buffer - 1);
    std::memcpy(buffer, source, length);
    buffer[length] = '\0';
    return 1;
}

showabout::showabout(QWidget* parent, const char* productVersion)
    : SkinDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_productVersion(productVersion)
{
    setObjectName(QStringLiteral("showabout"));
    PrepareBox(BoxWidth, BoxHeight);
    setModal(true);
    CreateSystemMenu(false);
    setWindowTitle(LoadAppString(111));
    okButton = new CxSkinButton(this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(442, 164, 110, 33);
    okButton->setAutoDefault(false);
    versionLabel = MakeStaticText(this, "versionLabel", QRect(103, 143, 291, 21), Qt::white);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

showabout::~showabout() = default;

int showabout::BackgroundId() const
{
    return NeutralAboutBitmap + languageOffset;
}

void showabout::OnInitDialog()
{
    char buffer[32] = {};
    const QString version = GetProductVersionText(buffer, m_productVersion) == 1 ? QString::fromLatin1(buffer)
                                                                                 : QString::fromLatin1(FallbackVersion);
    versionFont = ArialFont(20);
    languageOffset = GetLanguageOffset();
    versionLabel->setFont(versionFont);
    versionLabel->setText(version);
    versionLabel->setAccessibleName(version);

    SkinOkButton(*okButton, okFont);
    okButton->setFocus(Qt::OtherFocusReason);
}
