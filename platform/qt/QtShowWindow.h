#pragma once
// A show window on Qt: a frameless top-level widget owned by the main window,
// backed by an image that all drawing lands on.

#include <QImage>
#include <QWidget>
#include <map>

#include "platform/ShowWindow.h"
#include "platform/qt/QtSurfaceContext.h"

class QtPreciseTimer;

class QtShowWindow final : public QWidget, public IShowWindow {
    Q_OBJECT

public:
    // origin: where the shows' (0, 0) lies in pOwner's coordinates when the
    // window is a child of pOwner, or on the desktop when it is a top-level
    // window that pOwner owns.
    QtShowWindow(IShowWindowHandler& handler, QWidget* pOwner, QPoint origin = {},
                 bool bChild = false);
    ~QtShowWindow() override;

    // Runs the handler's OnInitDialog; false when the window was destroyed
    // during it (and is deleted now).
    bool Initialise();

    WindowRect GetNormalRect() const override;
    void SetNormalRect(const WindowRect& rect) override;
    void Show(bool bShow) override;
    void Update() override;
    void StartTimer(uintptr_t nIDEvent, unsigned nElapse) override;
    void StopTimer(uintptr_t nIDEvent) override;
    IDeviceContext& GetDC() override;
    void Destroy() override;
    IFrameView* CreateFrameView(int x, int y, int w, int h, bool bVisible,
                                std::function<void()> onWindowEnd) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename Call>
    void Dispatch(Call call);
    void ResizeSurface(const QSize& size);
    void KillAllTimers();

    IShowWindowHandler* m_pHandler;
    const QPoint m_origin;
    QImage m_surface;
    QtSurfaceContext m_dc;
    std::map<uintptr_t, QtPreciseTimer*> m_timers;  // children, by the handler's id
    int m_nDepth = 0;                   // handler calls under way
    bool m_bDestroyed = false;
};
