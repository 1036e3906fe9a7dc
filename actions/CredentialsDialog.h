// The credentials dialog shown when a server refuses a guest: user, domain (WORKGROUP unless
// known), password and "Remember password". Accept gives the three texts and the tick; Cancel
// declines. Shown again after a refused answer, it says so and keeps the user name.
//
// Thread-safety: a widget; UI thread only.
#pragma once

#include "SmbShares.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

class CredentialsDialog : public QDialog
{
    Q_OBJECT

public:
    struct Options
    {
        bool keyringAvailable = false; // else "Remember password" is shown disabled
        bool remember = false;         // the box's tick when it opens
        bool refused = false;          // the answer given before was refused: say so
    };

    CredentialsDialog(const QString& server, const qvp::SmbCredentials& known, const Options& options,
                      QWidget* parent = nullptr);

    qvp::SmbCredentials Credentials() const;
    // Whether the user asked for the password to be kept in the keyring.
    bool Remember() const;

private:
    QLineEdit* m_user = nullptr;
    QLineEdit* m_domain = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
};
