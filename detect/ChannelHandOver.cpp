#include "detect/ChannelHandOver.h"

#include <new>
#include <utility>

bool CChannelHandOver::Allocate(int W, int H) {
    if (W <= 0 || H <= 0) return false;
    const size_t nPixels = static_cast<size_t>(W) * static_cast<size_t>(H);
    for (auto& buffer : m_buffers) {
        buffer.reset(new (std::nothrow) uint8_t[nPixels]());
        if (!buffer) return false;
    }
    m_nWidth = W;
    m_nHeight = H;
    m_pBack = m_buffers[0].get();
    m_pShared = m_buffers[1].get();
    m_pLatest = m_buffers[2].get();
    m_pPrevious = m_buffers[3].get();
    return true;
}

void CChannelHandOver::Publish(const uint8_t* pFrame, size_t nBytes) {
    const size_t nRowBytes = static_cast<size_t>(m_nWidth) * 3;
    if (!m_pBack || !pFrame || nBytes < nRowBytes * static_cast<size_t>(m_nHeight)) return;
    for (int y = 0; y < m_nHeight; ++y) {
        const uint8_t* pSrc = pFrame + static_cast<size_t>(m_nHeight - 1 - y) * nRowBytes + 2;
        uint8_t* pDst = m_pBack + static_cast<size_t>(y) * static_cast<size_t>(m_nWidth);
        for (int x = 0; x < m_nWidth; ++x, pSrc += 3) pDst[x] = *pSrc;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    std::swap(m_pBack, m_pShared);
    if (m_bFresh) ++m_nDropped;
    m_bFresh = true;
    ++m_nPublished;
}

bool CChannelHandOver::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bFresh) return false;
    uint8_t* pFree = m_pPrevious;
    m_pPrevious = m_pLatest;
    m_pLatest = m_pShared;
    m_pShared = pFree;
    m_bFresh = false;
    m_nLatestNumber = m_nPublished - 1;
    ++m_nTaken;
    return true;
}

uint64_t CChannelHandOver::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}
