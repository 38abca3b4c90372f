#pragma once

// The RadioInfo format's own documentation example, with the fields tests vary, as a
// contest logger broadcasts it for one radio.

#include <QByteArray>

namespace RadioInfoDatagram {

inline QByteArray example(const QByteArray &radio = "1", const QByteArray &freq = "<Freq>352211</Freq>",
                          const QByteArray &transmitting = "False", const QByteArray &station = "CW-80m")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><RadioInfo><app>N1MM</app><StationName>" + station
        + "</StationName><RadioNr>" + radio + "</RadioNr>" + freq
        + "<TXFreq>352211</TXFreq><Mode>CW</Mode><mycall>W1ABC</mycall><OpCall>W1ABC</OpCall>"
          "<IsRunning>False</IsRunning><FocusEntry>204626</FocusEntry><EntryWindowHwnd>275678</EntryWindowHwnd>"
          "<Antenna>8</Antenna><Rotors></Rotors><FocusRadioNr>1</FocusRadioNr><IsStereo>False</IsStereo>"
          "<IsSplit>False</IsSplit><ActiveRadioNr>1</ActiveRadioNr><IsTransmitting>"
        + transmitting
        + "</IsTransmitting><FunctionKeyCaption></FunctionKeyCaption><RadioName></RadioName>"
          "<AuxAntSelected>-1</AuxAntSelected><AuxAntSelectedName></AuxAntSelectedName><IsConnected></IsConnected>"
          "</RadioInfo>";
}

// A datagram (the example unless given) padded with an unknown element to exactly `size` bytes.
inline QByteArray padded(int size, QByteArray padding = example())
{
    const QByteArray head = "<Pad>", tail = "</Pad>";
    padding.insert(padding.indexOf("<Mode>"),
                   head + QByteArray(size - padding.size() - head.size() - tail.size(), 'x') + tail);
    return padding;
}

} // namespace RadioInfoDatagram
