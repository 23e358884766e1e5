#pragma once
// The program's texts are single-byte ANSI (what the libraries and pb.ini hold); Qt
// shows Unicode. These two convert between them for display and for what the user types.

#include <QString>

#include <string>
#include <string_view>

namespace ui {

// Bytes of the ANSI code page in use (platform/CodePage.h) to a Qt string and back
// (characters outside the code page become '?').
QString FromAnsi(std::string_view text);
std::string ToAnsi(const QString& text);

}  // namespace ui
