// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/highdpi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QRect>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace {

// A layout of buttons (and the space between them) only: the row that ends a dialog.
bool isButtonRow(QLayout* layout)
{
    bool buttons = false;
    for (int at = 0; at < layout->count(); ++at) {
        QLayoutItem* item = layout->itemAt(at);
        if (qobject_cast<QAbstractButton*>(item->widget()) != nullptr)
            buttons = true;
        else if (item->spacerItem() == nullptr)
            return false;
    }
    return buttons;
}

QLayout* takeButtonRow(QLayout* layout)
{
    for (int at = 0; at < layout->count(); ++at) {
        QLayout* inner = layout->itemAt(at)->layout();
        if (!inner)
            continue;
        if (isButtonRow(inner)) {
            layout->takeAt(at);
            inner->setParent(nullptr);
            return inner;
        }
        if (QLayout* row = takeButtonRow(inner))
            return row;
    }
    return nullptr;
}

// Too wide, a box first lets its texts wrap; still too large, its contents scroll, with the row of its
// buttons kept below them, always in reach.
void makeContentsFit(QWidget* dialog, const QSize& room)
{
    // Contents that scroll already shrink as far as the room asks.
    if (dialog->findChild<QScrollArea*>(QStringLiteral("fittedContents")))
        return;
    QLayout* contents = dialog->layout();
    if (dialog->width() > room.width()) {
        for (QLabel* label : dialog->findChildren<QLabel*>())
            label->setWordWrap(true);
        contents->activate();
        // Wrapped texts grow in height as the box narrows: the box is as tall as its width asks for.
        const int width = qMin(contents->totalSizeHint().width(), room.width());
        const int height = contents->hasHeightForWidth() ? contents->totalHeightForWidth(width)
                                                         : contents->totalSizeHint().height();
        dialog->setMinimumSize(dialog->minimumSize().boundedTo(QSize(width, height)));
        dialog->resize(width, height);
    }
    if (dialog->width() <= room.width() && dialog->height() <= room.height())
        return;
    const QSize wanted = dialog->size();
    QLayout* buttons = takeButtonRow(contents);
    auto* inner = new QWidget;
    inner->setLayout(contents); // takes the layout and its widgets over from the dialog
    auto* scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("fittedContents"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(inner);
    auto* outer = new QVBoxLayout(dialog);
    outer->addWidget(scroller);
    if (buttons)
        outer->addLayout(buttons);
    outer->activate();
    dialog->resize(wanted);
}

// Fits each dialog as it is shown: the same for the program's own boxes, the message and input boxes Qt
// makes and the folder dialog.
class DialogFitter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && qobject_cast<QDialog*>(widget))
                fitDialogToScreen(widget);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void enableHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Logos and photos are drawn from pixmaps at the screen's resolution, not blown up.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

QRect fittedFrame(const QRect& frame, const QRect& available)
{
    if (available.isEmpty())
        return frame;
    const QSize size = frame.size().boundedTo(available.size());
    QRect fitted(frame.topLeft(), size);
    fitted.moveLeft(qMax(available.left(), qMin(fitted.left(), available.right() + 1 - size.width())));
    fitted.moveTop(qMax(available.top(), qMin(fitted.top(), available.bottom() + 1 - size.height())));
    return fitted;
}

void fitDialogToScreen(QWidget* dialog)
{
    if (!dialog || !dialog->isWindow())
        return;
    QScreen* screen = QGuiApplication::screenAt(dialog->frameGeometry().center());
    if (!screen)
        screen = dialog->screen();
    if (screen)
        fitDialogInto(dialog, screen->availableGeometry());
}

void fitDialogInto(QWidget* dialog, const QRect& area)
{
    if (!dialog || !dialog->isWindow() || area.isEmpty())
        return;
    // The window manager's frame is known once the window was shown; before, the box alone must fit.
    const QMargins margins = dialog->windowHandle() ? dialog->windowHandle()->frameMargins() : QMargins();
    const QSize frameExtra(margins.left() + margins.right(), margins.top() + margins.bottom());
    const QSize room = area.size() - frameExtra;
    if (!dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
    if (dialog->layout() && !qobject_cast<QMessageBox*>(dialog) && !qobject_cast<QFileDialog*>(dialog))
        makeContentsFit(dialog, room);
    const QSize size = dialog->size().boundedTo(room);
    // Whatever is still too large gives up its smallest size: cut off at the screen's edge is better
    // than a button out of reach beyond it.
    if (dialog->minimumWidth() > size.width() || dialog->minimumHeight() > size.height())
        dialog->setMinimumSize(dialog->minimumSize().boundedTo(size));
    if (size != dialog->size())
        dialog->resize(size);
    const QRect fitted = fittedFrame(QRect(dialog->pos(), size + frameExtra), area);
    if (fitted.topLeft() != dialog->pos())
        dialog->move(fitted.topLeft()); // a window's pos() is its frame's corner
}

void fitEveryDialogToItsScreen()
{
    static DialogFitter* fitter = nullptr;
    if (fitter || !qApp)
        return;
    fitter = new DialogFitter(qApp);
    qApp->installEventFilter(fitter);
}
