// The GVfs mounter's password dialogue and time limit, against a stand-in for the SMB backend:
// smb:// URIs are taken over by a GFile of the test's own whose mount asks for a password the
// way GVfs does (again after each refused answer, until aborted) and that honours cancellation.
#include "ShareMount.h"

#include <algorithm>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* Password = "secret";

// How the stand-in server behaves; one mount at a time.
struct Server
{
    bool hang = false;      // never asks, never answers: only the time limit ends the mount
    bool failAsked = false; // fails at once after its first question, as a mount that breaks off
    int asks = 0;
    int repliesAfterEnd = 0;            // answers given to the operation after the mount had ended
    std::vector<std::string> passwords; // the answers it was given
};
Server g_server;

// One mount of the stand-in: finished once, by the answer or by cancellation.
struct FakeMount
{
    GTask* task = nullptr;
    GMountOperation* operation = nullptr;
    gulong replyHandler = 0;
    gulong cancelHandler = 0;
    bool done = false;
};

// Every mount is kept for the run, since answers may come after its end; held here, they stay
// reachable rather than leaked.
std::vector<std::unique_ptr<FakeMount>> g_mounts;

void Finish(FakeMount* mount, GError* error)
{
    if (mount->done) {
        return;
    }
    mount->done = true;
    if (mount->operation != nullptr) {
        g_signal_handler_disconnect(mount->operation, mount->replyHandler);
    }
    if (error != nullptr) {
        g_task_return_error(mount->task, error);
    } else {
        g_task_return_boolean(mount->task, TRUE);
    }
    // The cancellable's handler is not disconnected here: that may run inside it.
    g_object_unref(mount->task);
}

gboolean Ask(gpointer data)
{
    auto* mount = static_cast<FakeMount*>(data);
    if (!mount->done) {
        ++g_server.asks;
        const auto flags = static_cast<GAskPasswordFlags>(G_ASK_PASSWORD_NEED_PASSWORD | G_ASK_PASSWORD_NEED_USERNAME |
                                                          G_ASK_PASSWORD_NEED_DOMAIN);
        g_signal_emit_by_name(mount->operation, "ask-password", "Password required", "", "WORKGROUP", flags);
        if (g_server.failAsked) {
            Finish(mount, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED, "Connection closed"));
        }
    }
    return G_SOURCE_REMOVE;
}

void OnReply(GMountOperation* operation, GMountOperationResult result, gpointer data)
{
    auto* mount = static_cast<FakeMount*>(data);
    if (result != G_MOUNT_OPERATION_HANDLED) {
        Finish(mount, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED_HANDLED, "Password dialog cancelled"));
        return;
    }
    const char* given = g_mount_operation_get_password(operation);
    g_server.passwords.emplace_back(given != nullptr ? given : "");
    if (g_server.passwords.back() == Password) {
        Finish(mount, nullptr);
        return;
    }
    // As GVfs does: a refused answer is followed by the same question.
    g_idle_add(Ask, mount);
}

void OnLateReply(GMountOperation* /*operation*/, GMountOperationResult /*result*/, gpointer data)
{
    if (static_cast<FakeMount*>(data)->done) {
        ++g_server.repliesAfterEnd;
    }
}

void OnCancelled(GCancellable* /*cancellable*/, gpointer data)
{
    Finish(static_cast<FakeMount*>(data), g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CANCELLED, "Cancelled"));
}

} // namespace

