#include "varlabel.h"

Varlabel::Varlabel(QWidget *parent, Qt::WindowFlags flags)
    : QLabel(parent, flags)
{
    setAutoFillBackground(true);
}

Varlabel::~Varlabel() = default;

void Varlabel::mousePressEvent(QMouseEvent *)
{
    // Deliberately not passed on: the label has no other use for a press.
    // A double click arrives as a press plus a double-click event, whose
    // default handling presses again, so it toggles twice.
    m_on = !m_on;
    emit clicked(m_on);
}
