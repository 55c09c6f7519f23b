#include "reviewactions.h"

#include <QAction>
#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ReviewActions", text);
}

QAction *makeAction(QObject *owner, const char *name, const QString &text,
                    const QList<QKeySequence> &keys, bool checkable)
{
    auto *action = new QAction(text, owner);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    // Anywhere in the window, not only while the chart has the focus.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(checkable);
    return action;
}

} // namespace

ReviewActions::ReviewActions(QObject *owner)
    : record(makeAction(owner, "actionRecord", tr("&Record to CSV…"),
                        { QKeySequence(Qt::CTRL | Qt::Key_R) }, true))
    , freeze(makeAction(owner, "actionFreeze", tr("&Freeze"),
                        { QKeySequence(Qt::Key_F9), QKeySequence(Qt::Key_Pause) }, true))
    , clear(makeAction(owner, "actionClear", tr("C&lear"), { QKeySequence(Qt::CTRL | Qt::Key_L) },
                       false))
    , saveSamples(makeAction(owner, "actionSaveSamples", tr("&Save Samples…"),
                             { QKeySequence(Qt::CTRL | Qt::Key_S) }, false))
    , copyStatistics(makeAction(owner, "actionCopyStatistics", tr("&Copy Statistics"),
                                { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C) }, false))
    , fixedRanges(makeAction(owner, "actionFixedRanges", tr("Fi&xed Ranges"),
                             { QKeySequence(Qt::CTRL | Qt::Key_F) }, true))
    , showScale(makeAction(owner, "actionShowScale", tr("Scale &Values"),
                           { QKeySequence(Qt::CTRL | Qt::Key_T) }, true))
{
    auto separator = [owner] {
        auto *s = new QAction(owner);
        s->setSeparator(true);
        return s;
    };
    menu = { record,      separator(),    freeze,      clear,       separator(),
             saveSamples, copyStatistics, separator(), fixedRanges, showScale };
}
