#include "single_instance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace tv {

QString singleInstanceKey(const std::string& programFolder, const std::string& registryFile) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::fromStdString(programFolder + '\n' + registryFile));
    return QString::fromLatin1(hash.result().toHex().left(16));
}

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent), m_name(QStringLiteral("tessvane-%1-%2").arg(::getuid()).arg(key)) {
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handedToRunning() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(500)) {
        socket.write("raise\n");
        socket.waitForBytesWritten(500);
        socket.disconnectFromServer();
        return true;
    }
    // Nobody answers: a socket a killed window left goes, and this one listens.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* other = m_server->nextPendingConnection()) {
            connect(other, &QLocalSocket::disconnected, other, &QObject::deleteLater);
            emit raiseRequested();
        }
    });
    m_server->listen(m_name);
    return false;
}

} // namespace tv
