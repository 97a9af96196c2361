// SPDX-License-Identifier: GPL-3.0-or-later
#include "phoneload.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace vimobench {

namespace {

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One request on a connection of its own, answered when the server closes it.
struct Exchange
{
    enum Kind { Token, Search, Wish, Stream, Photo } kind = Search;
    int phone = 0;
    int fd = -1;
    QByteArray out;
    int sent = 0;
    QByteArray in;
    double startMs = 0;
    int song = -1;
};

Exchange exchangeOf(Exchange::Kind kind, int phone, const QByteArray& out)
{
    Exchange exchange;
    exchange.kind = kind;
    exchange.phone = phone;
    exchange.out = out;
    return exchange;
}

QByteArray request(const QByteArray& method, const QByteArray& path, const QByteArray& token,
                   const QByteArray& body = QByteArray())
{
    QByteArray text = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        text += "Cookie: vimo_phone=" + token + "\r\n";
    if (method == "POST")
        text += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n";
    if (path != "/api/events")
        text += "Connection: close\r\n";
    return text + "\r\n" + body;
}

// An answer's time among the taken ones, or one more refused.
void measure(int status, double elapsed, QVector<double>& taken, int& refused)
{
    if (status == 200)
        taken << elapsed;
    else
        ++refused;
}

// A phone's selfie: a small JPEG, sent with the wish's ticket in the address as the page sends it.
QByteArray selfieRequest(const QByteArray& token, const QByteArray& ticket)
{
    static const QByteArray photo = [] {
        QImage image(640, 480, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 85);
        return jpeg;
    }();
    const QByteArray body = "--vimoSelfie\r\nContent-Disposition: form-data; name=\"photo\"; "
                            "filename=\"me.jpg\"\r\nContent-Type: image/jpeg\r\n\r\n" +
                            photo + "\r\n--vimoSelfie--\r\n";
    return "POST /api/photo?ticket=" + ticket +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: vimo_phone=" + token +
           "\r\nContent-Type: multipart/form-data; boundary=vimoSelfie\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

int connectFromLoopback(int host, int port, bool blocking)
{
    const int fd = socket(AF_INET, SOCK_STREAM | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000000u + static_cast<unsigned>(host));
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    if (blocking) {
        timeval limit{3, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

PhoneLoadResult runPhoneLoad(int port, int phones, double wishesPerSecond, double seconds, int songs,
                             void (*pump)(), bool selfies)
{
    PhoneLoadResult result;
    std::atomic<bool> done{false};
    std::thread load([&]() {
        std::mt19937 random(7);
        std::vector<QByteArray> tokens(static_cast<size_t>(phones));
        std::vector<QByteArray> streamBuffers(static_cast<size_t>(phones));
        std::vector<double> nextSearch(static_cast<size_t>(phones), 0);
        std::map<int, Exchange> open; // by descriptor
        std::vector<Exchange> photos; // selfies to send once their wish is answered
        // Accepted wishes not yet seen by every phone: song, sent at, phones that saw it.
        struct Watch
        {
            int song;
            double sentMs;
            std::map<int, double> seen; // phone, when its stream showed the song
            bool accepted = false;
        };
        std::vector<Watch> watches;
        const QRegularExpression ids(QStringLiteral("\"id\":(\\d+)"));
        // Returns when the request was started, or a negative time when no connection could be made.
        const auto start = [&](Exchange exchange) {
            // Each phone from an address of its own, 127.0.0.2 and up, below the hostile guests' ones.
            exchange.fd = connectFromLoopback(2 + exchange.phone % 210, port, false);
            if (exchange.fd < 0) {
                ++result.unanswered;
                return -1.0;
            }
            exchange.startMs = nowMs();
            const double started = exchange.startMs;
            open.emplace(exchange.fd, std::move(exchange));
            return started;
        };
        const auto finish = [&](Exchange& exchange) {
            const int status = exchange.in.mid(9, 3).toInt();
            const QByteArray body = exchange.in.mid(exchange.in.indexOf("\r\n\r\n") + 4);
            const double elapsed = nowMs() - exchange.startMs;
            switch (exchange.kind) {
            case Exchange::Token: {
                const int at = exchange.in.indexOf("vimo_phone=");
                if (at >= 0)
                    tokens[static_cast<size_t>(exchange.phone)] = exchange.in.mid(at + 11, 32);
                break;
            }
            case Exchange::Search:
                measure(status, elapsed, result.searchMs, result.unanswered);
                break;
            case Exchange::Wish:
                for (Watch& watch : watches)
                    if (watch.song == exchange.song && watch.sentMs == exchange.startMs)
                        watch.accepted = status == 200;
                if (status == 200) {
                    ++result.accepted;
                    result.acceptedSongs.push_back(exchange.song);
                    const int at = body.indexOf("\"ticket\":\"");
                    if (selfies && at >= 0)
                        photos.push_back(
                            exchangeOf(Exchange::Photo, exchange.phone,
                                       selfieRequest(tokens[size_t(exchange.phone)], body.mid(at + 10, 32))));
                } else if (status != 409 && status != 429) {
                    ++result.unanswered;
                }
                break;
            case Exchange::Photo:
                measure(status, elapsed, result.selfieMs, result.selfiesRefused);
                break;
            case Exchange::Stream:
                break;
            }
        };
        const auto pollOnce = [&](int timeoutMs) {
            std::vector<pollfd> fds;
            for (auto& entry : open)
                fds.push_back({entry.first,
                               short(POLLIN | (entry.second.sent < entry.second.out.size() ? POLLOUT : 0)),
                               0});
            poll(fds.data(), fds.size(), timeoutMs);
            for (const pollfd& ready : fds) {
                if (!ready.revents)
                    continue;
                Exchange& exchange = open[ready.fd];
                if ((ready.revents & POLLOUT) && exchange.sent < exchange.out.size()) {
                    const ssize_t n = send(ready.fd, exchange.out.constData() + exchange.sent,
                                           size_t(exchange.out.size() - exchange.sent), MSG_NOSIGNAL);
                    if (n > 0)
                        exchange.sent += int(n);
                }
                if (ready.revents & (POLLIN | POLLHUP | POLLERR)) {
                    char buffer[16384];
                    const ssize_t n = recv(ready.fd, buffer, sizeof buffer, 0);
                    if (n > 0 && exchange.kind == Exchange::Stream) {
                        QByteArray& pending = streamBuffers[size_t(exchange.phone)];
                        pending.append(buffer, int(n));
                        const double arrived = nowMs();
                        for (int end; (end = pending.indexOf("\n\n")) >= 0; pending.remove(0, end + 2)) {
                            const QByteArray event = pending.left(end);
                            auto match = ids.globalMatch(QString::fromUtf8(event));
                            std::set<int> shown;
                            while (match.hasNext())
                                shown.insert(match.next().captured(1).toInt());
                            for (Watch& watch : watches)
                                if (shown.count(watch.song) && arrived >= watch.sentMs)
                                    watch.seen.emplace(exchange.phone, arrived);
                        }
                    } else if (n > 0) {
                        exchange.in.append(buffer, int(n));
                    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                        if (exchange.kind != Exchange::Stream)
                            finish(exchange);
                        close(ready.fd);
                        open.erase(ready.fd);
                    }
                }
            }
        };

        // Every phone opens the page (and gets its token), then follows the queue.
        for (int phone = 0; phone < phones; ++phone)
            start(exchangeOf(Exchange::Token, phone, request("GET", "/", QByteArray())));
        const double tokenDeadline = nowMs() + 20000;
        while (!open.empty() && nowMs() < tokenDeadline)
            pollOnce(10);
        for (int phone = 0; phone < phones; ++phone) {
            if (tokens[size_t(phone)].isEmpty())
                continue;
            ++result.phones;
            start(exchangeOf(Exchange::Stream, phone, request("GET", "/api/events", tokens[size_t(phone)])));
            nextSearch[size_t(phone)] = nowMs() + std::uniform_real_distribution<double>(0, 5000)(random);
        }
        const double begin = nowMs();
        const double end = begin + seconds * 1000;
        double nextWish = begin;
        const QList<QByteArray> words{"a", "the", "love", "night", "ro", "e", "in", "song"};
        while (nowMs() < end) {
            const double now = nowMs();
            for (int phone = 0; phone < phones; ++phone) {
                if (tokens[size_t(phone)].isEmpty() || nextSearch[size_t(phone)] > now)
                    continue;
                nextSearch[size_t(phone)] = now + 5000;
                const QByteArray word = words.at(int(random() % unsigned(words.size())));
                start(exchangeOf(Exchange::Search, phone,
                                 request("GET", "/api/search?q=" + word, tokens[size_t(phone)])));
            }
            while (wishesPerSecond > 0 && nextWish <= now && songs > 0) {
                nextWish += 1000 / wishesPerSecond;
                const int phone = int(random() % unsigned(phones));
                if (tokens[size_t(phone)].isEmpty())
                    continue;
                const int song = int(random() % unsigned(songs));
                Exchange wish = exchangeOf(
                    Exchange::Wish, phone,
                    request("POST", "/api/wish", tokens[size_t(phone)], "id=" + QByteArray::number(song)));
                wish.song = song;
                const double sent = start(std::move(wish));
                if (sent >= 0)
                    watches.push_back(Watch{song, sent, {}, false});
                ++result.wishes;
            }
            pollOnce(5);
            for (Exchange& photo : photos)
                start(std::move(photo));
            photos.clear();
        }
        // The last answers and events still on their way.
        const double drain = nowMs() + 3000;
        while (nowMs() < drain)
            pollOnce(10);
        // A wish is visible once the last phone's stream has shown it; one that some phone never saw
        // counts with the whole run's length.
        for (const Watch& watch : watches) {
            if (!watch.accepted)
                continue;
            double last = watch.sentMs;
            for (const auto& seen : watch.seen)
                last = std::max(last, seen.second);
            result.visibleMs << (int(watch.seen.size()) == result.phones ? last - watch.sentMs
                                                                         : seconds * 1000);
        }
        for (auto& entry : open)
            close(entry.first);
        done = true;
    });
    while (!done)
        pump();
    load.join();
    return result;
}

} // namespace vimobench
