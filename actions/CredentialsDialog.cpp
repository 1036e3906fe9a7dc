#include "CredentialsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Every text of the dialog, by name, in one table (the window's string tables do not hold them).
enum class Text
{
    Title,
    Prompt,
    User,
    Domain,
    Password,
    Remember,
    Refused,
    Ok,
    Cancel,
};

struct NamedText
{
    Text name;
    const char* english;
};

constexpr NamedText Texts[] = {
    {Text::Title, "Connect to Server"},
    {Text::Prompt, "Enter a user name and password to connect to %1."},
    {Text::User, "&User name:"},
    {Text::Domain, "&Domain:"},
    {Text::Password, "&Password:"},
    {Text::Remember, "Remember password"},
    {Text::Refused, "The user name or password is not correct."},
    {Text::Ok, "OK"},
    {Text::Cancel, "Cancel"},
};

QString TextOf(Text name)
{
    for (const NamedText& text : Texts) {
        if (text.name == name) {
            return QString::fromUtf8(text.english);
        }
    }
    return {};
}

} // namespace

CredentialsDialog::CredentialsDialog(const QString& server, const qvp::SmbCredentials& known, const Options& options,
                                     QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("credentialsDialog"));
    setWindowTitle(TextOf(Text::Title));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(this);
    prompt->setObjectName(QStringLiteral("promptLabel"));
    // The server's address is shown as plain text, never as markup.
    prompt->setTextFormat(Qt::PlainText);
    prompt->setText(TextOf(Text::Prompt).arg(server));
    prompt->setWordWrap(true);
    layout->addWidget(prompt);

    auto* error = new QLabel(TextOf(Text::Refused), this);
    error->setObjectName(QStringLiteral("errorLabel"));
    error->setTextFormat(Qt::PlainText);
    error->setWordWrap(true);
    error->setVisible(options.refused);
    layout->addWidget(error);

    auto* form = new QFormLayout;
    m_user = new QLineEdit(QString::fromStdString(known.user), this);
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_domain =
        new QLineEdit(known.domain.empty() ? QStringLiteral("WORKGROUP") : QString::fromStdString(known.domain), this);
    m_domain->setObjectName(QStringLiteral("domainEdit"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(TextOf(Text::User), m_user);
    form->addRow(TextOf(Text::Domain), m_domain);
    form->addRow(TextOf(Text::Password), m_password);
    layout->addLayout(form);

    m_remember = new QCheckBox(TextOf(Text::Remember), this);
    m_remember->setObjectName(QStringLiteral("rememberPasswordBox"));
    m_remember->setAccessibleName(TextOf(Text::Remember));
    // Without a keyring there is nowhere to keep it: the box says so by being off.
    m_remember->setEnabled(options.keyringAvailable);
    m_remember->setChecked(options.keyringAvailable && options.remember);
    layout->addWidget(m_remember);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(TextOf(Text::Ok));
    buttons->button(QDialogButtonBox::Cancel)->setText(TextOf(Text::Cancel));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    (known.user.empty() ? m_user : m_password)->setFocus();
}

qvp::SmbCredentials CredentialsDialog::Credentials() const
{
    return {m_user->text().toStdString(), m_domain->text().toStdString(), m_password->text().toStdString()};
}

bool CredentialsDialog::Remember() const
{
    return m_remember->isEnabled() && m_remember->isChecked();
}
