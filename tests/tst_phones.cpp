// SPDX-License-Identifier: GPL-3.0-or-later
// Phone wishes through real HTTP requests against the server of a running window on 127.0.0.1: the page,
// the search, wishes and every refusal, the live queue, photos from a phone, hostile requests, and the
// host's key with its QR panel.
#include "base/textfold.h"
#include "camera/photocomment.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "phones/PhoneDesk.h"
#include "phones/PhonePanel.h"
#include "phones/PhoneRouter.h"
#include "phones/PhoneServer.h"
#include "queuesupport.h"
#include "testsupport.h"
#include "ui/QTableWidgetSearchable.h"
#include "ui/mainwindowimpl.h"
#include "windowsupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QUrlQuery>

#include <zlib.h>

#include <memory>

namespace {

struct Answer
{
    int status = 0;
    QJsonObject json;
    QByteArray body;
};

// One guest's phone: its own cookie jar, so its own token. A phone with an address of its own (127.0.0.x)
// sends its requests from there, the way guests' phones come from addresses of their own.
class Phone
{
public:
    explicit Phone(quint16 port, const QHostAddress& address = QHostAddress())
        : base(QStringLiteral("http://127.0.0.1:%1").arg(port)), serverPort(port), from(address)
    {}

    Answer get(const QString& path)
    {
        if (!from.isNull())
            return exchange("GET", path, QByteArray(), QByteArray());
        return finish(network.get(QNetworkRequest(QUrl(base + path))));
    }
    Answer post(const QString& path, const QUrlQuery& form)
    {
        const QByteArray body = form.toString(QUrl::FullyEncoded).toUtf8();
        if (!from.isNull())
            return exchange("POST", path, "application/x-www-form-urlencoded", body);
        QNetworkRequest request(QUrl(base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        return finish(network.post(request, body));
    }
    // The ticket as a form field before the photo, or (`inAddress`) in the address, as the page sends it.
    Answer postPhoto(const QString& ticket, const QString& comment, const QByteArray& photo,
                     bool inAddress = false)
    {
        const QString path =
            inAddress ? QStringLiteral("/api/photo?ticket=") + ticket : QStringLiteral("/api/photo");
        const QByteArray boundary = "vimoTestBoundary7";
        QByteArray body;
        const auto field = [&body, &boundary](const QByteArray& name, const QByteArray& value, bool file) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + '"' +
                    (file ? QByteArray("; filename=\"../../me.jpg\"") : QByteArray()) + "\r\n\r\n" + value +
                    "\r\n";
        };
        if (!inAddress)
            field("ticket", ticket.toLatin1(), false);
        field("comment", comment.toUtf8(), false);
        field("photo", photo, true);
        body += "--" + boundary + "--\r\n";
        const QByteArray type = "multipart/form-data; boundary=" + boundary;
        if (!from.isNull())
            return exchange("POST", path, type, body);
        QNetworkRequest request(QUrl(base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, type);
        return finish(network.post(request, body));
    }
    // Waits for the song to appear in a queue event of the live stream.
    QNetworkReply* follow()
    {
        return network.get(QNetworkRequest(QUrl(base + QStringLiteral("/api/events"))));
    }

    // The id of the one song the search finds.
    int idOf(const QString& text)
    {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("q"), text);
        const QJsonArray songs = get(QStringLiteral("/api/search?") + query.toString(QUrl::FullyEncoded))
                                     .json.value(QStringLiteral("songs"))
                                     .toArray();
        if (songs.size() != 1)
            qWarning() << "search" << text << "found" << songs;
        return songs.size() == 1 ? songs.first().toObject().value(QStringLiteral("id")).toInt() : -1;
    }
    // The phone's secret token, as its cookie holds it.
    QByteArray token() const
    {
        for (const QNetworkCookie& cookie : network.cookieJar()->cookiesForUrl(QUrl(base)))
            if (cookie.name() == "vimo_phone")
                return cookie.value();
        return QByteArray();
    }
    Answer wish(const QString& text)
    {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("id"), QString::number(idOf(text)));
        return post(QStringLiteral("/api/wish"), form);
    }

private:
    // One request on a connection of its own from the phone's address, answered when the server closes.
    Answer exchange(const QByteArray& method, const QString& path, const QByteArray& type,
                    const QByteArray& body)
    {
        QTcpSocket socket;
        socket.bind(from);
        socket.connectToHost(QHostAddress::LocalHost, serverPort);
        Answer answer;
        if (!socket.waitForConnected(5000))
            return answer;
        QByteArray head = method + ' ' + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
        if (!cookie.isEmpty())
            head += "Cookie: " + cookie + "\r\n";
        if (method == "POST")
            head +=
                "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
        socket.write(head + "\r\n" + body);
        // The event loop runs meanwhile: a wish is answered on this thread.
        QByteArray in;
        if (!QTest::qWaitFor(
                [&socket, &in]() {
                    in += socket.readAll();
                    return socket.state() == QAbstractSocket::UnconnectedState;
                },
                20000))
            qWarning() << "no whole answer to" << path;
        in += socket.readAll();
        const int headEnd = in.indexOf("\r\n\r\n");
        answer.status = in.mid(9, 3).toInt();
        answer.body = headEnd < 0 ? QByteArray() : in.mid(headEnd + 4);
        answer.json = QJsonDocument::fromJson(answer.body).object();
        const int given = in.left(headEnd).indexOf("vimo_phone=");
        if (given >= 0)
            cookie = in.mid(given, 11 + 32);
        return answer;
    }

