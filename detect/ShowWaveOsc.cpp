#include "detect/ShowWaveOsc.h"

#include "platform/Osc.h"

void CShowWaveOsc::ShowStart(const std::string& strSource, int W, int H, double dFramesPerSec) {
    m_nTick = 0;
    m_bShowOn = true;
    IOsc& osc = platform::Osc();
    if (!osc.IsSending()) return;
    OscMessage msg("/zarn/show/start");
    msg.String(strSource).Int(W).Int(H).Float(static_cast<float>(dFramesPerSec));
    osc.Send(msg);
}

void CShowWaveOsc::Ranking(uint32_t nFrame, const CellScore cells[3], int nGridCols) {
    IOsc& osc = platform::Osc();
    if (!osc.IsSending()) return;
    OscMessage msg("/zarn/rank");
    msg.Int(static_cast<int32_t>(m_nTick)).Int(static_cast<int32_t>(nFrame));
    for (int i = 0; i < 3; ++i)
        msg.Int(cells[i].nRow * nGridCols + cells[i].nCol)
            .Float(static_cast<float>(cells[i].dMean));
    osc.Send(msg);
}

void CShowWaveOsc::ShowEnd() {
    if (!m_bShowOn) return;
    m_bShowOn = false;
    IOsc& osc = platform::Osc();
    if (osc.IsSending()) osc.Send(OscMessage("/zarn/show/end"));
}
