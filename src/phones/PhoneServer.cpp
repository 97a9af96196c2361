// SPDX-License-Identifier: GPL-3.0-or-later
#include "phones/PhoneServer.h"

#include <QCoreApplication>
#include <QHash>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr size_t postBufferSize = size_t(16) * 1024;
constexpr int maxQueryValues = 8;
constexpr int maxQueryValueBytes = 1024;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A phone kept waiting for its wish or photo.
struct Pending
{
    MHD_Connection* connection = nullptr;
    bool done = false;     // the answer is there (or the server stops)
    bool answered = false; // the handler has sent it
    int status = 503;
    QByteArray body;
};

// One event stream.
struct Stream
{
    PhoneServer::Core* core = nullptr;
    MHD_Connection* connection = nullptr;
    bool suspended = false;
    bool pingDue = false;
    bool ended = false;
    quint64 sentVersion = 0;
    QByteArray out;
    int outPosition = 0;
};

} // namespace

struct PhoneServer::Core
{
    Core(PhoneRouter& r, PhoneBackend& b, const PhoneLimits& l) : router(r), backend(b), limits(l) {}
    PhoneRouter& router;
    PhoneBackend& backend;
    const PhoneLimits limits;
    MHD_Daemon* daemon = nullptr;
    // Guards what follows; suspending and resuming happen with it held, so that stopping never misses one.
    std::mutex mutex;
    std::condition_variable settled;
    bool stopping = false;
    std::vector<std::weak_ptr<Pending>> pendings;
    std::vector<std::weak_ptr<Stream>> streams;
    // Connections and photo uploads in all and by address; guarded by their own mutex, since the
    // accept policy asks on every new connection.
    std::mutex countMutex;
    int connectionCount = 0;
    QHash<QByteArray, int> connectionsByAddress;
    int photoUploads = 0;
    QHash<QByteArray, int> photoUploadsByAddress;
    // Each connection's socket and since when it waits for a request's head, if it does.
    struct Opened
    {
        int socket = -1;
        qint64 sinceMs = 0;
        bool awaitingHead = true;
    };
    QHash<MHD_Connection*, Opened> opened;
    qint64 lastSweepMs = 0;
};

namespace {

// One request with its body as far as it came.
struct Exchange
{
    PhoneServer::Core* core = nullptr;
    PhoneRequest request;
    MHD_PostProcessor* post = nullptr;
    QByteArray photo;
    qint64 received = 0;
    qint64 limit = 0;
    bool tooLarge = false;
    bool malformed = false;
    bool forged = false; // the photo's ticket is none of this phone's
    bool begun = false;  // the head has been looked at
    bool tooManyValues = false;
    bool photoUpload = false;
    // The upload's current window: when it began and what has come in it.
    qint64 windowStartMs = 0;
    qint64 windowBytes = 0;
    std::shared_ptr<Pending> pending;

    ~Exchange()
    {
        if (post)
            MHD_destroy_post_processor(post);
        leaveUploadPlace();
    }

    void leaveUploadPlace()
    {
        if (!photoUpload)
            return;
        photoUpload = false;
        std::lock_guard<std::mutex> lock(core->countMutex);
        --core->photoUploads;
        if (--core->photoUploadsByAddress[request.address] <= 0)
            core->photoUploadsByAddress.remove(request.address);
    }
};

QByteArray addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return QByteArray(text);
}

QByteArray peerAddress(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info ? addressText(info->client_addr) : QByteArray();
}

MHD_Result collectQuery(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto* query = static_cast<QHash<QByteArray, QByteArray>*>(cls);
    if (!key || query->size() >= maxQueryValues)
        return MHD_NO;
    const QByteArray bytes(value ? value : "");
    if (bytes.size() <= maxQueryValueBytes)
        query->insert(QByteArray(key), bytes);
    return MHD_YES;
}

bool ticketHeld(const Exchange& exchange)
{
    const PhoneRequest& request = exchange.request;
    const QByteArray ticket = request.form.value("ticket", request.query.value("ticket"));
    return exchange.core->router.admits(request.cookie) &&
           exchange.core->backend.holdsTicket(phones::tokenFromCookie(request.cookie), ticket);
}

