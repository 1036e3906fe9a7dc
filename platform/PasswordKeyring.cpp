// The Secret Service keyring of PasswordKeyring.h, through libsecret.
//
// Every call runs on a main context of the keyring's own, iterated only inside the call and
// only until the deadline: the default context belongs to the Qt event loop, which must not be
// re-entered from here, and a keyring that does not answer must not hold the window.
#include "PasswordKeyring.h"

#include "GObjectPtr.h"

#include <cstdlib>
#include <gio/gio.h>
#include <libsecret/secret.h>
#include <sys/stat.h>
#include <vector>

namespace qvp {

namespace {

// How long a cancelled call is given to come back before its result is abandoned.
constexpr gint64 CancelGraceUs = 500 * 1000;
constexpr const char* Protocol = "smb";

struct HashDeleter
{
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using HashPtr = std::unique_ptr<GHashTable, HashDeleter>;

struct ContextDeleter
{
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
};

// The result of one asynchronous call. When the caller gave up before it came, the callback
// frees it.
struct Pending
{
    GAsyncResult* result = nullptr;
    bool abandoned = false;
};

void collect(GObject* /*source*/, GAsyncResult* result, gpointer data)
{
    auto* pending = static_cast<Pending*>(data);
    if (pending->abandoned) {
        delete pending;
        return;
    }
    pending->result = G_ASYNC_RESULT(g_object_ref(result));
}

gboolean wake(gpointer /*data*/)
{
    return G_SOURCE_REMOVE;
}

// Whether a session bus can be reached without starting one: GIO would otherwise try to launch
// a bus of its own for a session that has none.
bool sessionBusPresent()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); // NOLINT(concurrency-mt-unsafe): read only
    if (address != nullptr && *address != '\0') {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR"); // NOLINT(concurrency-mt-unsafe): read only
    if (runtime == nullptr || *runtime == '\0') {
        return false;
    }
    struct stat info = {};
    const std::string socket = std::string(runtime) + "/bus";
    return ::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

HashPtr attributesFor(const std::string& host)
{
    HashPtr table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("server"), g_strdup(host.c_str()));
    g_hash_table_insert(table.get(), g_strdup("protocol"), g_strdup(Protocol));
    return table;
}

std::string attributeOf(SecretItem* item, const char* name)
{
    HashPtr attributes(secret_item_get_attributes(item));
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes.get(), name));
    return value != nullptr ? value : "";
}

class SecretServiceKeyring final : public PasswordKeyring
{
public:
    explicit SecretServiceKeyring(int timeoutMs)
        : m_timeoutMs(timeoutMs)
        , m_context(g_main_context_new())
    {
    }

    ~SecretServiceKeyring() override
    {
        // The service's bus subscriptions are released on the context they were made on.
        g_main_context_push_thread_default(m_context.get());
        m_service.reset();
        while (g_main_context_iteration(m_context.get(), FALSE)) {
        }
        g_main_context_pop_thread_default(m_context.get());
    }

    SecretServiceKeyring(const SecretServiceKeyring&) = delete;
    SecretServiceKeyring& operator=(const SecretServiceKeyring&) = delete;

    bool Available() override { return Service() != nullptr; }

    std::optional<SmbCredentials> Lookup(const std::string& host) override
    {
        std::vector<GPtr<SecretItem>> items = Search(host, SECRET_SEARCH_LOAD_SECRETS);
        SecretItem* newest = nullptr;
        for (const GPtr<SecretItem>& item : items) {
            SecretValue* value = secret_item_get_secret(item.get());
            if (value == nullptr) {
                continue; // locked: not ours to unlock with a prompt here
            }
            secret_value_unref(value);
            if (newest == nullptr || secret_item_get_modified(item.get()) > secret_item_get_modified(newest)) {
                newest = item.get();
            }
        }
        if (newest == nullptr) {
            return std::nullopt;
        }
        SecretValue* value = secret_item_get_secret(newest);
        gsize length = 0;
        const gchar* secret = secret_value_get(value, &length);
        SmbCredentials found{attributeOf(newest, "user"), attributeOf(newest, "domain"), std::string(secret, length)};
        secret_value_unref(value);
        return found;
    }

