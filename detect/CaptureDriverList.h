#pragma once
// The launcher's list of cameras: every capture driver found at indices 0 to
// 9, by name, in the combo box's own (sorted) order, with the first entry
// selected; nothing selected when none is found. The entry's position, not
// its driver index, is what the detection window later connects.

#include "platform/ListControl.h"

void FillCaptureDriverList(IListControl& cb);
