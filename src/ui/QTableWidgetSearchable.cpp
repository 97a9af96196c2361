// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QTableWidgetSearchable.h"

QTableWidgetSearchable::QTableWidgetSearchable(QWidget* parentWindow)
    : QTableWidget(parentWindow), ownerWindow(parentWindow)
{}

QTableWidgetSearchable::~QTableWidgetSearchable() = default;

void QTableWidgetSearchable::keyPressEvent(QKeyEvent* event)
{
    QAbstractItemView::keyPressEvent(event);
}
