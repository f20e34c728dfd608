// SPDX-License-Identifier: MIT
#pragma once

// The two ways quorvan-cli speaks: results on standard output, messages ("quorvan-cli: "
// in front) on standard error.

#include <QString>

void printOut(const QString &text);
void printError(const QString &message);
