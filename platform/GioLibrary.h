// GIO, GObject and libsecret, opened when a mount, a keyring look-up or a desktop entry's trust
// mark first needs them, not when the program starts: a start that never maps a drive never
// loads them (nor GIO's modules). GLib itself is Qt's already.
//
// A file that calls them includes this header (before or instead of <gio/gio.h> and
// <libsecret/secret.h>): from here on every name below is a call through the table that the
// first use fills, so the calls keep their usual spelling, and the macros of the headers
// (G_FILE, G_IO_ERROR, g_signal_connect ...) go through it too. A function missing from the
// list does not link: the program links none of these libraries.
//
// Thread-safety: gioApi() may be called from any thread; the first call loads the libraries
// once (a function-local static). The functions carry the libraries' own rules.
#pragma once

#include <gio/gio.h>
#include <libsecret/secret.h>

// X(name): every function of the three libraries the program calls.
#define QVP_GIO_FUNCTIONS(X)                                                                                           \
    X(g_async_result_get_type)                                                                                         \
    X(g_cancellable_cancel)                                                                                            \
    X(g_cancellable_new)                                                                                               \
    X(g_file_find_enclosing_mount)                                                                                     \
    X(g_file_get_type)                                                                                                 \
    X(g_file_mount_enclosing_volume)                                                                                   \
    X(g_file_mount_enclosing_volume_finish)                                                                            \
    X(g_file_new_for_path)                                                                                             \
    X(g_file_new_for_uri)                                                                                              \
    X(g_file_set_attribute_string)                                                                                     \
    X(g_io_error_quark)                                                                                                \
    X(g_mount_get_type)                                                                                                \
    X(g_mount_operation_new)                                                                                           \
    X(g_mount_operation_reply)                                                                                         \
    X(g_mount_operation_set_anonymous)                                                                                 \
    X(g_mount_operation_set_domain)                                                                                    \
    X(g_mount_operation_set_password)                                                                                  \
    X(g_mount_operation_set_password_save)                                                                             \
    X(g_mount_operation_set_username)                                                                                  \
    X(g_mount_unmount_with_operation)                                                                                  \
    X(g_mount_unmount_with_operation_finish)                                                                           \
    X(g_object_ref)                                                                                                    \
    X(g_object_unref)                                                                                                  \
    X(g_signal_connect_data)                                                                                           \
    X(g_signal_handlers_disconnect_matched)                                                                            \
    X(g_signal_stop_emission_by_name)                                                                                  \
    X(g_type_check_instance_cast)                                                                                      \
    X(secret_get_schema)                                                                                               \
    X(secret_item_delete)                                                                                              \
    X(secret_item_delete_finish)                                                                                       \
    X(secret_item_get_attributes)                                                                                      \
    X(secret_item_get_modified)                                                                                        \
    X(secret_item_get_secret)                                                                                          \
    X(secret_service_get_session_algorithms)                                                                           \
    X(secret_service_get_type)                                                                                         \
    X(secret_service_open)                                                                                             \
    X(secret_service_open_finish)                                                                                      \
    X(secret_service_search)                                                                                           \
    X(secret_service_search_finish)                                                                                    \
    X(secret_service_store)                                                                                            \
    X(secret_service_store_finish)                                                                                     \
    X(secret_value_get)                                                                                                \
    X(secret_value_new)                                                                                                \
    X(secret_value_unref)

namespace qvp {

struct GioApi
{
#define QVP_GIO_MEMBER(name) decltype(&::name) name = nullptr;
    QVP_GIO_FUNCTIONS(QVP_GIO_MEMBER)
#undef QVP_GIO_MEMBER
};

// The table, loaded at the first call; a system without the libraries ends the program with
// one line, as the dynamic loader would have at its start.
const GioApi& gioApi();
// Whether the libraries have been opened in this process (for tests of the laziness).
bool gioLoaded();

} // namespace qvp

