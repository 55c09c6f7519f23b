#include "screentext.h"

#include "csvrecorder.h"

namespace ScreenText {

QByteArray samplesCsv(const ChannelModel &model, const QStringList &names)
{
    constexpr int Channels = ChannelModel::PlottedChannels;
    QStringList header { QStringLiteral("sample") };
    for (int c = 0; c < Channels; ++c)
        header.append(names.value(c));
    QByteArray out = Csv::row(header);

    int rows = 0;
    for (const ChannelSeries &s : model.series)
        rows = qMax(rows, s.size());
    QStringList fields;
    for (int k = 0; k < rows; ++k) {
        fields.clear();
        fields.append(QString::number(k));
        for (const ChannelSeries &s : model.series) {
            const int i = k - (rows - s.size());
            // Nine significant figures read back as the very same float.
            fields.append(i >= 0 ? QString::number(double(s.at(i)), 'g', 9) : QString());
        }
        out += Csv::row(fields);
    }
    return out;
}

QString statistics(const QStringList &names, const QStringList &values)
{
    QString text;
    for (int k = 0; k < names.size(); ++k) {
        QString name = names.at(k);
        for (QChar &c : name)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                c = QLatin1Char(' ');
        text += name + QLatin1Char('\t') + values.value(k) + QLatin1Char('\n');
    }
    return text;
}

} // namespace ScreenText
