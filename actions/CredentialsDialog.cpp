#include "CredentialsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CredentialsDialog::CredentialsDialog(const QString& server, const qvp::SmbCredentials& known, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("credentialsDialog"));
    setWindowTitle(QStringLiteral("Connect to Server"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(this);
    prompt->setObjectName(QStringLiteral("promptLabel"));
    // The server's address is shown as plain text, never as markup.
    prompt->setTextFormat(Qt::PlainText);
    prompt->setText(QStringLiteral("Enter a user name and password to connect to %1.").arg(server));
    prompt->setWordWrap(true);
    layout->addWidget(prompt);

    auto* form = new QFormLayout;
    m_user = new QLineEdit(QString::fromStdString(known.user), this);
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_domain =
        new QLineEdit(known.domain.empty() ? QStringLiteral("WORKGROUP") : QString::fromStdString(known.domain), this);
    m_domain->setObjectName(QStringLiteral("domainEdit"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&User name:"), m_user);
    form->addRow(QStringLiteral("&Domain:"), m_domain);
    form->addRow(QStringLiteral("&Password:"), m_password);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    (known.user.empty() ? m_user : m_password)->setFocus();
}

qvp::SmbCredentials CredentialsDialog::Credentials() const
{
    return {m_user->text().toStdString(), m_domain->text().toStdString(), m_password->text().toStdString()};
}