// The server's own answers in the phone's language, as the page and the desk speak to it. Before the
// request's head is read, the phone's language is not known yet and the host's is spoken.
QString spoken(const Exchange& exchange, const char* context, const char* source)
{
    const PhoneRouter& router = exchange.core->router;
    return router.translate(router.chooseLanguage(exchange.request.language), context, source);
}

QString spoken(const Exchange& exchange, const char* source)
{
    return spoken(exchange, "PhoneServer", source);
}

// The desk's own answer to a photo of no wish, since the server refuses it first.
QString refusedPhotoText(const Exchange& exchange)
{
    return spoken(exchange, "PhoneDesk",
                  QT_TRANSLATE_NOOP("PhoneDesk", "This photo belongs to no wish of yours."));
}

MHD_Result collectField(void* cls, MHD_ValueKind, const char* key, const char*, const char*, const char*,
                        const char* data, uint64_t, size_t size)
{
    auto* exchange = static_cast<Exchange*>(cls);
    if (!key)
        return MHD_YES;
    const QByteArray name(key);
    QByteArray* target = nullptr;
    qint64 room = 0;
    if (name == "photo" && exchange->request.path == "/api/photo") {
        // The ticket comes before the photo, in the address or an earlier field: a photo that belongs to
        // no wish of this phone is not read on.
        if (exchange->photo.isEmpty() && !ticketHeld(*exchange)) {
            // The rest is read unkept, without holding a place another phone's photo could have.
            exchange->forged = true;
            exchange->leaveUploadPlace();
            return MHD_NO;
        }
        target = &exchange->photo;
        room = phones::maxPhotoBytes;
    } else if (name == "comment") {
        target = &exchange->request.form[name];
        room = phones::maxCommentBytes;
    } else if (name == "id" || name == "pin" || name == "ticket") {
        target = &exchange->request.form[name];
        room = 64;
    } else {
        return MHD_YES; // fields nobody asked for are dropped unread
    }
    if (target->size() + static_cast<qint64>(size) > room) {
        exchange->tooLarge = true;
        return MHD_NO;
    }
    if (size > 0)
        target->append(data, static_cast<int>(size));
    return MHD_YES;
}

