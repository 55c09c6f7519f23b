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

CounterText::CounterText(QLabel *label)
    : QObject(label)
    , m_label(label)
    , m_minimum(label->minimumSize())
    , m_maximum(label->maximumSize())
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
        const qreal width = widthOf(text);
        sameRoom = width == m_width;
        m_width = width;
    }
    m_label->setText(text);
    if (m_held && !sameRoom)
        release();
    else if (!m_held && sameRoom && m_label->isVisible()
             && m_label->width() == m_label->sizeHint().width())
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
    m_evenDigits = hasEvenDigits(QFontMetricsF(m_label->font(), m_label));
    m_width = widthOf(m_label->text());
}

bool CounterText::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
        measureFont();
        release();
        break;
    case QEvent::StyleChange:
    case QEvent::ContentsRectChange:
        release();
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
    if (!m_held)
        return;
    m_held = false;
    m_label->setMinimumSize(m_minimum);
    m_label->setMaximumSize(m_maximum);
}
