#pragma once
// Show-window host: the full-screen, frameless, modeless windows of the shows.
//
// Callers rely on:
// - IShowWindows::Create makes the window (hidden), hands it to the handler's
//   OnAttach, then runs the handler's OnInitDialog before it returns. It
//   returns the window, or null when the window did not survive: OnInitDialog
//   may destroy it (its own result does not decide that).
// - The window is owned by the program's main window when one is installed
//   (it stays above it and ends with it); otherwise it stands alone.
// - The client area is backed by a surface the size of the client rectangle,
//   black at start; everything drawn through GetDC() lands on it and stays
//   until drawn over (a resize keeps what still fits, black elsewhere). The
//   screen shows the surface.
// - Timers by id: StartTimer(id) with the id of a running timer restarts it
//   with the new period; StopTimer ends it; all timers end with the window.
//   Each tick calls OnTimer(id) on the user-interface thread.
// - Mouse button downs and moves reach the handler in client coordinates.
// - The window bears the handler's accessible name and description, read
//   once when it is made.
// - Destroy() ends the timers, hides the window and then calls the handler's
//   PostNcDestroy, which may delete the handler. Nothing of the handler is
//   touched after that, and the IShowWindow pointer is invalid once Destroy
//   (or the owner's end) has run. A second Destroy cannot happen: the pointer
//   is gone.
// - A window destroyed along with its owner runs PostNcDestroy the same way.
// - CreateFrameView gives a child view for frames from another thread
//   (platform/FrameView.h), or null where the window cannot show them. Views
//   still standing end after the handler's PostNcDestroy.
// Used on the user-interface thread only.

#include <cstdint>
#include <functional>

#include "platform/AccessibleText.h"

class IDeviceContext;
class IFrameView;
class IShowWindow;

// Mouse button flags handed with mouse messages.
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_RBUTTON = 0x0002;

struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The program's side of a show window: what the window calls.
class IShowWindowHandler {
public:
    virtual ~IShowWindowHandler() = default;

    // The window being made, before OnInitDialog; valid until PostNcDestroy.
    virtual void OnAttach(IShowWindow* pWnd) = 0;
    // TRUE (1) when the handler set the window up, FALSE (0) when it gave up.
    virtual int OnInitDialog() = 0;
    virtual void OnTimer(uintptr_t nIDEvent) = 0;
    virtual void OnLButtonDown(unsigned /*nFlags*/, int /*x*/, int /*y*/) {}
    virtual void OnRButtonDown(unsigned /*nFlags*/, int /*x*/, int /*y*/) {}
    virtual void OnMouseMove(unsigned /*nFlags*/, int /*x*/, int /*y*/) {}
    // The last call the window makes; the handler may delete itself here.
    virtual void PostNcDestroy() {}
    // What a screen reader tells of the window.
    virtual AccessibleText Accessible() const { return {}; }
};

class IShowWindow {
public:
    virtual ~IShowWindow() = default;

    // Normal (restored) rectangle in screen coordinates; the client area is
    // the whole rectangle since the window has no frame.
    virtual WindowRect GetNormalRect() const = 0;
    virtual void SetNormalRect(const WindowRect& rect) = 0;

    virtual void Show(bool bShow) = 0;
    // Paints what changed on the screen at once.
    virtual void Update() = 0;

    virtual void StartTimer(uintptr_t nIDEvent, unsigned nElapse) = 0;
    virtual void StopTimer(uintptr_t nIDEvent) = 0;

    // Drawing surface of the client area; valid until Destroy.
    virtual IDeviceContext& GetDC() = 0;

    virtual void Destroy() = 0;

    // A view over the client rectangle at (x, y), w x h, owned by the window;
    // onWindowEnd runs when it ends with the window.
    virtual IFrameView* CreateFrameView(int /*x*/, int /*y*/, int /*w*/, int /*h*/,
                                        bool /*bVisible*/, std::function<void()> /*onWindowEnd*/) {
        return nullptr;
    }
};

class IShowWindows {
public:
    virtual ~IShowWindows() = default;
    // The window, or null when it could not be made or did not survive its
    // initialisation. After null the handler has had its PostNcDestroy call
    // either way (OnAttach and OnInitDialog are skipped when nothing was
    // made), so its owner never has to tell the two apart.
    virtual IShowWindow* Create(IShowWindowHandler& handler) = 0;
};

namespace platform {
// The process's show-window service; without one installed, every Create
// fails. Not owned.
IShowWindows& ShowWindows();
void SetShowWindows(IShowWindows* service);
}  // namespace platform
