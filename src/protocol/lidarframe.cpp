#include "lidarframe.h"

namespace LidarFrame {

quint8 checksum(const char *data, qsizetype size)
{
    quint8 sum = 0;
    for (qsizetype i = 0; i < size; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum;
}

QByteArray build(quint8 command, const QByteArray &payload)
{
    if (payload.size() > 255)
        return QByteArray();
    QByteArray frame;
    frame.reserve(Overhead + payload.size());
    frame.append(char(Header1));
    frame.append(char(Header2));
    frame.append(char(command));
    frame.append(char(payload.size()));
    frame.append(payload);
    frame.append(char(checksum(frame)));
    return frame;
}

} // namespace LidarFrame
