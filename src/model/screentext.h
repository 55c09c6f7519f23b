#pragma once

#include "channelmodel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What is on screen as text to save or paste elsewhere.
namespace ScreenText {

// The samples a ChannelModel holds for channels 0..4, as CSV: a header
//   sample,<name0>,<name1>,<name2>,<name3>,<name4>
// then one row per sample slot, oldest first, numbered from 0 as the chart
// places them. A series holding fewer samples than the others lines up with
// their newest ones and leaves its first cells empty.
QByteArray samplesCsv(const ChannelModel &model, const QStringList &names);

// "name<TAB>value" lines, one per pair. Tabs and line breaks in a name (a
// name from the settings file may hold them) become spaces, so each line
// still reads as two cells.
QString statistics(const QStringList &names, const QStringList &values);

} // namespace ScreenText