MHD_Result respond(MHD_Connection* connection, const PhoneReply& reply, bool head)
{
    MHD_Response* response =
        MHD_create_response_from_buffer(static_cast<size_t>(head ? 0 : reply.body.size()),
                                        const_cast<char*>(reply.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.constData());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, reply.cacheControl.constData());
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; img-src 'self' blob: data:; object-src 'none'; "
                            "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    if (!reply.setCookie.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_SET_COOKIE, reply.setCookie.constData());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result respondWith(MHD_Connection* connection, int status, const QString& text)
{
    PhoneReply reply;
    reply.status = status;
    reply.body = PhoneRouter::message(false, text);
    return respond(connection, reply, false);
}

QString tr(const char* text)
{
    return QCoreApplication::translate("PhoneServer", text);
}

ssize_t readStream(void* cls, uint64_t, char* buffer, size_t max)
{
    Stream& stream = **static_cast<std::shared_ptr<Stream>*>(cls);
    PhoneServer::Core& core = *stream.core;
    std::lock_guard<std::mutex> lock(core.mutex);
    if (core.stopping) {
        stream.ended = true;
        core.settled.notify_all();
        return MHD_CONTENT_READER_END_OF_STREAM;
    }
    if (stream.outPosition >= stream.out.size()) {
        stream.out.clear();
        stream.outPosition = 0;
        const std::shared_ptr<const PhoneSnapshot> snapshot = core.router.snapshot();
        if (snapshot->version != stream.sentVersion) {
            stream.out = "event: queue\ndata: " + snapshot->queueJson + "\n\n";
            stream.sentVersion = snapshot->version;
        } else if (stream.pingDue) {
            stream.out = ": ping\n\n";
        }
        stream.pingDue = false;
    }
    if (stream.out.isEmpty()) {
        // Nothing new: the connection sleeps until the next publication instead of being asked again.
        stream.suspended = true;
        MHD_suspend_connection(stream.connection);
        return 0;
    }
    const size_t count = std::min(max, static_cast<size_t>(stream.out.size() - stream.outPosition));
    std::memcpy(buffer, stream.out.constData() + stream.outPosition, count);
    stream.outPosition += static_cast<int>(count);
    return static_cast<ssize_t>(count);
}

void freeStream(void* cls)
{
    delete static_cast<std::shared_ptr<Stream>*>(cls);
}

MHD_Result startStream(PhoneServer::Core& core, MHD_Connection* connection, const PhoneReply& reply)
{
    auto stream = std::make_shared<Stream>();
    stream->core = &core;
    stream->connection = connection;
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        if (core.stopping)
            return respondWith(connection, 503, tr("The party has closed its phone wishes."));
        core.streams.erase(std::remove_if(core.streams.begin(), core.streams.end(),
                                          [](const std::weak_ptr<Stream>& s) { return s.expired(); }),
                           core.streams.end());
        core.streams.push_back(stream);
    }
    MHD_Response* response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 1024, readStream, new std::shared_ptr<Stream>(stream), freeStream);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    if (!reply.setCookie.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_SET_COOKIE, reply.setCookie.constData());
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result hand(PhoneServer::Core& core, MHD_Connection* connection, Exchange& exchange,
                const PhoneReply& reply)
{
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        if (core.stopping)
            return respondWith(
                connection, 503,
                spoken(exchange, QT_TRANSLATE_NOOP("PhoneServer", "The party has closed its phone wishes.")));
        exchange.pending = std::make_shared<Pending>();
        exchange.pending->connection = connection;
        core.pendings.erase(std::remove_if(core.pendings.begin(), core.pendings.end(),
                                           [](const std::weak_ptr<Pending>& p) { return p.expired(); }),
                            core.pendings.end());
        core.pendings.push_back(exchange.pending);
        MHD_suspend_connection(connection);
    }
    // The answer may come on any thread, or never when the server stops first, which answers itself.
    std::weak_ptr<Pending> waiting = exchange.pending;
    PhoneServer::Core* owner = &core;
    const PhoneBackend::Answer answer = [owner, waiting](int status, const QByteArray& json) {
        const std::shared_ptr<Pending> pending = waiting.lock();
        if (!pending)
            return;
        std::lock_guard<std::mutex> lock(owner->mutex);
        if (pending->done)
            return;
        pending->done = true;
        pending->status = status;
        pending->body = json;
        MHD_resume_connection(pending->connection);
    };
    if (reply.action == PhoneReply::Action::Wish)
        core.backend.wish(reply.token, exchange.request.address, reply.songId, answer);
    else
        core.backend.photo(reply.token, reply.ticket, exchange.photo, reply.comment, answer);
    exchange.photo.clear();
    return MHD_YES;
}

// Takes one of the photo upload places, unless they are all taken or this address has its share.
bool takeUploadPlace(PhoneServer::Core& core, const QByteArray& address)
{
    std::lock_guard<std::mutex> lock(core.countMutex);
    int& mine = core.photoUploadsByAddress[address];
    if (core.photoUploads >= core.limits.photoUploads || mine >= core.limits.photoUploadsPerAddress) {
        if (mine == 0)
            core.photoUploadsByAddress.remove(address);
        return false;
    }
    ++mine;
    ++core.photoUploads;
    return true;
}

// An upload must keep bringing bytes: one that trickles holds an upload place and its memory for
// nothing.
bool tooSlow(const PhoneServer::Core& core, Exchange& exchange, size_t arrived)
{
    const qint64 now = nowMs();
    exchange.windowBytes += static_cast<qint64>(arrived);
    const qint64 passed = now - exchange.windowStartMs;
    if (passed < core.limits.uploadWindowMs)
        return false;
    if (exchange.windowBytes * 1000 < core.limits.minUploadBytesPerSecond * passed)
        return true;
    exchange.windowStartMs = now;
    exchange.windowBytes = 0;
    return false;
}

void awaitHead(PhoneServer::Core& core, MHD_Connection* connection, bool awaiting)
{
    std::lock_guard<std::mutex> lock(core.countMutex);
    const auto found = core.opened.find(connection);
    if (found == core.opened.end())
        return;
    found->awaitingHead = awaiting;
    found->sinceMs = nowMs();
}

