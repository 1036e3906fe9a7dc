#include "CredentialsDialog.h"

#include "NamedText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The dialog's texts come from the string tables' named lines, in the window's language.
QString TextOf(const char* name)
{
    return qvres::NamedText(name);
}

} // namespace

CredentialsDialog::CredentialsDialog(const QString& server, const qvp::SmbCredentials& known, const Options& options,
                                     QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("credentialsDialog"));
    setWindowTitle(TextOf(qvres::text::CredentialsTitle));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(this);
    prompt->setObjectName(QStringLiteral("promptLabel"));
    // The server's address is shown as plain text, never as markup.
    prompt->setTextFormat(Qt::PlainText);
    prompt->setText(TextOf(qvres::text::CredentialsPrompt).arg(server));
    prompt->setWordWrap(true);
    layout->addWidget(prompt);

    auto* error = new QLabel(TextOf(qvres::text::CredentialsRefused), this);
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
    form->addRow(TextOf(qvres::text::CredentialsUser), m_user);
    form->addRow(TextOf(qvres::text::CredentialsDomain), m_domain);
    form->addRow(TextOf(qvres::text::CredentialsPassword), m_password);
    layout->addLayout(form);

    m_remember = new QCheckBox(TextOf(qvres::text::CredentialsRemember), this);
    m_remember->setObjectName(QStringLiteral("rememberPasswordBox"));
    m_remember->setAccessibleName(TextOf(qvres::text::CredentialsRemember));
    // Without a keyring there is nowhere to keep it: the box says so by being off.
    m_remember->setEnabled(options.keyringAvailable);
    m_remember->setChecked(options.keyringAvailable && options.remember);
    layout->addWidget(m_remember);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(TextOf(qvres::text::ButtonOk));
    buttons->button(QDialogButtonBox::Cancel)->setText(TextOf(qvres::text::ButtonCancel));
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
