#include "uartline.h"

#include <cmath>

#if defined(__linux__)
// termios2 tells any rate as a number; glibc's termios only the named ones.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace UartLine {

QByteArray receive(const QByteArray &sent, int sentBaud, int readBaud)
{
    if (sentBaud <= 0 || readBaud <= 0 || sentBaud == readBaud)
        return sent;
    const auto *bytes = reinterpret_cast<const unsigned char *>(sent.constData());
    const long bits = long(sent.size()) * 10;
    // Bit k of the line: start (0), eight data bits from the lowest, stop (1).
    const auto level = [bytes, bits](long k) {
        if (k < 0 || k >= bits)
            return 1;
        const long bit = k % 10;
        return bit == 0 ? 0 : bit == 9 ? 1 : (bytes[k / 10] >> (bit - 1)) & 1;
    };
    const double sentBit = 1.0 / sentBaud;
    const double readBit = 1.0 / readBaud;
    const auto at = [&](double t) {
        return level(long(std::floor(t / sentBit)));
    };

    QByteArray out;
    double t = 0;
    long k = 0;
    for (;;) {
        // The next fall from 1 to 0 at or after t; edges lie on the sender's bits.
        k = qMax(k, long(std::ceil(t / sentBit - 1e-9)));
        while (k < bits && !(level(k) == 0 && level(k - 1) == 1))
            ++k;
        if (k >= bits)
            break;
        const double edge = double(k) * sentBit;
        if (at(edge + 0.5 * readBit) != 0) {
            t = edge + 0.5 * readBit; // too short for a start bit
            continue;
        }
        int value = 0;
        for (int i = 0; i < 8; ++i)
            value |= at(edge + (1.5 + i) * readBit) << i;
        out.append(char(at(edge + 9.5 * readBit) ? value : 0));
        t = edge + 9.5 * readBit;
    }
    return out;
}

int baudRate(int fd)
{
#if defined(__linux__)
    struct termios2 settings
    {
    };
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    return int(settings.c_ospeed);
#else
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0)
        return 0;
    return int(::cfgetospeed(&settings)); // the rate itself on the BSDs and macOS
#endif
}

} // namespace UartLine
