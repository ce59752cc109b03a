#pragma once
// What the detection window tells the other programs of an installation over
// OSC: its show's start and end, and every ranking of the grid.
//
//   /zarn/show/start  s i i f          clip path (a camera's name), frame width, height,
//                                      frames per second
//   /zarn/rank        i i i f i f i f  tick, frame, then cell and mean level of the
//                                      top, middle and bottom cell
//   /zarn/show/end                     the clip has run out, the camera has failed,
//                                      or the window closed first
//
// Ticks count the frame ticks that drew a frame, from 1; the frame is the one
// whose red channel was ranked: the clip's frame number, or a camera frame's
// place among all that arrived, from 0. Cells are numbered row x columns +
// column.

#include <cstdint>
#include <string>

#include "detect/CellScore.h"

class CShowWaveOsc {
public:
    void ShowStart(const std::string& strSource, int W, int H, double dFramesPerSec);
    // Every tick that drew a frame.
    void FrameDrawn() { ++m_nTick; }
    void Ranking(uint32_t nFrame, const CellScore cells[3], int nGridCols);
    // Once per started show; later calls say nothing.
    void ShowEnd();

private:
    uint32_t m_nTick = 0;
    bool m_bShowOn = false;
};
