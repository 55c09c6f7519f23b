#include "countertext.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>

#include <algorithm>

namespace {

bool isDigits(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// True when every string of n digits is n times one advance wide: the ten
// digits share one advance and no pair of them is kerned. Most interface
// fonts have such tabular figures, and a count then needs no shaping.
bool hasEvenDigits(const QFontMetricsF &metrics)
{
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
    QString pairs;
    for (char a = '0'; a <= '9'; ++a) {
        if (metrics.horizontalAdvance(QLatin1Char(a)) != advance)
            return false;
        for (char b = '0'; b <= '9'; ++b)
            pairs.append(QLatin1Char(a)).append(QLatin1Char(b));
    }
    return metrics.horizontalAdvance(pairs) == pairs.size() * advance;
}

} // namespace

CounterText::CounterText(QLabel *label, int reservedDigits)
    : QObject(label)
    , m_label(label)
    , m_minimum(label->minimumSize())
    , m_maximum(label->maximumSize())
    , m_reservedDigits(reservedDigits)
{
    measureFont();
    label->installEventFilter(this);
}

void CounterText::setText(const QString &text)
{
    const QString shown = m_label->text();
    if (shown == text)
        return;
    bool sameRoom = true;
    if (!m_evenDigits || text.size() != shown.size() || !isDigits(text) || !isDigits(shown)) {
        const qreal width = qMax(widthOf(text), m_reservedAdvance);
        sameRoom = width == m_width;
        m_width = width;
    }
    m_label->setText(text);
    if (!sameRoom)
        release();
    else if (!m_held && m_label->isVisible()
             && m_label->width() == qMax(m_reservedWidth, m_label->sizeHint().width()))
        hold();
}

qreal CounterText::widthOf(const QString &text) const
{
    // The exact advance, before QLabel rounds it: the same advance gives the
    // same size hint. The hint itself cannot be asked: it grows to the
    // label's minimum size, which holding sets.
    return QFontMetricsF(m_label->font(), m_label).horizontalAdvance(text);
}

void CounterText::measureFont()
{
    const QFontMetricsF metrics(m_label->font(), m_label);
    m_evenDigits = hasEvenDigits(metrics);
    reserve();
    m_width = qMax(widthOf(m_label->text()), m_reservedAdvance);
}

void CounterText::reserve()
{
    if (m_reservedDigits <= 0)
        return;
    QChar widest = QLatin1Char('0');
    const QFontMetricsF metrics(m_label->font(), m_label);
    for (char c = '1'; c <= '9'; ++c)
        if (metrics.horizontalAdvance(QLatin1Char(c)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(c);
    const QString longest(m_reservedDigits, widest);
    m_reservedAdvance = widthOf(longest);
    // The label's own hint for that text, margins and all; it must not be
    // grown by a reservation made before.
    const QString shown = m_label->text();
    m_label->setMinimumSize(m_minimum);
    m_label->setText(longest);
    m_reservedWidth = m_label->sizeHint().width();
    m_label->setText(shown);
    fitMinimum();
}

void CounterText::fitMinimum()
{
    m_label->setMinimumSize(m_minimum);
    // A minimum set by hand stands in for the text's own: a text wider than
    // the room kept must raise it, or a row at its narrowest would cut it.
    if (m_reservedWidth > 0)
        m_label->setMinimumWidth(
            qMax(m_minimum.width(), qMax(m_reservedWidth, m_label->sizeHint().width())));
}

bool CounterText::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ContentsRectChange:
        // Each may change the room the digits take.
        release();
        measureFont();
        break;
    default:
        break;
    }
    return false;
}

void CounterText::hold()
{
    m_held = true;
    m_label->setFixedSize(m_label->size());
}

void CounterText::release()
{
    if (!m_held && m_reservedWidth == 0)
        return;
    m_held = false;
    m_label->setMaximumSize(m_maximum);
    fitMinimum();
}