namespace {

// A GFile whose only ability is mounting its enclosing volume.
struct TestSmbFile
{
    GObject parent;
};
struct TestSmbFileClass
{
    GObjectClass parent;
};

void MountEnclosing(GFile* file, GMountMountFlags /*flags*/, GMountOperation* operation, GCancellable* cancellable,
                    GAsyncReadyCallback callback, gpointer data)
{
    FakeMount* mount = g_mounts.emplace_back(std::make_unique<FakeMount>()).get();
    mount->task = g_task_new(file, cancellable, callback, data);
    mount->operation = operation;
    if (operation != nullptr) {
        mount->replyHandler = g_signal_connect(operation, "reply", G_CALLBACK(OnReply), mount);
        g_signal_connect(operation, "reply", G_CALLBACK(OnLateReply), mount);
    }
    if (cancellable != nullptr) {
        mount->cancelHandler = g_cancellable_connect(cancellable, G_CALLBACK(OnCancelled), mount, nullptr);
    }
    if (!g_server.hang && operation != nullptr) {
        g_idle_add(Ask, mount);
    }
}

gboolean MountEnclosingFinish(GFile* /*file*/, GAsyncResult* result, GError** error)
{
    return g_task_propagate_boolean(static_cast<GTask*>(static_cast<void*>(result)), error);
}

void InitFileIface(gpointer iface, gpointer /*data*/)
{
    auto* file = static_cast<GFileIface*>(iface);
    file->mount_enclosing_volume = MountEnclosing;
    file->mount_enclosing_volume_finish = MountEnclosingFinish;
}

GType TestSmbFileType()
{
    static const GType type = [] {
        const GType made = g_type_register_static_simple(g_object_get_type(), "QvTestSmbFile", sizeof(TestSmbFileClass),
                                                         nullptr, sizeof(TestSmbFile), nullptr, GTypeFlags{});
        const GInterfaceInfo file{InitFileIface, nullptr, nullptr};
        g_type_add_interface_static(made, g_file_get_type(), &file);
        return made;
    }();
    return type;
}

GFile* LookupUri(GVfs* /*vfs*/, const char* /*identifier*/, gpointer /*data*/)
{
    return static_cast<GFile*>(g_object_new(TestSmbFileType(), nullptr));
}

// The user: answers from a script, each after a delay on the main loop (the time spent typing).
class ScriptedUser final : public qvp::CredentialsSource
{
public:
    std::optional<qvp::SmbCredentials> Stored(const std::string& /*host*/) override { return stored; }
    Question Ask(const std::string& /*host*/, bool refused, Answer answer) override
    {
        refusedFlags.push_back(refused);
        const std::size_t index = refusedFlags.size() - 1;
        auto* pending =
            new Pending{this, index + 1, std::move(answer), index < answers.size() ? answers[index] : std::nullopt};
        g_timeout_add(static_cast<guint>(typingMs), Deliver, pending);
        return index + 1;
    }
    void Withdraw(Question question) override { withdrawn.push_back(question); }
    void Accepted(const std::string& host, const qvp::SmbCredentials& credentials) override
    {
        accepted.push_back(host + " " + credentials.user + " " + credentials.password);
    }

    std::optional<qvp::SmbCredentials> stored;
    std::vector<std::optional<qvp::SmbCredentials>> answers; // nothing: Cancel
    int typingMs = 0;
    bool answersWithdrawn = false; // an answer already on its way when its question is withdrawn
    std::vector<bool> refusedFlags;
    std::vector<std::string> accepted;
    std::vector<Question> withdrawn;

private:
    struct Pending
    {
        ScriptedUser* user;
        Question question;
        Answer answer;
        std::optional<qvp::SmbCredentials> given;
    };
    static gboolean Deliver(gpointer data)
    {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        const std::vector<Question>& withdrawn = pending->user->withdrawn;
        if (pending->user->answersWithdrawn ||
            std::find(withdrawn.begin(), withdrawn.end(), pending->question) == withdrawn.end()) {
            pending->answer(pending->given);
        }
        return G_SOURCE_REMOVE;
    }
};

qvp::SmbCredentials As(const char* password)
{
    return {"alice", "WORKGROUP", password};
}

class GvfsMountTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(g_vfs_register_uri_scheme(g_vfs_get_default(), "smb", LookupUri, nullptr, nullptr, nullptr, nullptr,
                                              nullptr));
    }
    void SetUp() override { g_server = {}; }

    // Mounts, running the main loop until done (or 10 s, which fails the test).
    std::optional<qvp::MountResult> Mount(int timeoutMs)
    {
        std::optional<qvp::MountResult> outcome;
        auto mounter = qvp::makeGvfsShareMounter(m_user, timeoutMs);
        mounter->Mount("10.77.0.2", "private", [&](qvp::MountResult result) { outcome = std::move(result); });
        const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
        while (!outcome && g_get_monotonic_time() < deadline) {
            g_main_context_iteration(nullptr, FALSE);
            g_usleep(1000);
        }
        // Answers still on their way are delivered before the next case.
        const gint64 drain = g_get_monotonic_time() + 300 * 1000;
        while (g_get_monotonic_time() < drain) {
            g_main_context_iteration(nullptr, FALSE);
            g_usleep(1000);
        }
        return outcome;
    }

    ScriptedUser m_user;
};

