#pragma once
// A one-reply HTTP server on 127.0.0.1 for the update check: every GET gets the body set
// last, as JSON. Runs on the test's event loop.

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace guitest {

class LocalHttpServer {
public:
    LocalHttpServer() {
        server_ = std::make_unique<QTcpServer>();
        server_->listen(QHostAddress::LocalHost, 0);
        QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    if (!buffer->contains("\r\n\r\n"))
                        return;
                    lastRequestLine = buffer->left(buffer->indexOf("\r\n"));
                    ++requests;
                    QByteArray head =
                        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
                    socket->write(head + body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    std::string baseAddress() const {
        return "http://127.0.0.1:" + std::to_string(server_->serverPort()) + "/version";
    }

    QByteArray body;
    QByteArray lastRequestLine;
    int requests = 0;

private:
    std::unique_ptr<QTcpServer> server_;
};

// An address where nothing listens: a port taken and released again.
inline std::string unreachableAddress() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const auto port = probe.serverPort();
    probe.close();
    return "http://127.0.0.1:" + std::to_string(port) + "/version";
}

} // namespace guitest