#ifndef QVP_GIO_LOADER
// GObject's g_object_ref is a macro that keeps the argument's type; through the table it
// returns a plain pointer, as the function does.
#undef g_object_ref
#define g_async_result_get_type (::qvp::gioApi().g_async_result_get_type)
#define g_cancellable_cancel (::qvp::gioApi().g_cancellable_cancel)
#define g_cancellable_new (::qvp::gioApi().g_cancellable_new)
#define g_file_find_enclosing_mount (::qvp::gioApi().g_file_find_enclosing_mount)
#define g_file_get_type (::qvp::gioApi().g_file_get_type)
#define g_file_mount_enclosing_volume (::qvp::gioApi().g_file_mount_enclosing_volume)
#define g_file_mount_enclosing_volume_finish (::qvp::gioApi().g_file_mount_enclosing_volume_finish)
#define g_file_new_for_path (::qvp::gioApi().g_file_new_for_path)
#define g_file_new_for_uri (::qvp::gioApi().g_file_new_for_uri)
#define g_file_set_attribute_string (::qvp::gioApi().g_file_set_attribute_string)
#define g_io_error_quark (::qvp::gioApi().g_io_error_quark)
#define g_mount_get_type (::qvp::gioApi().g_mount_get_type)
#define g_mount_operation_new (::qvp::gioApi().g_mount_operation_new)
#define g_mount_operation_reply (::qvp::gioApi().g_mount_operation_reply)
#define g_mount_operation_set_anonymous (::qvp::gioApi().g_mount_operation_set_anonymous)
#define g_mount_operation_set_domain (::qvp::gioApi().g_mount_operation_set_domain)
#define g_mount_operation_set_password (::qvp::gioApi().g_mount_operation_set_password)
#define g_mount_operation_set_password_save (::qvp::gioApi().g_mount_operation_set_password_save)
#define g_mount_operation_set_username (::qvp::gioApi().g_mount_operation_set_username)
#define g_mount_unmount_with_operation (::qvp::gioApi().g_mount_unmount_with_operation)
#define g_mount_unmount_with_operation_finish (::qvp::gioApi().g_mount_unmount_with_operation_finish)
#define g_object_ref (::qvp::gioApi().g_object_ref)
#define g_object_unref (::qvp::gioApi().g_object_unref)
#define g_signal_connect_data (::qvp::gioApi().g_signal_connect_data)
#define g_signal_handlers_disconnect_matched (::qvp::gioApi().g_signal_handlers_disconnect_matched)
#define g_signal_stop_emission_by_name (::qvp::gioApi().g_signal_stop_emission_by_name)
#define g_type_check_instance_cast (::qvp::gioApi().g_type_check_instance_cast)
#define secret_get_schema (::qvp::gioApi().secret_get_schema)
#define secret_item_delete (::qvp::gioApi().secret_item_delete)
#define secret_item_delete_finish (::qvp::gioApi().secret_item_delete_finish)
#define secret_item_get_attributes (::qvp::gioApi().secret_item_get_attributes)
#define secret_item_get_modified (::qvp::gioApi().secret_item_get_modified)
#define secret_item_get_secret (::qvp::gioApi().secret_item_get_secret)
#define secret_service_get_session_algorithms (::qvp::gioApi().secret_service_get_session_algorithms)
#define secret_service_get_type (::qvp::gioApi().secret_service_get_type)
#define secret_service_open (::qvp::gioApi().secret_service_open)
#define secret_service_open_finish (::qvp::gioApi().secret_service_open_finish)
#define secret_service_search (::qvp::gioApi().secret_service_search)
#define secret_service_search_finish (::qvp::gioApi().secret_service_search_finish)
#define secret_service_store (::qvp::gioApi().secret_service_store)
#define secret_service_store_finish (::qvp::gioApi().secret_service_store_finish)
#define secret_value_get (::qvp::gioApi().secret_value_get)
#define secret_value_new (::qvp::gioApi().secret_value_new)
#define secret_value_unref (::qvp::gioApi().secret_value_unref)
#endif