// The first call for a request, with its head only: everything that can be refused without the body is.
MHD_Result beginRequest(PhoneServer::Core& core, MHD_Connection* connection, const char* url,
                        const char* method, Exchange& exchange)
{
    // The head is in: the connection now has the ordinary idle time instead of the short one for heads.
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, core.limits.timeoutSeconds);
    awaitHead(core, connection, false);
    PhoneRequest& request = exchange.request;
    request.method = QByteArray(method);
    const size_t urlLength = std::strlen(url);
    request.path = urlLength <= 64 ? QByteArray(url, static_cast<int>(urlLength)) : QByteArray("/-");
    request.cookie = QByteArray(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Cookie"));
    request.address = peerAddress(connection);
    if (MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, nullptr, nullptr) > maxQueryValues)
        return respondWith(connection, 414,
                           spoken(exchange, QT_TRANSLATE_NOOP("PhoneServer", "This is too large.")));
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectQuery, &request.query);
    if (request.method != "POST")
        return MHD_YES;
    const bool photo = request.path == "/api/photo";
    exchange.limit =
        photo ? phones::maxPhotoBytes + phones::maxCommentBytes + 64LL * 1024 : phones::maxFormBytes;
    const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
    if (length && QByteArray(length).toLongLong() > exchange.limit)
        return respondWith(connection, 413,
                           spoken(exchange, QT_TRANSLATE_NOOP("PhoneServer", "This is too large.")));
    if (photo) {
        // A ticket named in the address is checked before a byte of the photo is read.
        if (request.query.contains("ticket") && !ticketHeld(exchange))
            return respondWith(connection, 403, refusedPhotoText(exchange));
        if (!takeUploadPlace(core, request.address))
            return respondWith(
                connection, 503,
                spoken(exchange,
                       QT_TRANSLATE_NOOP("PhoneServer", "Many photos are arriving; try again in a moment.")));
        exchange.photoUpload = true;
        exchange.windowStartMs = nowMs();
        MHD_set_connection_option(
            connection, MHD_CONNECTION_OPTION_TIMEOUT,
            static_cast<unsigned>(std::max<qint64>(1, core.limits.uploadWindowMs / 1000)));
    }
    exchange.post = MHD_create_post_processor(connection, postBufferSize, collectField, &exchange);
    if (!exchange.post)
        return respondWith(connection, 415,
                           spoken(exchange, QT_TRANSLATE_NOOP("PhoneServer", "This cannot be read.")));
    return MHD_YES;
}

