#pragma once

#include <QImage>
#include <QObject>

class QWidget;

// Answers the paint events a container gets only for its children's sake
// from an image of its own drawing. A group box around readouts that change
// ten times a second would otherwise have its style draw the whole frame each
// time, for the few pixels around each readout.
//
// The image is the container's own painting alone (no background, no
// children) on a transparent image. Drawn over the same pixels, it blends to
// exactly what the container's painting would have: both put the same
// premultiplied colours over the same background. A paint that reaches beyond
// the children (a resize, a new title, an exposure) goes to the container
// itself, and the image is taken afresh afterwards, as after a change of
// style, palette, font or state.
class BackdropCache : public QObject
{
public:
    explicit BackdropCache(QWidget *container);

    bool isReady() const { return !m_stale; }
    int answered() const { return m_answered; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool coversOnlyChildren(const QRegion &region) const;
    void retake();

    QWidget *m_container;
    QImage m_image;
    bool m_stale = true;
    bool m_taking = false;
    bool m_retakePending = false;
    int m_answered = 0;
};
