// SPDX-License-Identifier: GPL-3.0-or-later
// What a guest's phone can send: any request to the router (method, path, cookie, query, form, with or
// without a PIN), and any bytes as a photo. The router answers only with its fixed statuses, JSON where it
// promises JSON, the page's three files and nothing else, and hands on only wishes of songs that exist
// from phones it knows; the photo intake keeps only our own JPEG, within the size asked for, without EXIF,
// and decodes no JPEG of more scans than allowed.
//
// Input: one byte of switches (bit 0: a photo rather than a request; bit 1: the party has a PIN), then the
// photo's bytes, or the request's fields separated by line breaks: method, path, cookie ("@" stands for
// the token the router gave this phone a moment ago), query and form as name=value pairs joined by "&", and
// the Accept-Language header.
#include "base/boundedimage.h"
#include "base/textfold.h"
#include "fuzzsupport.h"
#include "phones/PhoneRouter.h"
#include "phones/photointake.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonDocument>
#include <QList>

#include <memory>

namespace {

const QSize keptSize(64, 48);

PhoneRouter& router()
{
    static PhoneRouter made;
    static const bool published = [] {
        auto library = std::make_shared<PhoneLibrary>();
        library->songs = {{QStringLiteral("<script>alert(1)</script>"), QStringLiteral("\"Quote\" & Co"),
                           QStringLiteral("<script>alert(1)</script>\n\"quote\" & co"), QString(), 0},
                          {QStringLiteral("Ümlaut"), QStringLiteral("Line\nBreak"),
                           QStringLiteral("ümlaut\nline\nbreak"), QString(), -1},
                          {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("a\nb"), QString(), 0}};
        for (PhoneSong& song : library->songs)
            song.folded = foldedForSearch(song.key);
        library->byKey = {0, 2, 1};
        library->chips = QStringList{QStringLiteral("Rock")};
        auto snapshot = std::make_shared<PhoneSnapshot>();
        snapshot->library = library;
        snapshot->states = {PhoneSongState::Free, PhoneSongState::Waiting, PhoneSongState::Played};
        snapshot->queueJson = R"({"capacity":5,"waiting":[]})";
        snapshot->version = 1;
        made.publish(snapshot);
        return true;
    }();
    Q_UNUSED(published)
    return made;
}

QHash<QByteArray, QByteArray> pairs(const QByteArray& text)
{
    QHash<QByteArray, QByteArray> values;
    for (const QByteArray& pair : text.split('&')) {
        const int equals = pair.indexOf('=');
        values.insert(equals < 0 ? pair : pair.left(equals),
                      equals < 0 ? QByteArray() : pair.mid(equals + 1));
    }
    return values;
}

void fuzzRequest(const QByteArray& input, bool pin)
{
    PhoneRouter& phones = router();
    phones.setPin(pin ? QStringLiteral("4711") : QString());
    static qint64 now = 0;
    now += 1000;
    // A phone that has been here: it got its token with the page, from an address of its own.
    static const QByteArray token = [&phones] {
        PhoneRequest first;
        first.method = "GET";
        first.path = "/";
        first.address = "192.0.2.1";
        return phones.route(first).setCookie.mid(11, 32);
    }();

    const QList<QByteArray> fields = input.split('\n');
    PhoneRequest request;
    request.method = fields.value(0);
    request.path = fields.value(1);
    request.cookie = fields.value(2) == "@" ? "vimo_phone=" + token : fields.value(2);
    request.query = pairs(fields.value(3));
    request.form = pairs(fields.value(4));
    request.language = fields.value(5);
    request.address = "192.0.2.7";
    request.nowMs = now;
    const PhoneReply reply = phones.route(request);

    static const QList<int> statuses{200, 400, 403, 404, 405, 413, 429};
    vimofuzz::check(statuses.contains(reply.status), "a known status");
    if (reply.action == PhoneReply::Action::None && reply.contentType == "application/json")
        vimofuzz::check(QJsonDocument::fromJson(reply.body).isObject(), "JSON where JSON is promised");
    if (reply.status == 200 && reply.contentType != "application/json" &&
        reply.action == PhoneReply::Action::None)
        vimofuzz::check(request.path == "/" || request.path == "/app.js" || request.path == "/app.css" ||
                            request.path == "/favicon.png",
                        "only the page's own files");
    if (reply.action != PhoneReply::Action::None)
        vimofuzz::check(phones::isToken(reply.token), "actions only for a phone with a token");
    if (reply.action == PhoneReply::Action::Wish || reply.action == PhoneReply::Action::Photo)
        vimofuzz::check(reply.token == token, "changes only from the phone's own token, sent by itself");
    if (reply.action == PhoneReply::Action::Wish)
        vimofuzz::check(request.method == "POST" && reply.songId >= 0 && reply.songId < 3,
                        "wishes only of songs that exist");
    if (reply.action == PhoneReply::Action::Photo)
        vimofuzz::check(reply.comment.size() <= phones::maxCommentLength && phones::isToken(reply.ticket),
                        "photos only with a ticket and a comment of the screen's length");
    if (!reply.setCookie.isEmpty())
        vimofuzz::check(reply.setCookie.contains("HttpOnly") && reply.setCookie.contains("SameSite=Strict"),
                        "tokens only in cookies that scripts and other sites cannot read");
}

void fuzzPhoto(const QByteArray& bytes)
{
    const phones::PhotoIntake taken = phones::takeInPhoto(bytes, keptSize);
    vimofuzz::check(taken.jpeg.isEmpty() == (taken.refusal != nullptr), "a photo or a reason");
    if (taken.jpeg.isEmpty())
        return;
    const ImageType type = sniffImageType(bytes);
    vimofuzz::check(decodeCost(bytes, type, QSize(1, 1), QSize(1, 1)).scans <= phones::maxJpegScans,
                    "no JPEG of more scans than allowed decoded");
    vimofuzz::check(taken.jpeg.startsWith("\xFF\xD8\xFF"), "our own JPEG");
    vimofuzz::check(!taken.jpeg.contains(QByteArray("Exif\0\0", 6)), "no EXIF of the phone's");
    QBuffer buffer;
    buffer.setData(taken.jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    const QSize size = reader.size();
    vimofuzz::check(size == taken.size && size.width() <= keptSize.width() &&
                        size.height() <= keptSize.height(),
                    "within the webcam's size");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    vimofuzz::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), int(size - 1));
    if (data[0] & 1)
        fuzzPhoto(input);
    else
        fuzzRequest(input, data[0] & 2);
    return 0;
}
