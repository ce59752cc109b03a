#pragma once
// A frame view on Qt: a child widget that paints the latest frame handed
// over from a capture thread.

#include <QImage>
#include <QWidget>
#include <functional>
#include <mutex>

#include "platform/FrameView.h"

class QtFrameView final : public QWidget, public IFrameView {
    Q_OBJECT

public:
    QtFrameView(QWidget* pParent, const QRect& rect, std::function<void()> onWindowEnd);
    ~QtFrameView() override;

    void Present(const uint8_t* pBits, int nWidth, int nHeight) override;
    void Destroy() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> m_onWindowEnd;

    // The presenting thread's only.
    QImage m_back;

    // Guarded by m_mutex.
    std::mutex m_mutex;
    QImage m_front;
    bool m_bPaintPosted = false;
};
