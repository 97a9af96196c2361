// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/About.h"

#include "base/appidentity.h"
#include "base/libraryversions.h"
#include "base/runlog.h"
#include "base/version.h"
#include "desktop/highdpi.h"
#include "ui_about.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPixmap>
#include <QRect>
#include <QVBoxLayout>

namespace {
const QString webSite = QStringLiteral("https://vimo.talvoren.example");
const QString webDomain = QStringLiteral("vimo.talvoren.example");
const QString mailAddress = QStringLiteral("vimo@talvoren.example");
const QString author = QStringLiteral("The Vimo developers");

// Where the notices of the main window point ("see the log").
QString logLine()
{
    const QString path = logFilePath();
    if (path.isEmpty())
        return QString();
    return About::tr("Log of this party:") + QLatin1Char(' ') +
           QStringLiteral("<a href=\"%1\">%2</a><br><br>")
               .arg(QUrl::fromLocalFile(path).toString().toHtmlEscaped(),
                    QDir::toNativeSeparators(path).toHtmlEscaped());
}

} // namespace

About::About(QObject* quitReceiver)
    : QDialog(nullptr, Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::AboutDialog>()), mainWindow(quitReceiver)
{
    initVimoResources();
    ui->setupUi(this);
    // Every link leaves the party for another program: the window decides (in kiosk mode, the host).
    const auto linksOnly = [this](QLabel* label) {
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        label->setOpenExternalLinks(false);
        connect(label, &QLabel::linkActivated, this,
                [this](const QString& link) { emit linkWanted(QUrl(link)); });
    };
    QPixmap logo;
    if (logo.load(QStringLiteral(":/new/prefix1/logo310.png"), "PNG"))
        ui->label_0_logo->setPixmap(logo);

    ui->label_1_version->setText(QStringLiteral("Vimo ") + programVersionText() + QLatin1Char('\n') +
                                 tr("Release date:") + QLatin1Char(' ') + releaseDateText() +
                                 QLatin1Char('\n') + tr("Free edition") + QLatin1Char('\n') + tr("Author: ") +
                                 author + QLatin1Char('\n'));

    linksOnly(ui->label_2_contact_web);
    ui->label_2_contact_web->setText(tr("Web site:") +
                                     QStringLiteral(" <a href=\"%1\">%2</a>").arg(webSite, webDomain));

    linksOnly(ui->label_3_contact_mail);
    ui->label_3_contact_mail->setText(
        QStringLiteral("E-mail: <a href=\"mailto:%1\">%1</a>").arg(mailAddress));

    linksOnly(ui->label_4_manual);
    ui->label_4_manual->setText(QStringLiteral("Vimo ") + tr("manual:") + QLatin1Char(' ') +
                                QStringLiteral("<a href=\"%1\">%2</a>")
                                    .arg(QUrl::fromLocalFile(manualPath()).toString(), tr("here")) +
                                QStringLiteral(" (") + tr("press F1 in the main window") +
                                QStringLiteral(")<br><br>") + logLine());

    auto* partyModeLine = new QLabel(this);
    partyModeLine->setObjectName(QStringLiteral("label_6_party_mode"));
    partyModeLine->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    partyModeLine->setText(tr("Party mode:") + QStringLiteral(" <a href=\"#party-mode\">") + tr("choose") +
                           QStringLiteral("</a> (") + tr("press Ctrl+M in the main window") +
                           QStringLiteral(")<br><br>"));
    connect(partyModeLine, &QLabel::linkActivated, this, &About::partyModeWanted);
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->label_4_manual) + 1, partyModeLine);

    linksOnly(ui->label_5_acknowledge);
    QString acknowledgements = tr("Acknowledgements:");
    for (const LibraryVersion& library : linkedLibraries()) {
        acknowledgements += QStringLiteral("<br>") + library.name + QLatin1Char(' ') + library.version;
        if (library.name == QLatin1String("OpenCV"))
            acknowledgements += QLatin1Char(' ') + tr("for webcam support");
        acknowledgements += QStringLiteral("  -  <a href=\"%1\">%1</a>").arg(library.site);
    }
    ui->label_5_acknowledge->setText(acknowledgements + QStringLiteral("<br>"));

    adjustSize();
    show();
    connect(ui->okButton, SIGNAL(clicked()), this, SLOT(closeIt()));
    if (mainWindow)
        connect(ui->quitButton, SIGNAL(clicked()), mainWindow, SLOT(shutdown()));
}

