// SPDX-License-Identifier: GPL-3.0-or-later
#include "QTableWidgetSearchable.h"

QTableWidgetSearchable::QTableWidgetSearchable(QWidget* ownerWindow)
    : QTableWidget(ownerWindow), ownerWindow(ownerWindow)
{}

QTableWidgetSearchable::~QTableWidgetSearchable() = default;

void QTableWidgetSearchable::keyPressEvent(QKeyEvent* event)
{
    QAbstractItemView::keyPressEvent(event);
}