    bool Store(const std::string& host, const SmbCredentials& credentials) override
    {
        SecretService* service = Service();
        if (service == nullptr) {
            return false;
        }
        // Those kept before for another user or domain go once the new ones are in.
        std::vector<GPtr<SecretItem>> previous = Search(host, SECRET_SEARCH_NONE);
        HashPtr attributes = attributesFor(host);
        g_hash_table_insert(attributes.get(), g_strdup("user"), g_strdup(credentials.user.c_str()));
        g_hash_table_insert(attributes.get(), g_strdup("domain"), g_strdup(credentials.domain.c_str()));
        const std::string label = credentials.user + "@" + host + " (" + Protocol + ")";
        SecretValue* value = secret_value_new(credentials.password.c_str(),
                                              static_cast<gssize>(credentials.password.size()), "text/plain");
        GPtr<GAsyncResult> result = Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            // A null collection is the default one, where the desktop keeps its passwords.
            secret_service_store(service, Schema(), attributes.get(), nullptr, label.c_str(), value, cancellable,
                                 callback, data);
        });
        secret_value_unref(value);
        if (!result) {
            return false;
        }
        GError* raw = nullptr;
        const gboolean stored = secret_service_store_finish(service, result.get(), &raw);
        ErrorPtr error(raw);
        if (stored == FALSE) {
            return false;
        }
        for (const GPtr<SecretItem>& item : previous) {
            if (attributeOf(item.get(), "user") == credentials.user &&
                attributeOf(item.get(), "domain") == credentials.domain) {
                continue; // the very item just replaced
            }
            Delete(item.get());
        }
        return true;
    }

private:
    static const SecretSchema* Schema() { return secret_get_schema(SECRET_SCHEMA_TYPE_COMPAT_NETWORK); }

    // Starts an asynchronous call on the keyring's context and waits for its result until the
    // deadline; then cancels it and gives it a short grace. Null when it did not come back.
    template <typename Start> GPtr<GAsyncResult> Await(Start start)
    {
        GMainContext* context = m_context.get();
        g_main_context_push_thread_default(context);
        GPtr<GCancellable> cancellable(g_cancellable_new());
        auto* pending = new Pending;
        start(cancellable.get(), collect, pending);
        gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(m_timeoutMs) * 1000;
        bool cancelled = false;
        while (pending->result == nullptr) {
            const gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0) {
                if (cancelled) {
                    break;
                }
                g_cancellable_cancel(cancellable.get());
                cancelled = true;
                deadline = g_get_monotonic_time() + CancelGraceUs;
                continue;
            }
            // A timer on the context bounds the blocking iteration by the time left.
            GSource* timer = g_timeout_source_new(static_cast<guint>((left + 999) / 1000));
            g_source_set_callback(timer, wake, nullptr, nullptr);
            g_source_attach(timer, context);
            g_main_context_iteration(context, TRUE);
            g_source_destroy(timer);
            g_source_unref(timer);
        }
        GPtr<GAsyncResult> result(pending->result);
        if (result) {
            delete pending;
        } else {
            pending->abandoned = true;
        }
        g_main_context_pop_thread_default(context);
        return result;
    }

    // The service, opened with a session on the first call that finds it; nothing while no
    // keyring answers (asked again on the next call).
    SecretService* Service()
    {
        if (m_service) {
            return m_service.get();
        }
        if (!sessionBusPresent()) {
            return nullptr;
        }
        GPtr<GAsyncResult> result = Await([](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, cancellable, callback, data);
        });
        if (!result) {
            return nullptr;
        }
        GError* raw = nullptr;
        SecretService* service = secret_service_open_finish(result.get(), &raw);
        ErrorPtr error(raw);
        // Without a secrets session nothing can be read or written, whatever the bus said.
        if (service != nullptr && secret_service_get_session_algorithms(service) == nullptr) {
            g_object_unref(service);
            service = nullptr;
        }
        m_service.reset(service);
        return service;
    }

    std::vector<GPtr<SecretItem>> Search(const std::string& host, SecretSearchFlags flags)
    {
        std::vector<GPtr<SecretItem>> items;
        SecretService* service = Service();
        if (service == nullptr) {
            return items;
        }
        HashPtr attributes = attributesFor(host);
        const auto all = static_cast<SecretSearchFlags>(flags | SECRET_SEARCH_ALL);
        GPtr<GAsyncResult> result = Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_service_search(service, Schema(), attributes.get(), all, cancellable, callback, data);
        });
        if (!result) {
            return items;
        }
        GError* raw = nullptr;
        GList* found = secret_service_search_finish(service, result.get(), &raw);
        ErrorPtr error(raw);
        for (GList* node = found; node != nullptr; node = node->next) {
            items.emplace_back(static_cast<SecretItem*>(node->data)); // takes the list's reference
        }
        g_list_free(found);
        return items;
    }

    void Delete(SecretItem* item)
    {
        GPtr<GAsyncResult> result = Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_delete(item, cancellable, callback, data);
        });
        if (result) {
            GError* raw = nullptr;
            (void)secret_item_delete_finish(item, result.get(), &raw);
            ErrorPtr error(raw);
        }
    }

    int m_timeoutMs;
    std::unique_ptr<GMainContext, ContextDeleter> m_context;
    GPtr<SecretService> m_service;
};

} // namespace

std::unique_ptr<PasswordKeyring> makeSecretServiceKeyring(int timeoutMs)
{
    return std::make_unique<SecretServiceKeyring>(timeoutMs);
}

} // namespace qvp
