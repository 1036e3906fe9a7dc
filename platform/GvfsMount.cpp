// The GIO/GVfs mounter of ShareMount.h.
#include "GObjectPtr.h"
#include "ShareMount.h"
#include "SmbUri.h"

#include <cstdio>
#include <gio/gio.h>
#include <memory>
#include <optional>

namespace qvp {

namespace {

// How often the user is asked for one mount; a refused answer makes GVfs ask again.
constexpr int MaxUserAnswers = 3;

// One mount in progress, owned by the completion callback's data; the user's answer, which may
// come after the mount has ended, holds it weakly.
struct MountJob : std::enable_shared_from_this<MountJob>
{
    CredentialsSource* credentials = nullptr;
    std::string host;
    ShareMounter::Done done;
    GPtr<GFile> file;
    GPtr<GMountOperation> operation;
    GPtr<GCancellable> cancellable;
    int timeoutMs = 0;
    guint timer = 0;
    bool triedAnonymous = false;
    bool triedStored = false;
    int userAnswers = 0;
    bool asking = false;
    std::optional<CredentialsSource::Question> question; // the one the user has open, if any
    std::optional<SmbCredentials> lastAnswer;            // the user's, kept once the mount succeeds
    bool finished = false;
    bool logFailure = true;
};

gboolean onTimeout(gpointer data)
{
    auto* job = static_cast<MountJob*>(data);
    job->timer = 0;
    g_cancellable_cancel(job->cancellable.get());
    return G_SOURCE_REMOVE;
}

void startTimer(MountJob& job)
{
    job.timer = g_timeout_add(static_cast<guint>(job.timeoutMs), onTimeout, &job);
}

void stopTimer(MountJob& job)
{
    if (job.timer != 0) {
        g_source_remove(job.timer);
        job.timer = 0;
    }
}

void reply(GMountOperation* operation, const SmbCredentials& credentials)
{
    g_mount_operation_set_anonymous(operation, FALSE);
    g_mount_operation_set_username(operation, credentials.user.c_str());
    g_mount_operation_set_domain(operation, credentials.domain.c_str());
    g_mount_operation_set_password(operation, credentials.password.c_str());
    // Kept by the credentials source once the server has taken them, never before.
    g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_HANDLED);
}

void askUser(MountJob& job)
{
    const bool refused = job.userAnswers > 0;
    const int turn = ++job.userAnswers;
    job.asking = true;
    // The user may take a minute to type: that is no wait on the server.
    stopTimer(job);
    std::weak_ptr<MountJob> weak = job.weak_from_this();
    const CredentialsSource::Question question =
        job.credentials->Ask(job.host, refused, [weak](std::optional<SmbCredentials> answer) {
            // A mount that has ended takes no answer: nothing waits for it any more.
            const std::shared_ptr<MountJob> alive = weak.lock();
            if (!alive || alive->finished) {
                return;
            }
            alive->asking = false;
            alive->question.reset();
            alive->lastAnswer = answer;
            startTimer(*alive);
            if (answer) {
                reply(alive->operation.get(), *answer);
            } else {
                g_mount_operation_reply(alive->operation.get(), G_MOUNT_OPERATION_ABORTED);
            }
        });
    // An answer given at once has been delivered already (and may have led to a newer question).
    if (job.asking && job.userAnswers == turn) {
        job.question = question;
    }
}

void onAskPassword(GMountOperation* operation, gchar* /*message*/, gchar* /*defaultUser*/, gchar* /*defaultDomain*/,
                   GAskPasswordFlags flags, gpointer data)
{
    auto* job = static_cast<MountJob*>(data);
    // Every question is answered here, some of them later: GMountOperation's own handler, which
    // would answer "unhandled" at once, must not run.
    g_signal_stop_emission_by_name(operation, "ask-password");
    const std::optional<SmbCredentials> stored = job->credentials->Stored(job->host);
    // A refused answer makes GVfs ask again: anonymous and the stored credentials are given
    // once, the user is asked a bounded number of times.
    if (!job->triedAnonymous && !stored && (flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED) != 0) {
        job->triedAnonymous = true;
        g_mount_operation_set_anonymous(operation, TRUE);
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_HANDLED);
        return;
    }
    if (!job->triedStored && stored) {
        job->triedStored = true;
        reply(operation, *stored);
        return;
    }
    if (job->userAnswers >= MaxUserAnswers || job->asking || job->finished) {
        g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    askUser(*job);
}

void onAskQuestion(GMountOperation* operation, gchar* /*message*/, gchar** /*choices*/, gpointer /*data*/)
{
    g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void onMounted(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<std::shared_ptr<MountJob>> owner(static_cast<std::shared_ptr<MountJob>*>(data));
    MountJob* job = owner->get();
    job->finished = true;
    stopTimer(*job);
    // GVfs may ask once more just as the mount fails: that question goes unshown, unanswered.
    if (job->question) {
        job->credentials->Withdraw(*job->question);
        job->question.reset();
    }
    g_signal_handlers_disconnect_by_data(job->operation.get(), job);
    GError* raw = nullptr;
    const gboolean mounted = g_file_mount_enclosing_volume_finish(G_FILE(source), result, &raw);
    ErrorPtr error(raw);
    MountResult outcome;
    outcome.alreadyMounted = g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED) != FALSE;
    outcome.ok = mounted != FALSE || outcome.alreadyMounted;
    if (!outcome.ok && error) {
        outcome.message = error->message;
        // For the user the failure is the message box; this line is for whoever reads the log.
        if (job->logFailure) {
            std::fprintf(stderr, "Mount failed: %s\n", error->message);
        }
    }
    if (outcome.ok && job->lastAnswer) {
        job->credentials->Accepted(job->host, *job->lastAnswer);
    }
    job->done(std::move(outcome));
}

void onUnmounted(GObject* source, GAsyncResult* result, gpointer /*data*/)
{
    GError* raw = nullptr;
    g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &raw);
    ErrorPtr error(raw);
    g_object_unref(source);
}