About::~About() = default;

void About::closeIt()
{
    close();
}

void About::reject()
{
    close();
}

void About::closeEvent(QCloseEvent* event)
{
    emit accepted();
    event->accept();
}

QPoint aboutBoxPosition(const QRect& window, const QRect& keepFree, const QSize& box, const QRect& screen)
{
    const auto inside = [&](QPoint corner) {
        if (screen.isEmpty())
            return corner;
        corner.setX(qMax(screen.left(), qMin(corner.x(), screen.right() + 1 - box.width())));
        corner.setY(qMax(screen.top(), qMin(corner.y(), screen.bottom() + 1 - box.height())));
        return corner;
    };
    const QPoint centred(window.center().x() - box.width() / 2, window.center().y() - box.height() / 2);
    const QPoint candidates[] = {centred, QPoint(keepFree.right() + 1, centred.y()),
                                 QPoint(centred.x(), keepFree.bottom() + 1),
                                 QPoint(keepFree.right() + 1, keepFree.bottom() + 1)};
    for (const QPoint& candidate : candidates) {
        const QPoint corner = inside(candidate);
        if (!QRect(corner, box).intersects(keepFree))
            return corner;
    }
    // A screen too small for both: the button stays free, the box may reach past the screen's edge.
    return QPoint(keepFree.right() + 1, inside(centred).y());
}

void placeAboutBox(QWidget* box, const QRect& window, const QRect& keepFree, const QRect& screen)
{
    const auto area = [](const QRect& rect) { return qint64(rect.width()) * rect.height(); };
    const auto placed = [&]() {
        return QRect(aboutBoxPosition(window, keepFree, box->frameGeometry().size(), screen),
                     box->frameGeometry().size());
    };
    if (!screen.isEmpty() && (!screen.contains(placed()) || placed().intersects(keepFree))) {
        // A screen too small for both: the box narrows into the largest part of the screen beside the
        // button, unless that leaves it too little room; then it covers the button and closes by its own.
        const QRect sides[] = {QRect(QPoint(keepFree.right() + 1, screen.top()), screen.bottomRight()),
                               QRect(QPoint(screen.left(), keepFree.bottom() + 1), screen.bottomRight()),
                               QRect(screen.topLeft(), QPoint(keepFree.left() - 1, screen.bottom())),
                               QRect(screen.topLeft(), QPoint(screen.right(), keepFree.top() - 1))};
        const QRect* largest = &sides[0];
        for (const QRect& side : sides)
            if (area(side) > area(*largest))
                largest = &side;
        if (2 * area(*largest) >= area(screen))
            fitDialogInto(box, *largest);
    }
    box->move(fittedFrame(placed(), screen).topLeft());
}

QString releaseDateText(const QString& buildDate)
{
    static const QStringList months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int year = buildDate.mid(7).trimmed().toInt();
    const int day = buildDate.mid(4, 2).trimmed().toInt();
    const int month = months.indexOf(buildDate.left(3)) + 1;
    const QDate date(year < 2000 ? year + 2000 : year, month, day);
    if (!date.isValid())
        return QString();
    return QLocale().toString(date, QLocale::LongFormat);
}

QString releaseDateText()
{
    return releaseDateText(QStringLiteral(__DATE__));
}

QString manualFileName()
{
    return QCoreApplication::translate("MainWindow", "manual_free_edition.html");
}

QString manualPath()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString besideProgram = programFolder + QLatin1Char('/') + manualFileName();
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    // An installed program lives in <prefix>/bin and its manual in <prefix>/share/doc/vimo.
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/../share/doc/vimo/") + manualFileName());
    if (QFileInfo::exists(installed))
        return installed;
    return besideProgram;
}
