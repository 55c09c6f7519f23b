#pragma once

#include <QObject>
#include <QSize>

class QLabel;

// Puts a counter's text into a QLabel that sits in a layout, for a count that
// changes ten times a second. The label shows plain text on one line, and its
// margins, indent and alignment stay as they are.
//
// QLabel::setText() asks the window to be laid out again every time, even
// when the new text takes exactly the room of the old one, and laying out the
// whole window costs more than drawing the digits. So while a new text is
// exactly as wide as the one before, the label's size is held: a widget whose
// minimum and maximum sizes are equal does not disturb its layout, and a new
// text only repaints the label. A text of another width, or a new font or
// style, lets the layout size the label afresh, and a later text holds that.
//
// The size is held only when the layout gave the label its preferred width;
// in any other layout the label behaves as a plain QLabel.
//
// Given a number of digits, the label keeps room for a count that long from
// the start: a row with no room to spare would otherwise push the window
// wider with every digit the count gains. A longer text still gets its room,
// and gives it back when the count starts again.
class CounterText : public QObject
{
public:
    explicit CounterText(QLabel *label, int reservedDigits = 0);

    void setText(const QString &text);
    bool isHeld() const { return m_held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    qreal widthOf(const QString &text) const;
    void measureFont();
    void hold();
    void release();
    void reserve();
    void fitMinimum();

    QLabel *m_label;
    QSize m_minimum, m_maximum; // the label's own limits, restored on release
    int m_reservedDigits = 0;
    int m_reservedWidth = 0; // the label's width for that many digits
    qreal m_reservedAdvance = 0; // texts narrower than this take the same room
    qreal m_width = 0; // the advance of the text shown
    bool m_evenDigits = false; // digit strings of one length are equally wide
    bool m_held = false;
};
