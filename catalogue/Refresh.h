#pragma once
// Change detection and refresh: libraries whose file date-time changed are read again
// and merged entry by entry into the catalogue (TPBLib::Refresh, TOrcaMgr::DetectChanges,
// TOrcaMgr::RefreshAll, Refresh.cpp). Here are the handlers of the settings holder's two
// timers and the frame's Refresh command.
//
// The timers run unattended (TUnattendedScope): nothing they reach opens a message box.

#include <functional>

namespace catalogue {

// DetectTimer: marks what changed; arms AutoRefreshTimer when a change waits and
// automatic refresh is chosen.
void DetectTimerTimer();
// AutoRefreshTimer: refreshes everything with both timers stopped.
void AutoRefreshTimerTimer();
// The frame's Refresh command: refreshes the catalogue, then refreshViews (the open
// application views' trees, in screen order), under the hourglass.
void RefreshOrca(const std::function<void()>& refreshViews);

}  // namespace catalogue
