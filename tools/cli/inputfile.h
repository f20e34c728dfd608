// SPDX-License-Identifier: MIT
#pragma once

// The file that apply reads, or standard input for "-". A list of boards is small, so
// whatever is larger than the limit is refused without reading on: a regular file by its
// size, a stream after limit + 1 bytes. A terminal is refused (nobody types a CSV file), and
// so is standard input that the command was started without. A named pipe that no program
// writes into within a moment is told as such instead of waiting for ever.

#include <QByteArray>
#include <QString>

bool readInputFile(const QString &path, int maxSize, QByteArray &bytes, QString &error);
