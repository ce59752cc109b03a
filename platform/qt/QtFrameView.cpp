#include "platform/qt/QtFrameView.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

QtFrameView::QtFrameView(QWidget* pParent, const QRect& rect, std::function<void()> onWindowEnd)
    : QWidget(pParent), m_onWindowEnd(std::move(onWindowEnd)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Clicks belong to the show window underneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(rect);
}

QtFrameView::~QtFrameView() {
    // Ending with the window: whoever presents must stop before we go.
    if (m_onWindowEnd) std::exchange(m_onWindowEnd, nullptr)();
}

void QtFrameView::Destroy() {
    m_onWindowEnd = nullptr;
    delete this;
}

void QtFrameView::Present(const uint8_t* pBits, int nWidth, int nHeight) {
    if (nWidth <= 0 || nHeight <= 0) return;
    // Converted here, off the user-interface thread, so painting is a copy.
    if (m_back.width() != nWidth || m_back.height() != nHeight)
        m_back = QImage(nWidth, nHeight, QImage::Format_RGB32);
    if (m_back.isNull()) return;
    const size_t nRowBytes = static_cast<size_t>(nWidth) * 3;
    for (int y = 0; y < nHeight; ++y) {
        const uint8_t* pSrc = pBits + static_cast<size_t>(nHeight - 1 - y) * nRowBytes;
        auto* pDst = reinterpret_cast<uint32_t*>(m_back.scanLine(y));
        for (int x = 0; x < nWidth; ++x, pSrc += 3)
            pDst[x] = 0xFF000000u | uint32_t{pSrc[2]} << 16 | uint32_t{pSrc[1]} << 8 | pSrc[0];
    }

    bool bPost = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_front.swap(m_back);
        bPost = !std::exchange(m_bPaintPosted, true);
    }
    if (bPost) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_bPaintPosted = false;
                }
                update();
            },
            Qt::QueuedConnection);
    }
}

void QtFrameView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_front.width() < width() || m_front.height() < height())
        painter.fillRect(event->rect(), Qt::black);
    if (!m_front.isNull()) painter.drawImage(0, 0, m_front);
}
