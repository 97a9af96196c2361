// SPDX-License-Identifier: GPL-3.0-or-later
// Phone wishes through real HTTP requests against the server of a running window on 127.0.0.1: the page,
// the search, wishes and every refusal, the live queue, photos from a phone, hostile requests, and the
// host's key with its QR panel.
#include "camera/photocomment.h"
#include "library/Track.h"
#include "library/TrackLibrary.h"
#include "party/PlayQueue.h"
#include "phones/PhoneDesk.h"
#include "phones/PhonePanel.h"
#include "phones/PhoneServer.h"
#include "queuesupport.h"
#include "testsupport.h"
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
#include <QNetworkReply>
#include <QPixmap>
#include <QRegularExpression>
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
        // hold few, so a new guest is answered and a fourth of the holders' is refused.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int host = 6; host < 9; ++host)
            for (int n = 0; n < 4; ++n)
                held.push_back(connectFrom(host, at, "GET / HTTP/1.1\r\n"));
        QTest::qWait(300);
        QVERIFY(rawExchange(at, "GET /api/state HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
        std::unique_ptr<QTcpSocket> greedy = connectFrom(6, at, "GET / HTTP/1.1\r\n");
        QVERIFY(closedWithin(*greedy, 500));
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
// then prints the playlist's song lines. "--child picture FILE" saves a picture of that window instead,
// for the manual.
int serveParty(const QStringList& arguments)
{
    if (arguments.size() != 2 ||
        (arguments.first() != QLatin1String("serve") && arguments.first() != QLatin1String("picture")))
        return 2;
    QSettings settings(QStringLiteral("Talvoren"), QStringLiteral("Vimo"));
    settings.setValue(QStringLiteral("Phones/Enabled"), 1);
    settings.setValue(QStringLiteral("Phones/Port"), 0);
    settings.sync();
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
    if (!QTest::qWaitFor([&stop]() { return QFile::exists(stop); }, 120000))
        out << "stopped after two minutes" << Qt::endl;
    for (const QString& line :
         vimotest::numberedPlaylistLines(vimotest::readTextFile(window->queue()->playlistPath())))
        out << "playlist: " << line << Qt::endl;
    return 0;
}

} // namespace

VIMO_TEST_MAIN_WITH_CHILD(PhonesTest, serveParty)
#include "tst_phones.moc"
