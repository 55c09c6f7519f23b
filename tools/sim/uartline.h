#pragma once

#include <QByteArray>

// A serial line between two ends set to different baud rates, as far as a
// pseudo-terminal can be made to show it: the simulated device then looks
// like one at a rate the host did not choose.
namespace UartLine {

// What a receiver at readBaud makes of `sent` going out back to back at
// sentBaud, with 8 data bits, no parity and one stop bit, the line idle before
// and after. The receiver starts a character at each falling edge and samples
// each bit in its own middle; a character without its stop bit comes out as
// 0, as a terminal without parity marking delivers it. Equal rates give
// `sent` back.
QByteArray receive(const QByteArray &sent, int sentBaud, int readBaud);

// The output baud rate set on the terminal behind fd (either end of a
// pseudo-terminal); 0 when it cannot be told.
int baudRate(int fd);

} // namespace UartLine
