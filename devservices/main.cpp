#include "devservices/LocalServices.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

// Runs the local stand-ins for the backend and the account web service on loopback, on the ports
// the application's bundle settings point at, until it is stopped.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veilmox-devservices"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-ins for the Veilmox backend and account service"));
    parser.addHelpOption();
    const QCommandLineOption backendPort(QStringLiteral("backend-port"),
                                         QStringLiteral("Backend port."),
                                         QStringLiteral("port"),
                                         QStringLiteral("54321"));
    const QCommandLineOption accountPort(QStringLiteral("account-port"),
                                         QStringLiteral("Account service port."),
                                         QStringLiteral("port"),
                                         QStringLiteral("54322"));
    const QCommandLineOption anonKey(QStringLiteral("anon-key"),
                                     QStringLiteral("The backend's public key."),
                                     QStringLiteral("key"),
                                     QStringLiteral("veilmox-local-anon-key"));
    parser.addOptions({backendPort, accountPort, anonKey});
    parser.process(app);

    bool backendOk = false;
    bool accountOk = false;
    const uint backend = parser.value(backendPort).toUInt(&backendOk);
    const uint account = parser.value(accountPort).toUInt(&accountOk);
    if (!backendOk || !accountOk || backend > 65535 || account > 65535) {
        std::fprintf(stderr, "veilmox-devservices: ports must be numbers from 0 to 65535\n");
        return 2;
    }

    devservices::LocalServices::Options options;
    options.anonKey = parser.value(anonKey);
    devservices::LocalServices services(options);
    if (!services.start(static_cast<quint16>(backend), static_cast<quint16>(account))) {
        std::fprintf(stderr,
                     "veilmox-devservices: could not listen on 127.0.0.1:%u and :%u (in use?)\n",
                     backend,
                     account);
        return 1;
    }
    std::printf("veilmox-devservices: backend %s, account service %s\n",
                qPrintable(services.backendURL().toString()),
                qPrintable(services.accountURL().toString()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
