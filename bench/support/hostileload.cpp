// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostileload.h"

#include "phoneload.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace vimobench {

namespace {

constexpr int freshWisherHost = 220;
constexpr int slowUploaderHost = 221;
constexpr int forgerHost = 222;
constexpr int firstHolderHost = 225;
constexpr int holderHosts = 21;
constexpr int connectionsPerHolder = 48;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One request on a connection of its own; the answer as far as it came before the server closed.
QByteArray roundTrip(int host, int port, const QByteArray& request)
{
    const int fd = connectFromLoopback(host, port, true);
    if (fd < 0)
        return QByteArray();
    QByteArray answer;
    if (send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, int(n));
    }
    close(fd);
    return answer;
}

QByteArray tokenFor(int host, int port)
{
    const QByteArray page = roundTrip(host, port, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const int at = page.indexOf("vimo_phone=");
    return at < 0 ? QByteArray() : page.mid(at + 11, 32);
}

// A progressive JPEG whose last scan is repeated 600 times: cheap to send, slow to decode.
QByteArray slowJpeg()
{
    QImage image(1024, 768, QImage::Format_RGB888);
    QRandomGenerator random(5);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000u);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(20);
    writer.write(image);
    const int last = jpeg.lastIndexOf("\xFF\xDA");
    const int end = jpeg.lastIndexOf("\xFF\xD9");
    return jpeg.left(end) + jpeg.mid(last, end - last).repeated(600).left(512 * 1024) + jpeg.mid(end);
}

QByteArray multipart(const QByteArray& ticketField, const QByteArray& photo)
{
    QByteArray body;
    if (!ticketField.isEmpty())
        body +=
            "--vimoHostile\r\nContent-Disposition: form-data; name=\"ticket\"\r\n\r\n" + ticketField + "\r\n";
    body += "--vimoHostile\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"a.jpg\"\r\n\r\n" +
            photo + "\r\n--vimoHostile--\r\n";
    return body;
}

QByteArray photoRequest(const QByteArray& path, const QByteArray& token, qint64 length)
{
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: vimo_phone=" + token +
           "\r\nContent-Type: multipart/form-data; boundary=vimoHostile\r\nContent-Length: " +
           QByteArray::number(length) + "\r\n\r\n";
}

QByteArray madeUpTicket()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(32, '0');
}

// Non-blocking connections that trickle bytes and are opened again when the server drops them.
class Tricklers
{
public:
    Tricklers(int port, QByteArray head) : serverPort(port), opening(std::move(head)) {}
    ~Tricklers()
    {
        for (const auto& held : open)
            close(held.fd);
    }
    // Opens up to `count` connections from `host`; returns how many were opened.
    int topUp(int host, int count)
    {
        int have = 0;
        for (const auto& held : open)
            have += held.host == host;
        int opened = 0;
        for (; have < count; ++have) {
            const int fd = connectFromLoopback(host, serverPort, false);
            if (fd < 0)
                break;
            open.push_back({fd, host, false, nowMs()});
            ++opened;
        }
        return opened;
    }
    // Sends the head to new connections and one byte to the others; drops what the server closed.
    void trickle(bool byteDue)
    {
        std::vector<pollfd> fds;
        for (const auto& held : open)
            fds.push_back({held.fd, short(POLLIN | POLLOUT), 0});
        poll(fds.data(), fds.size(), 0);
        std::vector<Held> kept;
        for (size_t i = 0; i < open.size(); ++i) {
            Held held = open[i];
            bool gone = (fds[i].revents & (POLLHUP | POLLERR)) != 0;
            if (!gone && (fds[i].revents & POLLIN)) {
                char buffer[4096];
                recv(held.fd, buffer, sizeof buffer, 0);
                gone = true; // an answer or the end: either way the server is done with it
            }
            if (!gone && (fds[i].revents & POLLOUT) && (!held.started || byteDue)) {
                const QByteArray bytes = held.started ? QByteArray("x") : opening;
                gone = send(held.fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) < 0 &&
                       errno != EAGAIN;
                held.started = true;
            }
            if (gone)
                close(held.fd);
            else
                kept.push_back(held);
        }
        open = std::move(kept);
    }
    // Connections the server has let stay open for a second at least.
    int held() const
    {
        const double before = nowMs() - 1000;
        return int(
            std::count_if(open.begin(), open.end(), [before](const Held& h) { return h.openedMs < before; }));
    }

private:
    struct Held
    {
        int fd;
        int host;
        bool started;
        double openedMs;
    };
    const int serverPort;
    const QByteArray opening;
    std::vector<Held> open;
};

} // namespace

