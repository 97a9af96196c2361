#include "QTableWidgetSearchable.h"

QTableWidgetSearchable::QTableWidgetSearchable(QWidget* ownerWindow)
    : QTableWidget(ownerWindow), ownerWindow(ownerWindow)
{}

QTableWidgetSearchable::~QTableWidgetSearchable() = default;

void QTableWidgetSearchable::keyPressEvent(QKeyEvent* event)
{
    QAbstractItemView::keyPressEvent(event);
}
