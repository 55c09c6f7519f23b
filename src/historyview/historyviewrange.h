#pragma once

#include <QtGlobal>

// The span of time the History window shows, in microseconds of the run.
// Following, its right edge stays on the newest frame and its width is the
// one it had when following began (all that is held, if it began so); any
// zoom or pan by the user stops following. The span never grows beyond what
// is held, nor shrinks below MinWidthUs.
class HistoryViewRange
{
public:
    static constexpr qint64 MinWidthUs = 1000;

    qint64 t0Us() const { return m_t0; }
    qint64 t1Us() const { return m_t1; }
    bool isFollowing() const { return m_following; }

    // The frames held now span [firstUs, lastUs]. While following the view
    // moves with them; otherwise it is only kept inside them.
    void setHeld(qint64 firstUs, qint64 lastUs);
    // Everything held, and following the new frames.
    void showAll();
    // Follows at the current width.
    void follow();

    // The user's moves: each stops following.
    void zoom(qint64 anchorUs, double factor); // factor < 1 zooms in
    void pan(qint64 deltaUs);
    void show(qint64 t0Us, qint64 t1Us);

private:
    void clampInside();

    qint64 m_first = 0, m_last = 0;
    qint64 m_t0 = 0, m_t1 = 0;
    bool m_following = true;
    bool m_all = true; // following everything held, not a fixed width
};
