#pragma once
// A small HTTP server on a thread of the test process: it answers each
// request path with fixed raw bytes (status line, headers and body exactly as
// given, then closes), 404 for any other path, and records what it was asked.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class LocalHttpServer {
public:
    explicit LocalHttpServer(const char *bindAddress = "127.0.0.1") {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, bindAddress, &address.sin_addr);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(m_fd, 8) != 0)
            return;
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~LocalHttpServer() {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }

    int port() const { return m_port; }
    QString base() const { return QStringLiteral("http://127.0.0.1:") + QString::number(m_port); }

    void serve(const QByteArray &path, const QByteArray &raw) {
        std::lock_guard lock(m_mutex);
        m_responses[path] = raw;
    }
    // "200 OK" with a correct Content-Length.
    static QByteArray ok(const QByteArray &body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }
    QList<QByteArray> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    int connections() const { return m_connections.load(); }

private:
    void run() {
        for (;;) {
            const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            ++m_connections;
            QByteArray request;
            char buffer[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            const QByteArray path = request.split(' ').value(1);
            QByteArray raw = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot found";
            {
                std::lock_guard lock(m_mutex);
                m_requests << request;
                raw = m_responses.value(path, raw);
            }
            ::send(client, raw.constData(), size_t(raw.size()), MSG_NOSIGNAL);
            ::shutdown(client, SHUT_WR);
            while (::recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            ::close(client);
        }
    }

    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QMap<QByteArray, QByteArray> m_responses;
    QList<QByteArray> m_requests;
    std::atomic<int> m_connections{0};
};