    Answer finish(QNetworkReply* reply)
    {
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(20000);
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        answer.json = QJsonDocument::fromJson(answer.body).object();
        reply->deleteLater();
        return answer;
    }

    const QString base;
    const quint16 serverPort;
    const QHostAddress from;
    QByteArray cookie;
    QNetworkAccessManager network;
};

// Sends raw bytes from 127.0.0.`host` and returns what comes back until the server closes or answers.
QByteArray rawExchange(quint16 port, const QByteArray& request, int host = 1)
{
    QTcpSocket socket;
    socket.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(host)));
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer;
}

QString message(const Answer& answer)
{
    return answer.json.value(QStringLiteral("message")).toString();
}

QByteArray jpegWithExif(const QSize& size, const std::string& exifComment)
{
    QImage image(size, QImage::Format_RGB888);
    image.fill(QColor(200, 40, 40));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("phone.jpg"));
    image.save(path, "JPG");
    writePhotoComment(QFile::encodeName(path).toStdString(), exifComment);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk;
    QDataStream out(&chunk, QIODevice::WriteOnly);
    out << quint32(data.size());
    chunk += type + data;
    const auto* bytes = reinterpret_cast<const Bytef*>(chunk.constData() + 4);
    const uLong crc = crc32(0, bytes, static_cast<uInt>(chunk.size() - 4));
    QDataStream tail(&chunk, QIODevice::Append);
    tail << quint32(crc);
    return chunk;
}

// A black RGB picture of 16 bits a sample: tiny as a file, eight bytes a pixel once decoded.
QByteArray deepPng(int width, int height)
{
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out << quint32(width) << quint32(height) << quint8(16) << quint8(2) << quint8(0) << quint8(0)
        << quint8(0);
    const QByteArray rows(height * (1 + width * 6), '\0');
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", QByteArray());
}

// A small progressive JPEG whose last scan is repeated until it has `scans` scans.
QByteArray manyScans(int scans)
{
    QImage image(64, 48, QImage::Format_RGB888);
    image.fill(QColor(20, 120, 200));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    const int last = jpeg.lastIndexOf("\xFF\xDA");
    const int end = jpeg.lastIndexOf("\xFF\xD9");
    const int written = jpeg.count("\xFF\xDA");
    return jpeg.left(end) + jpeg.mid(last, end - last).repeated(scans - written) + jpeg.mid(end);
}

// Answers every photo at once and holds one ticket.
class PhotoCounter : public PhoneBackend
{
public:
    void wish(const QByteArray&, const QByteArray&, int, Answer answer) override { answer(409, "{}"); }
    bool holdsTicket(const QByteArray&, const QByteArray& ticket) const override
    {
        return ticket == heldTicket;
    }
    void photo(const QByteArray&, const QByteArray&, const QByteArray&, const QString&,
               Answer answer) override
    {
        answer(200, "{}");
    }
    const QByteArray heldTicket = QByteArray(32, 'a');
};

// A connection from 127.0.0.`host` that has sent `bytes`.
std::unique_ptr<QTcpSocket> connectFrom(int host, quint16 port, const QByteArray& bytes)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(host)));
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (socket->waitForConnected(5000))
        socket->write(bytes);
    socket->waitForBytesWritten(1000);
    return socket;
}

// Whether the server closes the connection within `waitMs` (it answers nothing before).
bool closedWithin(QTcpSocket& socket, int waitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < waitMs)
        socket.waitForReadyRead(100);
    return socket.state() != QAbstractSocket::ConnectedState;
}

} // namespace

class PhonesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        settings.setValue(QStringLiteral("Phones/Enabled"), 1);
        settings.setValue(QStringLiteral("Phones/Port"), 0);
        settings.setValue(QStringLiteral("Webcam/Width"), 320);
        settings.setValue(QStringLiteral("Webcam/Height"), 240);
        settings.sync();
        mark = std::make_unique<vimotest::LogMark>();
        // The page's German comes from the build's translation, found in the working folder as at start-up.
        QDir::setCurrent(vimotest::binaryDirectory());
        window = vimotest::openMainWindowWithSongs(vimotest::queueFixture(QStringLiteral("wishes")));
        QVERIFY(window->phones() && window->phones()->isRunning());
        port = window->phones()->port();
        QVERIFY(port != 0);
        firstPhone = std::make_unique<Phone>(port);
        secondPhone = std::make_unique<Phone>(port, QHostAddress(QStringLiteral("127.0.0.2")));
        thirdPhone = std::make_unique<Phone>(port);
    }

    void wishesAndRefusals()
    {
        const QStringList started =
            mark->messages().filter(QRegularExpression(QStringLiteral("^Phone wishes started at http://")));
        QCOMPARE(started.size(), 1);
        QVERIFY(started.first().contains(QStringLiteral(":%1/").arg(port)));

        Phone& first = *firstPhone;
        Phone& second = *secondPhone;
        const Answer page = first.get(QStringLiteral("/"));
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<script src=\"/app.js\""));
        QNetworkReply* stream = second.follow();
        QByteArray events;
        connect(stream, &QNetworkReply::readyRead, this,
                [&events, stream]() { events += stream->readAll(); });

        // The first wish starts the party; the next two of the same phone wait; a third is one too many.
        const Answer opening = first.wish(QStringLiteral("endless road"));
        QVERIFY2(opening.status == 200, opening.body.constData());
        QCOMPARE(first.wish(QStringLiteral("wish one")).status, 200);
        QCOMPARE(first.wish(QStringLiteral("wish two")).status, 200);
        const Answer third = first.wish(QStringLiteral("wish three"));
        QCOMPARE(third.status, 429);
        QCOMPARE(message(third), QStringLiteral("Your waiting wishes have reached this party's limit of 2; "
                                                "wish again when one of them plays."));
        // A fresh token from the same address (a private tab, cleared site data) is the same guest.
        Phone fresh(port);
        const Answer again = fresh.wish(QStringLiteral("wish three"));
        QCOMPARE(again.status, 429);
        QCOMPARE(message(again), message(third));

        // Another phone meets the queue's own rules, with the reason.
        const Answer twice = second.wish(QStringLiteral("wish one"));
        QCOMPARE(twice.status, 409);
        QCOMPARE(message(twice), QStringLiteral("This song is in the queue already."));
        QCOMPARE(message(second.wish(QStringLiteral("endless road"))),
                 QStringLiteral("This song is playing right now."));
        const Answer accepted = second.wish(QStringLiteral("wish three"));
        QCOMPARE(accepted.status, 200);
        ticket = accepted.json.value(QStringLiteral("ticket")).toString();
        QVERIFY(!ticket.isEmpty());
        // The screen wishes through the same queue: it fills the last place.
        QTableWidget* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        const QList<QTableWidgetItem*> four =
            grid->findItems(QStringLiteral("Wisher Four\nWish Four"), Qt::MatchFixedString);
        QCOMPARE(four.size(), 1);
        emit grid->itemActivated(four.first());
        const Answer full = second.wish(QStringLiteral("wish five"));
        QCOMPARE(full.status, 409);
        QVERIFY2(QRegularExpression(QStringLiteral("^The queue is full, try again in (2:00|1:[0-5]\\d)\\.$"))
                     .match(message(full))
                     .hasMatch(),
                 qPrintable(message(full)));

        // Every accepted wish is in the playlist, once, as a wish at the screen would be.
        QStringList titles;
        for (const Track* track : window->queue()->queuedSongs())
            titles << track->title();
        QCOMPARE(titles, (QStringList{QStringLiteral("Endless Road"), QStringLiteral("Wish One"),
                                      QStringLiteral("Wish Two"), QStringLiteral("Wish Three"),
                                      QStringLiteral("Wish Four")}));
        const QStringList lines =
            vimotest::numberedPlaylistLines(vimotest::readTextFile(window->queue()->playlistPath()));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first(), QStringLiteral("  1:   Long Player - Endless Road"));

        // The live stream has told the other phone of every change, last of all the screen's wish.
        QVERIFY(QTest::qWaitFor([&events]() { return events.contains("Wish Four"); }, 5000));
        QVERIFY(events.startsWith("event: queue\ndata: {"));
        const QList<QByteArray> blocks = events.trimmed().split('\n');
        const QJsonObject last = QJsonDocument::fromJson(blocks.last().mid(6)).object();
        QCOMPARE(last.value(QStringLiteral("head")).toObject().value(QStringLiteral("title")).toString(),
                 QStringLiteral("Endless Road"));
        QCOMPARE(last.value(QStringLiteral("waiting")).toArray().size(), 4);

        // The search tells which songs can still be wished.
        const QJsonArray found =
            first.get(QStringLiteral("/api/search?q=wisher")).json.value(QStringLiteral("songs")).toArray();
        QCOMPARE(found.size(), 5);
        QCOMPARE(found.at(4).toObject().value(QStringLiteral("title")).toString(),
                 QStringLiteral("Wish Two"));
        QCOMPARE(found.at(4).toObject().value(QStringLiteral("state")).toInt(), 1);
        QCOMPARE(found.at(0).toObject().value(QStringLiteral("state")).toInt(), 0);

        // The log tells what the phones did, each guest by a short name of its own.
        const QStringList wishLines = mark->messages().filter(QStringLiteral("Phone wish from guest "));
        const QRegularExpression line(
            QStringLiteral("^Phone wish from guest ([0-9a-f]{6}) for \"([^\"]+)\": (.+)$"));
        QStringList told;
        QSet<QString> guests;
        for (const QString& wishLine : wishLines) {
            const QRegularExpressionMatch match = line.match(wishLine);
            QVERIFY2(match.hasMatch(), qPrintable(wishLine));
            guests << match.captured(1);
            told << match.captured(2) + QStringLiteral(": ") + match.captured(3);
        }
        // The fresh token from the first phone's address is a guest of its own name in the log, though it
        // shares that address's wishes.
        QCOMPARE(guests.size(), 3);
        QVERIFY(!wishLines.join(QString()).contains(QString::fromLatin1(firstPhone->token())));
        QVERIFY2(told.contains(QStringLiteral("Long Player - Endless Road: taken into the queue")),
                 qPrintable(told.join('|')));
        QVERIFY(told.contains(QStringLiteral(
            "Wisher Three - Wish Three: refused, the guest's limit of 2 waiting wishes is reached")));
        QVERIFY(told.contains(
            QStringLiteral("Wisher One - Wish One: refused: This song is in the queue already.")));
        QVERIFY(
            !told.filter(QRegularExpression(QStringLiteral(": refused: The queue is full, try again in ")))
                 .isEmpty());
    }

    // Case, accents and Unicode forms are folded on both sides: the guest types as a plain keyboard does.
    void foldedSearch_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::newRow("accent left out") << QStringLiteral("beyonce") << QStringLiteral("Halo");
        QTest::newRow("umlaut left out") << QStringLiteral("motorhead") << QStringLiteral("Ace of Spades");
        QTest::newRow("two words without their accents")
            << QStringLiteral("sigur ros") << QStringLiteral("Hoppípolla");
        QTest::newRow("composed typed, decomposed stored")
            << QStringLiteral("caf\u00e9") << QStringLiteral("Eres");
        QTest::newRow("capitals with accents") << QStringLiteral("BEYONCÉ HALO") << QStringLiteral("Halo");
        QTest::newRow("a letter without a separable mark")
            << QStringLiteral("royksopp") << QStringLiteral("Eple");
        QTest::newRow("sharp s as two") << QStringLiteral("strasse") << QStringLiteral("Gasse");
        QTest::newRow("a ligature of the compatibility forms")
            << QStringLiteral("\ufb01ne") << QStringLiteral("Fine");
    }

    void foldedSearch()
    {
        QFETCH(QString, typed);
        QFETCH(QString, title);
        const QList<QPair<QString, QString>> tags{
            {QStringLiteral("Beyoncé"), QStringLiteral("Halo")},
            {QStringLiteral("Motörhead"), QStringLiteral("Ace of Spades")},
            {QStringLiteral("Sigur Rós"), QStringLiteral("Hoppípolla")},
            {QStringLiteral("Cafe\u0301 Tacvba"), QStringLiteral("Eres")},
            {QStringLiteral("Røyksopp"), QStringLiteral("Eple")},
            {QStringLiteral("Straße"), QStringLiteral("Gasse")},
            {QStringLiteral("Plain"), QStringLiteral("Fine")}};
        auto library = std::make_shared<PhoneLibrary>();
        for (const auto& tag : tags) {
            // The key as the library makes it, folded once as the phones' desk folds it.
            const QString key = tag.first.toLower() + QLatin1Char('\n') + tag.second.toLower();
            library->songs.push_back(PhoneSong{tag.first, tag.second, key, foldedForSearch(key), -1});
            library->byKey.push_back(static_cast<int>(library->byKey.size()));
        }
        auto snapshot = std::make_shared<PhoneSnapshot>();
        snapshot->library = library;
        snapshot->states.assign(tags.size(), PhoneSongState::Free);
        PhoneRouter router;
        router.publish(snapshot);
        PhoneRequest request;
        request.method = "GET";
        request.path = "/api/search";
        request.address = "127.0.0.9";
        request.query.insert("q", typed.toUtf8());
        const QJsonArray songs = QJsonDocument::fromJson(router.route(request).body)
                                     .object()
                                     .value(QStringLiteral("songs"))
                                     .toArray();
        QCOMPARE(songs.size(), 1);
        QCOMPARE(songs.first().toObject().value(QStringLiteral("title")).toString(), title);
    }

    // The playing song's cover is our own JPEG from the snapshot, kept by the phone since its address
    // changes with the song; without one there is none to fetch, and the page shows no picture.
    void coverOfThePlayingSong()
    {
        PhoneRouter router;
        PhoneRequest request;
        request.method = "GET";
        request.path = "/api/cover";
        request.address = "127.0.0.10";
        QCOMPARE(router.route(request).status, 404);
        auto snapshot = std::make_shared<PhoneSnapshot>();
        snapshot->coverJpeg = QByteArray("\xFF\xD8\xFF our JPEG", 13);
        router.publish(snapshot);
        const PhoneReply cover = router.route(request);
        QCOMPARE(cover.status, 200);
        QCOMPARE(cover.contentType, QByteArray("image/jpeg"));
        QCOMPARE(cover.body, snapshot->coverJpeg);
        QVERIFY(cover.cacheControl.startsWith("private, max-age="));
        request.path = "/api/state";
        QCOMPARE(router.route(request).cacheControl, QByteArray("no-store"));
    }

    // Each phone gets the page and the server's answers in its own language; the host's (English here)
    // when it asks for none the page speaks. A path with its method is sent as it stands.
    void pageLanguage_data()
    {
        QTest::addColumn<QByteArray>("accept");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("German page") << QByteArray("de-DE,de;q=0.9,en;q=0.8") << QByteArray("/")
                                     << QByteArray("<html lang=\"de\">");
        QTest::newRow("German heading")
            << QByteArray("de-AT") << QByteArray("/") << QByteArray("<h2>Jetzt l\xc3\xa4uft</h2>");
        QTest::newRow("German texts of the script")
            << QByteArray("de") << QByteArray("/") << QByteArray("\"Wish\":\"W\xc3\xbcnschen\"");
        QTest::newRow("German answer")
            << QByteArray("de") << QByteArray("/api/search?q=%FF") << QByteArray("Diese Suche");
        // Refused by the server from the request's head, before the desk could answer.
        QTest::newRow("German refusal of a photo of no wish")
            << QByteArray("de") << QByteArray("POST /api/photo?ticket=0123456789abcdef0123456789abcdef")
            << QByteArray("Dieses Foto geh\xc3\xb6rt zu keinem deiner W\xc3\xbcnsche.");
        // The server's own answer, before the request reaches the router.
        QTest::newRow("German refusal of too many query values")
            << QByteArray("de") << QByteArray("/api/search?" + QByteArray("a=1&").repeated(600) + "q=x")
            << QByteArray("Das ist zu gro\xc3\x9f.");
        QTest::newRow("English before German by weight")
            << QByteArray("de;q=0.5,en") << QByteArray("/") << QByteArray("<h2>Now playing</h2>");
        QTest::newRow("a language the page does not speak")
            << QByteArray("fr-FR") << QByteArray("/") << QByteArray("<html lang=\"en\">");
    }

    void pageLanguage()
    {
        QFETCH(QByteArray, accept);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, expected);
        const QByteArray line = path.startsWith('/') ? "GET " + path : path;
        const QByteArray answer = rawExchange(port, line +
                                                        " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                                        "Accept-Language: " +
                                                        accept + "\r\n\r\n");
        QVERIFY2(answer.contains(expected), answer.constData());
        QVERIFY(!answer.contains("{{"));
    }

    // Typed letters on the grid jump to the first song they begin, in any column, folded as the phones'
    // search is.
    void gridKeyboardSearch()
    {
        QTableWidget* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        grid->setFocus();
        grid->setCurrentCell(0, 0);
        QTest::keyClicks(grid, QStringLiteral("WISHER TH"));
        QVERIFY(grid->currentItem());
        QCOMPARE(grid->currentItem()->text(), QStringLiteral("Wisher Three\nWish Three"));
        QCOMPARE(qobject_cast<QTableWidgetSearchable*>(grid)->currentSearchText(),
                 QStringLiteral("WISHER TH"));
        QTest::qWait(QApplication::keyboardInputInterval() + 100);
        QTest::keyClicks(grid, QStringLiteral("lo"));
        QCOMPARE(grid->currentItem()->text(), QStringLiteral("Long Player\nEndless Road"));
    }

    void hostileRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("a path out of the page")
            << QByteArray("GET /../../../etc/passwd HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("404");
        QTest::newRow("a file of the program")
            << QByteArray("GET /phones/index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("404");
        QTest::newRow("another method")
            << QByteArray("DELETE /api/wish HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("405");
        QTest::newRow("a wish without the phone's token")
            << QByteArray("POST /api/wish HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: "
                          "application/x-www-form-urlencoded\r\nContent-Length: 4\r\n\r\nid=1")
            << QByteArray("403");
        QTest::newRow("a forged token")
            << QByteArray("POST /api/wish HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: "
                          "vimo_phone=0123456789abcdef0123456789abcdef\r\nContent-Type: "
                          "application/x-www-form-urlencoded\r\nContent-Length: 4\r\n\r\nid=1")
            << QByteArray("403");
        QTest::newRow("a body larger than any wish")
            << QByteArray("POST /api/wish HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: "
                          "application/x-www-form-urlencoded\r\nContent-Length: 100000\r\n\r\nid=1")
            << QByteArray("413");
        QTest::newRow("a photo larger than 15 MB")
            << QByteArray("POST /api/photo HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: "
                          "multipart/form-data; boundary=x\r\nContent-Length: 99999999\r\n\r\n--x")
            << QByteArray("413");
        QTest::newRow("search text that is no UTF-8")
            << QByteArray("GET /api/search?q=%FF%FE HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("400");
        QTest::newRow("search text too long")
            << QByteArray("GET /api/search?q=" + QByteArray(300, 'a') +
                          " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("400");
        QTest::newRow("a header beyond the connection's memory")
            << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Junk: " +
                          QByteArray(64 * 1024, 'j') + "\r\n\r\n")
            << QByteArray("431");
        QTest::newRow("more query values than any request has")
            << QByteArray("GET /api/search?" + QByteArray("a=1&").repeated(600) +
                          "q=x HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            << QByteArray("414");
        // Answered from the head alone: the photo's bytes never come.
        QTest::newRow("a photo whose ticket is no wish's")
            << QByteArray("POST /api/photo?ticket=0123456789abcdef0123456789abcdef HTTP/1.1\r\nHost: "
                          "x\r\nConnection: close\r\nContent-Type: multipart/form-data; "
                          "boundary=x\r\nContent-Length: 5000000\r\n\r\n--x")
            << QByteArray("403");
        QTest::newRow("no HTTP at all")
            << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage\r\n\r\n") << QByteArray("400");
    }

    void hostileRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        const QByteArray answer = rawExchange(port, request);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status) || (answer.isEmpty() && status == "400"),
                 answer.left(200).constData());
        QVERIFY(!answer.contains("root:"));
        // The party plays on and answers the next phone.
        QVERIFY(rawExchange(port, "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
    }

    void photoFromPhone_data()
    {
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("text") << QByteArray("hello, this is no photo")
                              << QStringLiteral(
                                     "This is no photo Vimo can read (JPEG, PNG, WebP, GIF or BMP).");
        // A BMP header claiming 10000 x 5000 pixels, with nothing behind it: refused before decoding.
        QByteArray huge("BM", 2);
        QDataStream header(&huge, QIODevice::Append);
        header.setByteOrder(QDataStream::LittleEndian);
        header << quint32(54) << quint32(0) << quint32(54) << quint32(40) << qint32(10000) << qint32(5000)
               << quint16(1) << quint16(24) << quint32(0) << quint32(0) << qint32(2835) << qint32(2835)
               << quint32(0) << quint32(0);
        QTest::newRow("40 megapixels claimed")
            << huge << QStringLiteral("The photo has more than 40 megapixels.");
        QByteArray broken = jpegWithExif(QSize(64, 48), "x");
        broken.truncate(40);
        QTest::newRow("a broken JPEG") << broken << QStringLiteral("The photo could not be read.");
        // 300 KB that decode into 72 MB: few pixels for the limit, too many bytes.
        QTest::newRow("a 16-bit PNG beyond the memory budget")
            << deepPng(3000, 3000) << QStringLiteral("The photo would take more than 64 MB to read.");
        QTest::newRow("a progressive JPEG of a hundred scans")
            << manyScans(100) << QStringLiteral("The photo could not be read.");
        QTest::newRow("a real photo") << jpegWithExif(QSize(1000, 800), "secret place") << QString();
    }

    void photoFromPhone()
    {
        QFETCH(QByteArray, photo);
        QFETCH(QString, refusal);
        Phone& phone = *secondPhone;
        Track* song = window->queue()->queuedSongs().value(3);
        QVERIFY(song && song->title() == QStringLiteral("Wish Three"));
        // Only the phone that wished may add the photo.
        QCOMPARE(thirdPhone->postPhoto(ticket, QStringLiteral("mine"), photo).status, 403);
        const Answer answer =
            phone.postPhoto(ticket, QStringLiteral("Hello from the dance floor"), photo, refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QCOMPARE(answer.status, 415);
            QCOMPARE(message(answer), refusal);
            QVERIFY(song->photoFileName().isEmpty());
            return;
        }
        QCOMPARE(answer.status, 200);
        // The song's portrait, named as the webcam names its photos (the first photo of this run), our own
        // JPEG within the webcam's size, the phone's EXIF gone and the comment inside as the screen stores
        // it.
        const QString name = song->photoFileName();
        QVERIFY2(
            QRegularExpression(
                QStringLiteral(
                    "^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d -   1 - Wisher Three - Wish Three\\.jpg$"))
                .match(name)
                .hasMatch(),
            qPrintable(name));
        const QString path = QDir::fromNativeSeparators(window->portraitFolder()) + name;
        QCOMPARE(QImageReader(path).size(), QSize(300, 240));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("secret place"));
        QCOMPARE(readPhotoCommentFromFile(QFile::encodeName(path).toStdString()),
                 std::string("Hello from the dance floor"));
        QCOMPARE(
            mark->messages()
                .filter(QRegularExpression(QStringLiteral(
                    "^Phone photo from guest [0-9a-f]{6} taken in for \"Wisher Three - Wish Three\" as \"")))
                .size(),
            1);
        QVERIFY(
            QDir(window->portraitFolder()).entryList(QDir::Files).filter(QStringLiteral("me.jpg")).isEmpty());
        // A ticket serves one photo.
        QCOMPARE(phone.postPhoto(ticket, QString(), photo).status, 403);
    }

    // The server alone, with limits small enough to reach quickly: an address's share of photo uploads, the
    // minimum rate of an upload, the short time for a request's head and the connections kept for new
    // addresses.
    void jammingClients()
    {
        PhoneLimits limits;
        limits.photoUploads = 3;
        limits.photoUploadsPerAddress = 1;
        limits.uploadWindowMs = 1000;
        limits.headTimeoutSeconds = 1;
        limits.connections = 24;
        limits.reservedConnections = 12;
        limits.fewConnections = 3;
        PhoneRouter router(limits);
        PhotoCounter backend;
        PhoneServer server(router, backend, limits);
        QVERIFY(server.start(0));
        const quint16 at = server.port();
        const QByteArray cookie = [at]() {
            const QByteArray page = rawExchange(at, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            return page.mid(page.indexOf("vimo_phone="), 11 + 32);
        }();
        QVERIFY(cookie.size() == 43);
        const QByteArray upload =
            "POST /api/photo?ticket=" + backend.heldTicket +
            " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " + cookie +
            "\r\nContent-Type: multipart/form-data; boundary=vimoBoundary\r\nContent-Length: 100000\r\n\r\n";

        // One address holds its one place with an upload that trickles; its next upload waits its turn,
        // another address's goes through.
        std::unique_ptr<QTcpSocket> trickle = connectFrom(3, at, upload + "--vimoBoundary\r\n");
        QTest::qWait(200);
        const QByteArray second = rawExchange(at, upload, 3);
        QVERIFY2(second.startsWith("HTTP/1.1 503"), second.left(100).constData());
        const QByteArray part = "--vimoBoundary\r\nContent-Disposition: form-data; "
                                "name=\"photo\"\r\n\r\nabc\r\n--vimoBoundary--\r\n";
        const QByteArray whole = QByteArray(upload).replace("100000", QByteArray::number(part.size())) + part;
        std::unique_ptr<QTcpSocket> other = connectFrom(4, at, whole);
        QVERIFY(other->waitForReadyRead(5000));
        QVERIFY(other->readAll().startsWith("HTTP/1.1 200"));
        // Too slow for the window: dropped, though it keeps sending.
        bool dropped = false;
        for (int tick = 0; tick < 40 && !dropped; ++tick) {
            trickle->write("x");
            dropped = closedWithin(*trickle, 100);
        }
        QVERIFY(dropped);

        // A head that does not come whole in its time is dropped, though it keeps coming a byte at a time,
        // once other guests arrive.
        std::unique_ptr<QTcpSocket> slowHead = connectFrom(5, at, "GET / HTTP/1.1\r\nHost: x\r\n");
        bool cut = false;
        for (int tick = 0; tick < 40 && !cut; ++tick) {
            slowHead->write("X");
            connectFrom(6, at, QByteArray());
            cut = closedWithin(*slowHead, 150);
        }
        QVERIFY(cut);

        // Three addresses hold four connections each, half of all: the rest is kept for addresses that
        // hold few, so a new guest is answered and a fourth of the holders' is refused. Each holds a whole
        // head and a body yet to come, so none is dropped as a slow head however late the guests come.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int host = 6; host < 9; ++host)
            for (int n = 0; n < 4; ++n)
                held.push_back(
                    connectFrom(host, at,
                                "POST /api/wish HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                "application/x-www-form-urlencoded\r\nContent-Length: 100\r\n\r\n"));
        // The server may count them late (a checked build is slow): a holder's further connection is asked
        // again until all are counted, while a new guest is answered every time.
        bool refused = false;
        for (int attempt = 0; attempt < 20 && !refused; ++attempt) {
            QVERIFY(rawExchange(at, "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                        .startsWith("HTTP/1.1 200"));
            const std::unique_ptr<QTcpSocket> greedy = connectFrom(6, at, "GET / HTTP/1.1\r\n");
            refused = closedWithin(*greedy, 500);
        }
        QVERIFY(refused);
    }

    void hostKeyAndPanel()
    {
        auto* panel = window->findChild<PhonePanel*>(QStringLiteral("phonePanel"));
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("phoneAddress"))->text(),
                 window->phones()->address());
        const QPixmap code =
            panel->findChild<QLabel*>(QStringLiteral("phoneCode"))->pixmap(Qt::ReturnByValue);
        // Whole pixels per module and at least 200 pixels wide: a phone reads it from across the room.
        QVERIFY(code.width() >= 200);
        // A column of its own: the panel covers neither the grid nor the queue, and every song keeps its
        // cell.
        const auto place = [this](const QWidget* widget) {
            return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
        };
        for (const char* name : {"myTableWidgetForLibrary", "myTableWidgetForQueue"})
            QVERIFY2(!place(panel).intersects(place(window->findChild<QWidget*>(QLatin1String(name)))), name);
        QTableWidget* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        int songCells = 0;
        for (int row = 0; row < grid->rowCount(); ++row)
            for (int column = 0; column < grid->columnCount(); ++column)
                songCells += grid->item(row, column) && !grid->item(row, column)->text().isEmpty();
        QCOMPARE(songCells, 6);

        // The host's key switches the service off: nothing listens, the panel goes, the choice stays.
        const vimotest::LogMark off;
        QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!window->phones()->isRunning());
        QCOMPARE(off.messages(), QStringList{QStringLiteral("Phone wishes stopped.")});
        QVERIFY(!panel->isVisible());
        QVERIFY(rawExchange(port, "GET / HTTP/1.1\r\n\r\n").isEmpty());
        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        QCOMPARE(settings.value(QStringLiteral("Phones/Enabled")).toInt(), 0);

        // On again with its port taken: the next free one is used, and the log names it.
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::Any, 0));
        settings.setValue(QStringLiteral("Phones/Port"), taken.serverPort());
        settings.sync();
        const vimotest::LogMark on;
        QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(window->phones()->isRunning());
        QVERIFY(window->phones()->port() > taken.serverPort());
        QCOMPARE(on.messages().filter(QStringLiteral("Phone wishes started at")).size(), 1);
        QVERIFY(on.messages().first().endsWith(QStringLiteral(":%1/").arg(window->phones()->port())));
        QVERIFY(panel->isVisible());
        QCOMPARE(settings.value(QStringLiteral("Phones/Enabled")).toInt(), 1);
    }

    // A new PIN locks out the phones let in with the old one; a PIN no phone can type keeps the phones off
    // and says why, on the panel and in the log.
    void pinChangeAndUnusablePin()
    {
        QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
        const auto restart = [this, &settings](const QString& pin) {
            settings.setValue(QStringLiteral("Phones/PIN"), pin);
            settings.setValue(QStringLiteral("Phones/Port"), port);
            settings.sync();
            if (window->phones()->isRunning())
                QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
            QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
        };
        QVERIFY(window->phones()->isRunning());
        port = window->phones()->port();
        restart(QStringLiteral("2468"));
        QVERIFY(window->phones()->isRunning());
        port = window->phones()->port();
        Phone guest(port);
        QCOMPARE(guest.get(QStringLiteral("/api/search?q=wish")).status, 403);
        const vimotest::LogMark wrong;
        QUrlQuery typed;
        typed.addQueryItem(QStringLiteral("pin"), QStringLiteral("1111"));
        QCOMPARE(guest.post(QStringLiteral("/api/pin"), typed).status, 403);
        QCOMPARE(wrong.messages()
                     .filter(QRegularExpression(
                         QStringLiteral("^A phone of guest [0-9a-f]{6} gave a wrong PIN\\.$")))
                     .size(),
                 1);
        QUrlQuery right;
        right.addQueryItem(QStringLiteral("pin"), QStringLiteral("2468"));
        QCOMPARE(guest.post(QStringLiteral("/api/pin"), right).status, 200);
        QCOMPARE(guest.get(QStringLiteral("/api/search?q=wish")).status, 200);

        restart(QStringLiteral("1357"));
        QVERIFY(window->phones()->isRunning());
        QCOMPARE(window->phones()->port(), port);
        QCOMPARE(guest.get(QStringLiteral("/api/state")).json.value(QStringLiteral("pin")).toBool(), true);
        QCOMPARE(guest.get(QStringLiteral("/api/search?q=wish")).status, 403);

        auto* panel = window->findChild<PhonePanel*>(QStringLiteral("phonePanel"));
        for (const QString& unusable :
             {QStringLiteral("12345678901234567"), QStringLiteral("12 34"), QStringLiteral("12\u00e934")}) {
            const vimotest::LogMark log;
            restart(unusable);
            QVERIFY2(!window->phones()->isRunning(), qPrintable(unusable));
            QVERIFY(rawExchange(port, "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                        .isEmpty());
            const QStringList said = log.messages().filter(QStringLiteral("cannot be used"));
            QCOMPARE(said.size(), 1);
            QVERIFY(panel->isVisible());
            QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("phoneAddress"))->text(), said.first());
            // The host's key takes the notice away.
            QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
            QVERIFY(!panel->isVisible());
        }
        restart(QString());
        QVERIFY(window->phones()->isRunning());
    }

private:
    std::unique_ptr<vimotest::LogMark> mark;
    std::unique_ptr<MainWindow> window;
    quint16 port = 0;
    QString ticket;
    std::unique_ptr<Phone> firstPhone;
    std::unique_ptr<Phone> secondPhone;
    std::unique_ptr<Phone> thirdPhone;
};

namespace {

// "--child serve STOPFILE": the party of the browser test (tests/browser/phone_page.py). Opens the window
// with phone wishes on any free port, tells the port, serves until STOPFILE exists (at most two minutes),
// then prints the playlist's song lines. Meanwhile STOPFILE.next, whenever it appears, is taken away and
// the playing song skipped, as the host's key would. "--child picture FILE" saves a picture of that window
// instead, for the manual.
int serveParty(const QStringList& arguments)
{
    if (arguments.size() != 2 ||
        (arguments.first() != QLatin1String("serve") && arguments.first() != QLatin1String("picture")))
        return 2;
    QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    settings.setValue(QStringLiteral("Phones/Enabled"), 1);
    settings.setValue(QStringLiteral("Phones/Port"), 0);
    settings.sync();
    // The German page needs the build's translation, found in the working folder as at start-up.
    QDir::setCurrent(vimotest::binaryDirectory());
    auto window = vimotest::openMainWindowWithSongs(vimotest::queueFixture(QStringLiteral("wishes")));
    if (!window->phones() || !window->phones()->isRunning())
        return 1;
    QTextStream out(stdout);
    if (arguments.first() == QLatin1String("picture")) {
        // The window as the manual shows it: a song playing, the QR panel beside the grid.
        window->resize(1280, 720);
        QTest::qWait(200);
        QTableWidget* grid = window->findChild<QTableWidget*>(QStringLiteral("myTableWidgetForLibrary"));
        emit grid->itemActivated(grid->item(0, 0));
        QTest::qWait(200);
        return window->grab().save(arguments.at(1)) ? 0 : 1;
    }
    out << "port: " << window->phones()->port() << Qt::endl;
    const QString stop = arguments.at(1);
    const QString next = stop + QStringLiteral(".next");
    const auto skipWhenAsked = [&window, &next]() {
        if (QFile::remove(next))
            window->skipSong();
        return false;
    };
    const bool stopped =
        QTest::qWaitFor([&stop, &skipWhenAsked]() { return skipWhenAsked() || QFile::exists(stop); }, 120000);
    if (!stopped)
        out << "stopped after two minutes" << Qt::endl;
    for (const QString& line :
         vimotest::numberedPlaylistLines(vimotest::readTextFile(window->queue()->playlistPath())))
        out << "playlist: " << line << Qt::endl;
    return 0;
}

} // namespace

VIMO_TEST_MAIN_WITH_CHILD(PhonesTest, serveParty)
#include "tst_phones.moc"
