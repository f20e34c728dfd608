// SPDX-License-Identifier: MIT
#pragma once

// How the window tells the verdicts on its writes. A board never acknowledges a write: the
// search that follows the wait for its restart is the only answer, and the search session
// judges it by the rule the command-line companion uses (searchsession.h, restartverdict.h).
// Every write gets its own box when that search ends, several escaped waits included: a
// board back as sent gets its row selected and a confirmation that blocks nothing and
// closes itself; any other result is told in a warning box with advice.

#include "searchsession.h"

class QTableWidget;
class QWidget;

namespace WriteCheck {

// The search ended with these verdicts (none, one, or one per write whose wait was over).
void show(QWidget *window, QTableWidget *table, const QVector<SearchSession::Verdict> &verdicts);

} // namespace WriteCheck