TEST_F(GvfsMountTest, SlowUserStillGetsTheMount)
{
    // The user types for three times the mount's time limit.
    m_user.answers = {As(Password)};
    m_user.typingMs = 600;
    const std::optional<qvp::MountResult> outcome = Mount(200);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok) << outcome->message;
    EXPECT_EQ(m_user.accepted, std::vector<std::string>{"10.77.0.2 alice secret"});
}

TEST_F(GvfsMountTest, SilentServerStillEndsAtTheLimit)
{
    g_server.hang = true;
    const std::optional<qvp::MountResult> outcome = Mount(200);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(m_user.refusedFlags.empty());
}

TEST_F(GvfsMountTest, WrongThenRight)
{
    m_user.answers = {As("wrong"), As(Password)};
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok) << outcome->message;
    EXPECT_EQ(m_user.refusedFlags, (std::vector<bool>{false, true}));
    EXPECT_EQ(g_server.passwords, (std::vector<std::string>{"wrong", "secret"}));
    // Only the one that worked is handed back to be kept.
    EXPECT_EQ(m_user.accepted, std::vector<std::string>{"10.77.0.2 alice secret"});
}

TEST_F(GvfsMountTest, ThreeRefusalsAbort)
{
    m_user.answers = {As("w1"), As("w2"), As("w3"), As(Password)};
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(m_user.refusedFlags, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(g_server.asks, 4); // the fourth question is aborted, not shown
    EXPECT_TRUE(m_user.accepted.empty());
}

TEST_F(GvfsMountTest, CancelAborts)
{
    m_user.answers = {std::nullopt};
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(g_server.passwords.empty());
    EXPECT_TRUE(m_user.accepted.empty());
}

TEST_F(GvfsMountTest, QuestionOfAFailedMountIsWithdrawn)
{
    // The mount breaks off while the user is still typing: the question goes, and the late
    // answer reaches neither the operation nor the kept credentials.
    g_server.failAsked = true;
    m_user.answers = {As(Password)};
    m_user.typingMs = 50;
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(m_user.refusedFlags, std::vector<bool>{false});
    EXPECT_EQ(m_user.withdrawn, std::vector<qvp::CredentialsSource::Question>{1});
    EXPECT_TRUE(g_server.passwords.empty());
    EXPECT_EQ(g_server.repliesAfterEnd, 0);
    EXPECT_TRUE(m_user.accepted.empty());
}

TEST_F(GvfsMountTest, AnswerAfterTheEndGoesNowhere)
{
    // An answer already on its way when the mount ended still arrives: it is dropped.
    g_server.failAsked = true;
    m_user.answersWithdrawn = true;
    m_user.answers = {As(Password)};
    m_user.typingMs = 50;
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->ok);
    EXPECT_EQ(g_server.repliesAfterEnd, 0);
    EXPECT_TRUE(g_server.passwords.empty());
    EXPECT_TRUE(m_user.accepted.empty());
}

TEST_F(GvfsMountTest, StoredCredentialsFirst)
{
    m_user.stored = As(Password);
    const std::optional<qvp::MountResult> outcome = Mount(2000);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->ok);
    EXPECT_TRUE(m_user.refusedFlags.empty());
    EXPECT_TRUE(m_user.accepted.empty()); // already kept
}

} // namespace
