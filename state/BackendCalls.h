#pragma once

#include "platform/URLSession.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

class QObject;

// The error of the generic backend call (WindowManager::SupabaseRPCError).
struct SupabaseRPCError
{
    enum class Kind
    {
        // The backend answered with a status outside 200...299 (0: the answer was not HTTP).
        Http,
        // "SUPABASE_URL" or "SUPABASE_ANON_KEY" is absent, or the request URL cannot be formed.
        NotConfigured,
        // No usable access token can be had: none stored, no refresh token, or refresh refused.
        SignedOut,
        // A needed token refresh did not reach the backend.
        Unreachable,
    };

    Kind kind = Kind::NotConfigured;
    int statusCode = 0;
    QString body;

    static SupabaseRPCError http(int statusCode, QString body);
    static SupabaseRPCError notConfigured() { return {Kind::NotConfigured, 0, {}}; }
    static SupabaseRPCError signedOut() { return {Kind::SignedOut, 0, {}}; }
    static SupabaseRPCError unreachable() { return {Kind::Unreachable, 0, {}}; }

    // For logs: the case, with the status and at most the first 200 characters of the body.
    QString description() const;
    bool operator==(const SupabaseRPCError& other) const = default;
};

// A valid access token, or why there is none.
using AccessTokenResult = std::variant<QString, SupabaseRPCError>;
// The answer body of a 2xx answer; the backend call's error; or the transport's own error, as
// the URL session reported it.
using RPCResult = std::variant<QByteArray, SupabaseRPCError, platform::URLError>;

// What the state object's backend operations need of the account code above it: the account
// code implements it and the application installs it (WindowManager::setBackendCalls).
// Completions run exactly once on the main thread, never after `context` (when given) is gone.
class BackendCalls
{
public:
    virtual ~BackendCalls() = default;

    virtual void validAccessToken(QObject* context, std::function<void(const AccessTokenResult&)> done) = 0;
    // `path` follows "/rest/v1/" as text (not escaped; it may carry a query).
    virtual void callRPC(const QString& path,
                         const QString& method,
                         const std::optional<QJsonObject>& body,
                         QObject* context,
                         std::function<void(const RPCResult&)> done) = 0;
};
