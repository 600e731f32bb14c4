/*
 * A one-connection-at-a-time TCP server on 127.0.0.1 for the Wine tests: it
 * reads each request head, then hands the socket to the test's handler, which
 * may answer, stall, trickle or hang up as it likes.
 */
#ifndef HL_WINE_SERVER_H
#define HL_WINE_SERVER_H

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

struct wine_server {
    SOCKET listener = INVALID_SOCKET;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::function<void(SOCKET, wine_server &)> handler;
};

/* Sends all of data; false once the peer has gone. */
inline bool wine_send_all(SOCKET c, const char *data, size_t size)
{
    while (size > 0) {
        int n = send(c, data, size > 65536 ? 65536 : (int)size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

inline bool wine_send_all(SOCKET c, const std::string &s)
{
    return wine_send_all(c, s.data(), s.size());
}

/* Waits until the client closes its side or the server stops, reading and
 * dropping whatever arrives. */
inline void wine_hold_until_closed(SOCKET c, wine_server &srv)
{
    char buf[512];
    while (!srv.stopping) {
        int n = recv(c, buf, sizeof buf, 0);
        if (n == 0)
            return;
        if (n < 0 && WSAGetLastError() != WSAETIMEDOUT)
            return;
    }
}

inline void wine_server_loop(wine_server *srv)
{
    while (!srv->stopping) {
        SOCKET c = accept(srv->listener, NULL, NULL);
        if (c == INVALID_SOCKET)
            return;
        /* Short receive waits, so a stalled handler notices a stop. */
        DWORD timeout = 250;
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof timeout);
        std::string head;
        char buf[2048];
        for (int idle = 0; head.find("\r\n\r\n") == std::string::npos && idle < 12;) {
            int n = recv(c, buf, sizeof buf, 0);
            if (n == 0)
                break;
            if (n < 0) {
                idle++;
                continue;
            }
            head.append(buf, (size_t)n);
        }
        srv->handler(c, *srv);
        shutdown(c, SD_BOTH);
        closesocket(c);
    }
}

inline bool wine_server_start(wine_server &srv, uint16_t port,
                              std::function<void(SOCKET, wine_server &)> handler)
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return false;
    srv.handler = std::move(handler);
    srv.stopping = false;
    srv.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL yes = TRUE;
    setsockopt(srv.listener, SOL_SOCKET, SO_REUSEADDR, (const char *)&yes, sizeof yes);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(srv.listener, (sockaddr *)&a, sizeof a) != 0 || listen(srv.listener, 8) != 0) {
        closesocket(srv.listener);
        return false;
    }
    srv.thread = std::thread(wine_server_loop, &srv);
    return true;
}

inline void wine_server_stop(wine_server &srv)
{
    srv.stopping = true;
    closesocket(srv.listener);
    if (srv.thread.joinable())
        srv.thread.join();
    WSACleanup();
}

#endif
