#pragma once
// The launcher's list of cameras: every capture driver found at indices 0 to
// 9, by name, in the combo box's own (sorted) order, with the first entry
// selected; nothing selected when none is found. Names land at their sorted
// places, so the driver index of each entry is kept beside the list: the
// entry chosen is the driver connected, whatever indices the drivers have.

#include <vector>

#include "platform/ListControl.h"

// The driver index of each entry, by position.
std::vector<int> FillCaptureDriverList(IListControl& cb);

// The driver index of the entry at nPosition; -1 for none (LB_ERR included).
int CaptureDriverAt(const std::vector<int>& drivers, int nPosition);