struct HostileLoad::Guests
{
    std::atomic<bool> stop{false};
    std::mutex mutex;
    HostileLoadResult result;
    std::vector<std::thread> threads;
};

HostileLoad::HostileLoad(int port, int songs) : guests(std::make_unique<Guests>())
{
    Guests& g = *guests;
    // A fresh token before every wish, all from one address.
    g.threads.emplace_back([&g, port, songs]() {
        while (!g.stop) {
            const QByteArray token = tokenFor(freshWisherHost, port);
            const QByteArray body = "id=" + QByteArray::number(QRandomGenerator::global()->bounded(songs));
            const QByteArray answer = roundTrip(
                freshWisherHost, port,
                "POST /api/wish HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: vimo_phone=" + token +
                    "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\n\r\n" + body);
            {
                std::lock_guard<std::mutex> lock(g.mutex);
                ++g.result.freshWishes;
                g.result.freshAccepted += answer.startsWith("HTTP/1.1 200");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // Four uploads from one phone, a byte every half second, the ticket somewhere in the trickle.
    g.threads.emplace_back([&g, port]() {
        const QByteArray token = tokenFor(slowUploaderHost, port);
        Tricklers uploads(port, photoRequest("/api/photo", token, 200000) + "--vimoHostile\r\n");
        double nextByte = nowMs();
        while (!g.stop) {
            const int opened = uploads.topUp(slowUploaderHost, 4);
            {
                std::lock_guard<std::mutex> lock(g.mutex);
                g.result.slowUploads += opened;
            }
            const bool due = nowMs() >= nextByte;
            if (due)
                nextByte += 500;
            uploads.trickle(due);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // Made-up tickets with a slow JPEG, in the address and in the form by turns.
    g.threads.emplace_back([&g, port]() {
        const QByteArray token = tokenFor(forgerHost, port);
        const QByteArray jpeg = slowJpeg();
        for (int turn = 0; !g.stop; ++turn) {
            const bool inAddress = turn % 2 == 0;
            const QByteArray ticket = madeUpTicket();
            const QByteArray body = multipart(inAddress ? QByteArray() : ticket, jpeg);
            const QByteArray path = inAddress ? "/api/photo?ticket=" + ticket : QByteArray("/api/photo");
            const double sent = nowMs();
            const QByteArray answer =
                roundTrip(forgerHost, port, photoRequest(path, token, body.size()) + body);
            {
                std::lock_guard<std::mutex> lock(g.mutex);
                ++g.result.forgedPhotos;
                g.result.forgedRefusedFast += answer.startsWith("HTTP/1.1 403") && nowMs() - sent < 1000;
            }
            // Ten a second: a phone's upload rate, not a flood no server could tell from its guests.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // 21 addresses that hold every connection they may, each sending its head a byte every 3 s.
    g.threads.emplace_back([&g, port]() {
        Tricklers heads(port, "GET /api/state HTTP/1.1\r\n");
        double nextByte = nowMs() + 3000;
        double nextTopUp = nowMs();
        while (!g.stop) {
            // What the server closed is opened again once a second.
            if (nowMs() >= nextTopUp) {
                nextTopUp += 1000;
                for (int host = firstHolderHost; host < firstHolderHost + holderHosts; ++host)
                    heads.topUp(host, connectionsPerHolder);
            }
            const bool due = nowMs() >= nextByte;
            if (due)
                nextByte += 3000;
            heads.trickle(due);
            {
                std::lock_guard<std::mutex> lock(g.mutex);
                g.result.heldConnections = std::max(g.result.heldConnections, heads.held());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
}

HostileLoad::~HostileLoad()
{
    finish();
}

HostileLoadResult HostileLoad::finish()
{
    guests->stop = true;
    for (std::thread& thread : guests->threads)
        if (thread.joinable())
            thread.join();
    std::lock_guard<std::mutex> lock(guests->mutex);
    return guests->result;
}

} // namespace vimobench
