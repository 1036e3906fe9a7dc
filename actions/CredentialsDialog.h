// The credentials dialog shown when a server refuses a guest: user, domain (WORKGROUP unless
// known) and password. Accept gives the three texts; Cancel declines.
//
// Thread-safety: a widget; UI thread only.
#pragma once

#include "SmbShares.h"

#include <QDialog>

class QLineEdit;

class CredentialsDialog : public QDialog
{
    Q_OBJECT

public:
    CredentialsDialog(const QString& server, const qvp::SmbCredentials& known, QWidget* parent = nullptr);

    qvp::SmbCredentials Credentials() const;

private:
    QLineEdit* m_user = nullptr;
    QLineEdit* m_domain = nullptr;
    QLineEdit* m_password = nullptr;
};
