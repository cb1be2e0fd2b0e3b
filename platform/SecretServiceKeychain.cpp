// GLib names a struct member "signals", which Qt defines as a keyword: libsecret comes first.
// clang-format off
#include <libsecret/secret.h>
// clang-format on

#include "platform/SecretServiceKeychain.h"

#include <QLoggingCategory>

#include <memory>

namespace platform {
namespace {

Q_LOGGING_CATEGORY(lcSecrets, "veilmox.keychain")

const SecretSchema& itemSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema value{};
        value.name = "getveilmox.Veilmox.GenericPassword";
        value.flags = SECRET_SCHEMA_NONE;
        value.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[2] = {"accessible", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return value;
    }();
    return schema;
}

struct GErrorDeleter
{
    void operator()(GError* error) const { g_error_free(error); }
};
struct HashTableDeleter
{
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ItemListDeleter
{
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
struct ValueDeleter
{
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;
using ItemList = std::unique_ptr<GList, ItemListDeleter>;
using Value = std::unique_ptr<SecretValue, ValueDeleter>;

Attributes attributesOf(const KeychainQuery& query)
{
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(query.service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(query.account.toUtf8().constData()));
    return table;
}

bool isValid(const KeychainQuery& query)
{
    return !query.service.isEmpty() && !query.account.isEmpty();
}

// Why a call failed (names the operation, never a secret).
QString describeFailure(const char* operation, GError* raw)
{
    const ErrorPtr error(raw);
    return QStringLiteral("the Secret Service could not %1: %2")
        .arg(QLatin1String(operation), QString::fromUtf8(error ? error->message : "no reason given"));
}

// The items of the query, unlocked (the keyring may ask the user), their secrets loaded; the
// error is set when the search failed.
ItemList search(SecretService* service, const KeychainQuery& query, GError** error)
{
    return ItemList(secret_service_search_sync(
        service,
        &itemSchema(),
        attributesOf(query).get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
        nullptr,
        error));
}

Value valueOf(const QByteArray& data)
{
    return Value(secret_value_new(data.constData(), data.size(), "text/plain"));
}

} // namespace

SecretServiceKeychain::SecretServiceKeychain(SecretService* service)
    : m_service(service)
{}

SecretServiceKeychain::~SecretServiceKeychain()
{
    g_object_unref(m_service);
}

std::unique_ptr<SecretServiceKeychain> SecretServiceKeychain::open()
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (service == nullptr) {
        const ErrorPtr reason(error);
        qCInfo(lcSecrets, "No Secret Service answers: %s", reason ? reason->message : "no session bus");
        return nullptr;
    }
    return std::unique_ptr<SecretServiceKeychain>(new SecretServiceKeychain(service));
}

OSStatus SecretServiceKeychain::failed(const char* operation, GError* error)
{
    return fail(errSecIO, describeFailure(operation, error));
}

OSStatus SecretServiceKeychain::copyMatching(const KeychainQuery& query, KeychainItem* result)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    GError* error = nullptr;
    const ItemList items = search(m_service, query, &error);
    if (error != nullptr) {
        return failed("search", error);
    }
    if (!items) {
        return errSecItemNotFound;
    }
    if (result == nullptr) {
        return errSecSuccess;
    }
    auto* item = static_cast<SecretItem*>(items->data);
    const Value value(secret_item_get_secret(item));
    if (!value) {
        return failed("read an item that stays locked", nullptr);
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    const Attributes attributes(secret_item_get_attributes(item));
    const auto* accessible = static_cast<const char*>(g_hash_table_lookup(attributes.get(), "accessible"));
    result->service = query.service;
    result->account = query.account;
    result->data = QByteArray(bytes, static_cast<qsizetype>(length));
    result->accessible =
        keychainAccessibilityFromRawValue(QString::fromUtf8(accessible != nullptr ? accessible : ""))
            .value_or(KeychainAccessibility::AfterFirstUnlockThisDeviceOnly);
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::update(const KeychainQuery& query, const QByteArray& data)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    GError* error = nullptr;
    const ItemList items = search(m_service, query, &error);
    if (error != nullptr) {
        return failed("search", error);
    }
    if (!items) {
        return errSecItemNotFound;
    }
    if (!secret_item_set_secret_sync(
            static_cast<SecretItem*>(items->data), valueOf(data).get(), nullptr, &error)) {
        return failed("update an item", error);
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::add(const KeychainItem& item)
{
    const KeychainQuery query{item.service, item.account};
    if (!isValid(query)) {
        return errSecParam;
    }
    GError* error = nullptr;
    const bool exists = static_cast<bool>(search(m_service, query, &error));
    if (error != nullptr) {
        return failed("search", error);
    }
    if (exists) {
        return errSecDuplicateItem;
    }
    const Attributes attributes = attributesOf(query);
    g_hash_table_insert(attributes.get(),
                        g_strdup("accessible"),
                        g_strdup(keychainAccessibilityRawValue(item.accessible).toUtf8().constData()));
    const QByteArray label = (item.service + QStringLiteral(" (") + item.account + QLatin1Char(')')).toUtf8();
    if (!secret_service_store_sync(m_service,
                                   &itemSchema(),
                                   attributes.get(),
                                   SECRET_COLLECTION_DEFAULT,
                                   label.constData(),
                                   valueOf(item.data).get(),
                                   nullptr,
                                   &error)) {
        return failed("store an item", error);
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::deleteItem(const KeychainQuery& query)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    GError* error = nullptr;
    const bool removed =
        secret_service_clear_sync(m_service, &itemSchema(), attributesOf(query).get(), nullptr, &error);
    if (error != nullptr) {
        return failed("delete an item", error);
    }
    return removed ? errSecSuccess : errSecItemNotFound;
}

std::unique_ptr<Keychain> openUserKeychain(const QString& fileDirectory)
{
    auto file = std::make_unique<FileKeychain>(fileDirectory);
    // A save of an earlier run that a kill cut short left a copy of its tokens beside the file.
    file->discardUnfinishedSaves();
    auto secrets = SecretServiceKeychain::open();
    if (!secrets) {
        qCInfo(lcSecrets, "Secrets are kept in the file %s", qPrintable(file->filePath()));
        return file;
    }
    qCInfo(lcSecrets, "Secrets are kept in the desktop's Secret Service (the login keyring)");
    // What an earlier run kept in the file moves into the keyring, and the file goes; an item
    // the keyring holds already is newer.
    const auto items = file->allItems();
    if (items && !items->isEmpty()) {
        bool moved = true;
        for (const KeychainItem& item : *items) {
            const OSStatus status = secrets->add(item);
            if (status != errSecSuccess && status != errSecDuplicateItem) {
                qCWarning(lcSecrets,
                          "Secrets of %s stay in the file: %s",
                          qPrintable(file->filePath()),
                          qPrintable(secrets->failureReason()));
                moved = false;
                break;
            }
        }
        if (moved) {
            file->removeAll();
            qCInfo(lcSecrets, "Moved the secrets of %s into the keyring", qPrintable(file->filePath()));
        }
    }
    return secrets;
}

} // namespace platform