MHD_Result handleRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char*, const char* upload, size_t* uploadSize, void** connectionState)
{
    auto& core = *static_cast<PhoneServer::Core*>(cls);
    auto* exchange = static_cast<Exchange*>(*connectionState);
    if (!exchange) {
        exchange = new Exchange;
        exchange->core = &core;
        *connectionState = exchange;
    }
    if (!exchange->begun) {
        exchange->begun = true;
        // First of all: every answer from here on is in the phone's language.
        exchange->request.language =
            QByteArray(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Accept-Language")).left(256);
        if (exchange->tooManyValues)
            return respondWith(connection, 414,
                               spoken(*exchange, QT_TRANSLATE_NOOP("PhoneServer", "This is too large.")));
        return beginRequest(core, connection, url, method, *exchange);
    }
    if (*uploadSize > 0) {
        if (exchange->photoUpload && tooSlow(core, *exchange, *uploadSize))
            return MHD_NO;
        exchange->received += static_cast<qint64>(*uploadSize);
        if (exchange->received > exchange->limit)
            exchange->tooLarge = true;
        if (!exchange->tooLarge && !exchange->malformed && !exchange->forged && exchange->post &&
            MHD_post_process(exchange->post, upload, *uploadSize) != MHD_YES && !exchange->tooLarge &&
            !exchange->forged)
            exchange->malformed = true;
        *uploadSize = 0;
        return MHD_YES;
    }
    if (exchange->pending) {
        // Resumed: the answer has come, or the server is stopping.
        PhoneReply reply;
        {
            std::lock_guard<std::mutex> lock(core.mutex);
            reply.status = exchange->pending->status;
            reply.body =
                exchange->pending->done
                    ? exchange->pending->body
                    : PhoneRouter::message(
                          false, spoken(*exchange, QT_TRANSLATE_NOOP("PhoneServer", "Please try again.")));
            exchange->pending->answered = true;
            core.settled.notify_all();
        }
        return respond(connection, reply, false);
    }
    if (exchange->forged)
        return respondWith(connection, 403, refusedPhotoText(*exchange));
    if (exchange->tooLarge)
        return respondWith(connection, 413,
                           spoken(*exchange, QT_TRANSLATE_NOOP("PhoneServer", "This is too large.")));
    if (exchange->malformed)
        return respondWith(connection, 400,
                           spoken(*exchange, QT_TRANSLATE_NOOP("PhoneServer", "This cannot be read.")));
    exchange->request.nowMs = nowMs();
    const PhoneReply reply = core.router.route(exchange->request);
    switch (reply.action) {
    case PhoneReply::Action::None:
        return respond(connection, reply, exchange->request.method == "HEAD");
    case PhoneReply::Action::Events:
        return startStream(core, connection, reply);
    case PhoneReply::Action::Wish:
    case PhoneReply::Action::Photo:
        return hand(core, connection, *exchange, reply);
    }
    return MHD_NO;
}

// Called with the whole request line's address before the server takes its query apart: a query of more
// values than any request of the page has is cut off here and answered at once, where taking it apart
// would use up the connection's memory and leave the phone waiting for nothing.
void* meetRequest(void* cls, const char* uri, MHD_Connection*)
{
    auto* exchange = new Exchange;
    exchange->core = static_cast<PhoneServer::Core*>(cls);
    // The address lies in the connection's own buffer, from which the server takes the values once this
    // returns: emptied behind the '?', it gives none.
    char* query = std::strchr(const_cast<char*>(uri), '?');
    if (query && std::count(query, query + std::strlen(query), '&') >= maxQueryValues) {
        exchange->tooManyValues = true;
        query[1] = '\0';
    }
    return exchange;
}

void requestCompleted(void* cls, MHD_Connection* connection, void** connectionState,
                      MHD_RequestTerminationCode)
{
    // A connection kept alive waits for its next request's head.
    awaitHead(*static_cast<PhoneServer::Core*>(cls), connection, true);
    delete static_cast<Exchange*>(*connectionState);
    *connectionState = nullptr;
}

// A new connection is refused when it would take one of the last free ones for an address that already
// holds several: the reserve stays for guests who arrive while others hold many.
// The idle time only bounds a head that stops; one that comes a byte every few seconds would be waited for
// for hours. Whenever a guest arrives, the heads that have taken too long are cut off: their sockets are
// shut, and the server closes them as it closes any connection whose phone has gone.
void sweepSlowHeads(PhoneServer::Core& core)
{
    const qint64 now = nowMs();
    if (now - core.lastSweepMs < 250)
        return;
    core.lastSweepMs = now;
    const qint64 limitMs = static_cast<qint64>(core.limits.headTimeoutSeconds) * 1000;
    for (PhoneServer::Core::Opened& connection : core.opened) {
        if (connection.awaitingHead && now - connection.sinceMs > limitMs) {
            shutdown(connection.socket, SHUT_RDWR);
            connection.awaitingHead = false;
        }
    }
}

MHD_Result admitConnection(void* cls, const sockaddr* address, socklen_t)
{
    auto& core = *static_cast<PhoneServer::Core*>(cls);
    const PhoneLimits& limits = core.limits;
    std::lock_guard<std::mutex> lock(core.countMutex);
    sweepSlowHeads(core);
    if (core.connectionCount < limits.connections - limits.reservedConnections)
        return MHD_YES;
    return core.connectionsByAddress.value(addressText(address)) < limits.fewConnections ? MHD_YES : MHD_NO;
}

void countConnection(void* cls, MHD_Connection* connection, void** socketContext,
                     MHD_ConnectionNotificationCode code)
{
    auto& core = *static_cast<PhoneServer::Core*>(cls);
    std::lock_guard<std::mutex> lock(core.countMutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto* address = new QByteArray(peerAddress(connection));
        *socketContext = address;
        ++core.connectionCount;
        ++core.connectionsByAddress[*address];
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info) {
            // A socket number is used again once closed: nothing may still stand for the old one.
            for (auto it = core.opened.begin(); it != core.opened.end();)
                it = it->socket == info->connect_fd ? core.opened.erase(it) : std::next(it);
            core.opened.insert(connection, PhoneServer::Core::Opened{info->connect_fd, nowMs(), true});
        }
    } else if (auto* address = static_cast<QByteArray*>(*socketContext)) {
        core.opened.remove(connection);
        --core.connectionCount;
        if (--core.connectionsByAddress[*address] <= 0)
            core.connectionsByAddress.remove(*address);
        delete address;
        *socketContext = nullptr;
    }
}

