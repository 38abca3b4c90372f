#pragma once

#include <QByteArray>
#include <QString>

// Everything the simulator prints goes through here: one line at a time, flushed at once,
// so that a parent process reading the pipe sees "PTY ..." and "UDP ..." immediately.
namespace Console {

void line(const QString &text);
void error(const QString &text);
QString hex(const QByteArray &bytes);

} // namespace Console
