#include "CMsgBox.h"

#include "CxSkinButton.h"
#include "Language.h"

#include <QLabel>

namespace {

constexpr int BoxWidth = 585;
constexpr int BoxHeight = 218;

int BackgroundForKind(int kind)
{
    switch (kind) {
    case KindError:
        return 232;
    case KindNoDevice:
        return 233;
    default:
        return 231;
    }
}

} // namespace

CMsgBox::CMsgBox(QWidget* parent)
    : SkinDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("CMsgBox"));
    PrepareBox(BoxWidth, BoxHeight);
    setModal(true);
    CreateSystemMenu(false);
    okButton = new CxSkinButton(this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(442, 164, 110, 33);
    okButton->setAutoDefault(false);
    titleLabel = MakeStaticText(this, "titleLabel", QRect(99, 28, 150, 35), TitleOrange);
    textLabel = MakeStaticText(this, "textLabel", QRect(34, 91, 511, 61), Qt::white);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CMsgBox::~CMsgBox() = default;

int CMsgBox::BackgroundId() const
{
    return BackgroundForKind(kind);
}

void CMsgBox::OnInitDialog()
{
    SkinOkButton(*okButton, okFont);

    switch (kind) {
    case KindError:
        title = LoadAppString(123);
        if (text.isEmpty()) {
            text = LoadAppString(124);
        }
        break;
    case KindNoDevice:
        if (text.isEmpty()) {
            text = LoadAppString(130);
        }
        break;
    default:
        title = LoadAppString(120);
        if (text.isEmpty()) {
            text = LoadAppString(121);
        }
        break;
    }

    titleFont = ArialFont(32);
    titleLabel->setFont(titleFont);
    titleLabel->setText(title);
    textFont = ArialFont(20);
    textLabel->setFont(textFont);
    textLabel->setText(text);
    setWindowTitle(title);
    okButton->setFocus(Qt::OtherFocusReason);
}