void dropLogLine(void*, const char*, va_list) {}

} // namespace

PhoneServer::PhoneServer(PhoneRouter& router, PhoneBackend& backend, const PhoneLimits& limits)
    : core(std::make_shared<Core>(router, backend, limits))
{}

PhoneServer::~PhoneServer()
{
    stop();
}

bool PhoneServer::isRunning() const
{
    return core->daemon != nullptr;
}

bool PhoneServer::start(quint16 port, QString* error)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(core->mutex);
        core->stopping = false;
    }
    const PhoneLimits& limits = core->limits;
    // Epoll or poll as the system offers, never select: descriptors beyond 1024 stay usable.
    const unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    core->daemon = MHD_start_daemon(
        flags, port, admitConnection, core.get(), handleRequest, core.get(), MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(limits.connections), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(limits.connectionsPerAddress), MHD_OPTION_CONNECTION_TIMEOUT,
        limits.headTimeoutSeconds, MHD_OPTION_NOTIFY_CONNECTION, countConnection, core.get(),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(32 * 1024), MHD_OPTION_THREAD_POOL_SIZE,
        static_cast<unsigned>(limits.threads), MHD_OPTION_URI_LOG_CALLBACK, meetRequest, core.get(),
        MHD_OPTION_NOTIFY_COMPLETED, requestCompleted, core.get(), MHD_OPTION_EXTERNAL_LOGGER, dropLogLine,
        nullptr, MHD_OPTION_END);
    if (!core->daemon) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(core->daemon, MHD_DAEMON_INFO_BIND_PORT);
    boundPort = info ? info->port : port;
    return true;
}

void PhoneServer::stop()
{
    if (!core->daemon)
        return;
    {
        std::unique_lock<std::mutex> lock(core->mutex);
        core->stopping = true;
        std::vector<std::shared_ptr<Pending>> waiting;
        for (const std::weak_ptr<Pending>& weak : core->pendings) {
            if (const std::shared_ptr<Pending> pending = weak.lock()) {
                if (!pending->done) {
                    pending->done = true;
                    pending->status = 503;
                    pending->body = PhoneRouter::message(false, tr("The party has closed its phone wishes."));
                    MHD_resume_connection(pending->connection);
                }
                waiting.push_back(pending);
            }
        }
        std::vector<std::shared_ptr<Stream>> streams;
        for (const std::weak_ptr<Stream>& weak : core->streams) {
            if (const std::shared_ptr<Stream> stream = weak.lock()) {
                if (stream->suspended) {
                    stream->suspended = false;
                    MHD_resume_connection(stream->connection);
                }
                streams.push_back(stream);
            }
        }
        // A suspended connection must not outlive the daemon: each resumed one is given its last answer
        // before the daemon goes. A phone that has gone meanwhile is not waited for long.
        core->settled.wait_for(lock, std::chrono::seconds(2), [&] {
            return std::all_of(waiting.begin(), waiting.end(),
                               [](const std::shared_ptr<Pending>& p) { return p->answered; }) &&
                   std::all_of(streams.begin(), streams.end(),
                               [](const std::shared_ptr<Stream>& s) { return s->ended; });
        });
        core->pendings.clear();
        core->streams.clear();
    }
    MHD_stop_daemon(core->daemon);
    core->daemon = nullptr;
    boundPort = 0;
}

void PhoneServer::wakeStreams(bool ping)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    if (core->stopping || !core->daemon)
        return;
    for (const std::weak_ptr<Stream>& weak : core->streams) {
        const std::shared_ptr<Stream> stream = weak.lock();
        if (!stream)
            continue;
        if (ping)
            stream->pingDue = true;
        if (stream->suspended) {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
    }
}
