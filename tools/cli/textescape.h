#pragma once

// Board texts (port, version) are raw bytes up to their first NUL. The command line shows
// them the way the board simulator takes them: printable ASCII as it is, a backslash as
// "\\", and any other byte as "\xHH", so that no output format can be broken by a byte.

#include <QString>

#include <string>

QString escapedText(const std::string &bytes);
