// Fakes of the share platform: a lister answering from a per-host script (at once, or held
// until released), an in-memory connection store and bookmark list, drive types from a table,
// a mounter that records its calls and answers as told, a fixed version record and a keyring
// in memory.
//
// Thread-safety: UI thread only, except FakeShareLister::ListShares, which may be called from
// anywhere and answers from a thread of its own (as the real lister does).
#pragma once

#include "DriveTypes.h"
#include "GtkBookmarks.h"
#include "PasswordKeyring.h"
#include "RememberedConnections.h"
#include "ShareMount.h"
#include "ShareServices.h"
#include "SmbShares.h"
#include "WindowsVersion.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace fake {

class FakeShareLister final : public qvp::ShareLister
{
public:
    struct Answer
    {
        qvp::ShareListResult anonymous;              // without credentials
        std::optional<qvp::SmbCredentials> accepted; // with these credentials: withCredentials
        qvp::ShareListResult withCredentials;
    };

    ~FakeShareLister() override
    {
        ReleaseAll();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }

    void Script(const std::string& host, Answer answer) { m_script[host] = std::move(answer); }
    // While held, answers wait until ReleaseAll or ReleaseHost.
    void Hold()
    {
        std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void ReleaseHost(const std::string& host)
    {
        std::lock_guard lock(m_mutex);
        m_released.push_back(host);
        m_wake.notify_all();
    }
    void ReleaseAll()
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_wake.notify_all();
    }

    void ListShares(std::string host, std::optional<qvp::SmbCredentials> credentials, Done done) override
    {
        requests.push_back({host, credentials.has_value() ? credentials->user : std::string("(guest)")});
        qvp::ShareListResult result;
        const auto found = m_script.find(host);
        if (found != m_script.end()) {
            const Answer& answer = found->second;
            const bool signedIn = credentials && answer.accepted && credentials->user == answer.accepted->user &&
                                  credentials->password == answer.accepted->password &&
                                  credentials->domain == answer.accepted->domain;
            result = signedIn      ? answer.withCredentials
                     : credentials ? qvp::ShareListResult{qvp::ShareListAccessDenied, {}}
                                   : answer.anonymous;
        }
        m_threads.emplace_back([this, host, result, done = std::move(done)]() mutable {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] {
                    return !m_held || std::find(m_released.begin(), m_released.end(), host) != m_released.end();
                });
            }
            done(std::move(result));
        });
    }

    // (host, user or "(guest)") of every request, in order. UI thread.
    std::vector<std::pair<std::string, std::string>> requests;

private:
    std::map<std::string, Answer> m_script;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_held = false;                 // guarded by m_mutex
    std::vector<std::string> m_released; // guarded by m_mutex
    std::vector<std::thread> m_threads;
};

class FakeConnectionStore final : public qvp::ConnectionStore
{
public:
    std::optional<qvp::ConnectionSnapshot> Load() override
    {
        if (unreadable) {
            return std::nullopt;
        }
        return snapshot;
    }
    bool Save(const qvp::ConnectionSnapshot& connections) override
    {
        if (failSave || unreadable) {
            return false;
        }
        snapshot = connections;
        ++saves;
        return true;
    }
    void Set(char letter, const std::string& host, const std::string& share)
    {
        snapshot[static_cast<std::size_t>(letter - 'A')] = qvp::RemoteName{host, share};
    }
    qvp::ConnectionSnapshot snapshot;
    bool failSave = false;
    bool unreadable = false; // exists but cannot be read: Load gives nothing, Save refuses
    int saves = 0;
};

class FakeDriveTypes final : public qvp::DriveTypeSource
{
public:
    unsigned GetDriveType(std::string_view rootPath) override
    {
        const auto found = types.find(std::string(rootPath));
        return found != types.end() ? found->second : qvp::DriveNoRootDir;
    }
    std::map<std::string, unsigned> types;
};

class FakeBookmarkStore final : public qvp::BookmarkStore
{
public:
    bool Add(const std::string& uri, const std::string& label) override
    {
        if (failAdd) {
            return false;
        }
        text = qvp::withBookmark(text, uri, label);
        return true;
    }
    bool Remove(const std::string& uri, const std::string& label) override
    {
        text = qvp::withoutBookmark(text, uri, label);
        return true;
    }
    std::string text;
    bool failAdd = false;
};

class FakeShareMounter final : public qvp::ShareMounter
{
public:
    void Mount(const std::string& host, const std::string& share, Done done) override
    {
        mounts.push_back(host + "/" + share);
        const bool already = mountedBefore.count(host + "/" + share) != 0;
        done({succeed, succeed && already, succeed ? "" : "refused"});
    }
    void Unmount(const std::string& host, const std::string& share) override { unmounts.push_back(host + "/" + share); }
    bool succeed = true;
    std::set<std::string> mountedBefore; // "host/share" mounted by someone else already
    std::vector<std::string> mounts;
    std::vector<std::string> unmounts;
};

class FakeVersionQuery final : public qvp::VersionQuery
{
public:
    std::optional<qvp::OsVersionRecord> Query() override { return record; }
    std::optional<qvp::OsVersionRecord> record;
};

// A keyring in memory: answers as available or not, records what was stored.
class FakeKeyring final : public qvp::PasswordKeyring
{
public:
    bool Available() override { return available; }
    std::optional<qvp::SmbCredentials> Lookup(const std::string& host) override
    {
        lookups.push_back(host);
        const auto found = kept.find(host);
        if (!available || found == kept.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    bool Store(const std::string& host, const qvp::SmbCredentials& credentials) override
    {
        if (!available) {
            return false;
        }
        kept[host] = credentials;
        ++stores;
        return true;
    }
    bool available = true;
    std::map<std::string, qvp::SmbCredentials> kept;
    std::vector<std::string> lookups;
    int stores = 0;
};

// One set of fakes installed as the process's share services for its lifetime.
struct FakeShareServices
{
    FakeShareServices()
    {
        // Unmounts pass the ledger, as the real ones do: mounter.unmounts holds what really goes.
        services = {&lister, &connections, &driveTypes, ledgerMounter.get(), &bookmarks, &version, &credentials};
        qva::InstallShareServices(&services);
    }
    ~FakeShareServices() { qva::InstallShareServices(nullptr); }
    FakeShareServices(const FakeShareServices&) = delete;
    FakeShareServices& operator=(const FakeShareServices&) = delete;

    FakeShareLister lister;
    FakeConnectionStore connections;
    FakeDriveTypes driveTypes;
    FakeShareMounter mounter;
    std::unique_ptr<qvp::MountLedger> ledger = qvp::makeMountLedger(std::string());
    std::unique_ptr<qvp::ShareMounter> ledgerMounter = qvp::makeLedgerMounter(mounter, *ledger);
    FakeBookmarkStore bookmarks;
    FakeVersionQuery version;
    FakeKeyring keyring;
    qva::SessionCredentials credentials{&keyring}; // the real dialog, answered by the test
    qva::ShareServices services;
};

} // namespace fake
