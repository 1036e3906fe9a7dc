// Passwords kept in the desktop's keyring through the Secret Service, for the user who ticked
// "Remember password". They are stored as network passwords of the form GVfs itself reads and
// writes (schema "org.gnome.keyring.NetworkPassword"; attributes server = the host as the
// device list shows it, protocol = "smb", user, domain), so that a mount through GVfs finds
// them too, and a password saved by the file manager for the same server is found here.
//
// Thread-safety: PasswordKeyring objects are used from one thread at a time; each call blocks
// for at most the keyring's own bounded wait.
#pragma once

#include "SmbShares.h"

#include <memory>
#include <optional>
#include <string>

namespace qvp {

class PasswordKeyring
{
public:
    virtual ~PasswordKeyring() = default;
    // Whether a keyring answers on the session bus; false also when there is no session bus.
    virtual bool Available() = 0;
    // The credentials kept for host, if any.
    virtual std::optional<SmbCredentials> Lookup(const std::string& host) = 0;
    // Keeps credentials for host in place of those kept for it before; false when they could
    // not be kept.
    [[nodiscard]] virtual bool Store(const std::string& host, const SmbCredentials& credentials) = 0;
};

// The Secret Service keyring of the session; every call gives up after timeoutMs.
std::unique_ptr<PasswordKeyring> makeSecretServiceKeyring(int timeoutMs = 3000);

} // namespace qvp