class GvfsShareMounter final : public ShareMounter
{
public:
    GvfsShareMounter(CredentialsSource& credentials, int timeoutMs, bool logFailures)
        : m_credentials(credentials)
        , m_timeoutMs(timeoutMs)
        , m_logFailures(logFailures)
    {
    }

    void Mount(const std::string& host, const std::string& share, Done done) override
    {
        auto job = std::make_shared<MountJob>();
        job->credentials = &m_credentials;
        job->timeoutMs = m_timeoutMs;
        job->host = host;
        job->done = std::move(done);
        job->logFailure = m_logFailures;
        job->file.reset(g_file_new_for_uri(smbShareUri(host, share).c_str()));
        job->operation.reset(g_mount_operation_new());
        job->cancellable.reset(g_cancellable_new());
        g_signal_connect(job->operation.get(), "ask-password", G_CALLBACK(onAskPassword), job.get());
        g_signal_connect(job->operation.get(), "ask-question", G_CALLBACK(onAskQuestion), job.get());
        startTimer(*job);
        g_file_mount_enclosing_volume(job->file.get(), G_MOUNT_MOUNT_NONE, job->operation.get(), job->cancellable.get(),
                                      onMounted, new std::shared_ptr<MountJob>(job));
    }

    void Unmount(const std::string& host, const std::string& share) override
    {
        GPtr<GFile> file(g_file_new_for_uri(smbShareUri(host, share).c_str()));
        GError* raw = nullptr;
        GMount* mount = g_file_find_enclosing_mount(file.get(), nullptr, &raw);
        ErrorPtr error(raw);
        if (mount == nullptr) {
            return;
        }
        g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, onUnmounted, nullptr);
    }

private:
    CredentialsSource& m_credentials;
    int m_timeoutMs;
    bool m_logFailures;
};

} // namespace

std::unique_ptr<ShareMounter> makeGvfsShareMounter(CredentialsSource& credentials, int timeoutMs, bool logFailures)
{
    return std::make_unique<GvfsShareMounter>(credentials, timeoutMs, logFailures);
}

} // namespace qvp
