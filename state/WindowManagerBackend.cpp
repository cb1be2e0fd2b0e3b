#include "state/BackendCalls.h"
#include "state/WindowManager.h"

SupabaseRPCError SupabaseRPCError::http(int statusCode, QString body)
{
    return {Kind::Http, statusCode, std::move(body)};
}

QString SupabaseRPCError::description() const
{
    switch (kind) {
    case Kind::Http: {
        // Answer bodies can be long or echo what was sent; logs get only their start.
        constexpr qsizetype kShownCharacters = 200;
        const QString shown =
            body.size() > kShownCharacters ? body.left(kShownCharacters) + QStringLiteral("…") : body;
        return QStringLiteral("http(%1, \"%2\")").arg(statusCode).arg(shown);
    }
    case Kind::NotConfigured:
        return QStringLiteral("notConfigured");
    case Kind::SignedOut:
        return QStringLiteral("signedOut");
    case Kind::Unreachable:
        return QStringLiteral("unreachable");
    }
    return {};
}

void WindowManager::setBackendCalls(BackendCalls* calls)
{
    m_backendCalls = calls;
}

void WindowManager::validAccessToken(QObject* context, std::function<void(const AccessTokenResult&)> done)
{
    if (m_backendCalls == nullptr) {
        done(SupabaseRPCError::notConfigured());
        return;
    }
    m_backendCalls->validAccessToken(context, std::move(done));
}

void WindowManager::callRPC(const QString& path,
                            const QString& method,
                            const std::optional<QJsonObject>& body,
                            QObject* context,
                            std::function<void(const RPCResult&)> done)
{
    if (m_backendCalls == nullptr) {
        done(SupabaseRPCError::notConfigured());
        return;
    }
    m_backendCalls->callRPC(path, method, body, context, std::move(done));
}
