#pragma once
// A child area of a show window that shows frames handed over from another
// thread: how a capture service puts its preview on the screen.
//
// Callers rely on:
// - Present(pBits, w, h) may be called from any one thread at a time. It
//   copies a packed bottom-up 24-bit blue-green-red frame (h rows of exactly
//   w x 3 bytes) and returns without waiting for the screen. The
//   user-interface thread later paints the latest frame presented, unscaled
//   at the view's top-left; what the frame does not cover is black, what lies
//   outside the view is cut. Frames presented faster than they are painted
//   replace each other. The last one stays until another comes.
// - Destroy() ends the view at once, on the user-interface thread; no
//   Present may be running or follow. The end callback given at creation is
//   not called then.
// - A view still standing when its window ends calls its end callback first,
//   on the user-interface thread. The view is gone once the callback returns,
//   so the callback stops every Present before it returns.

#include <cstdint>

class IFrameView {
public:
    virtual void Present(const uint8_t* pBits, int nWidth, int nHeight) = 0;
    virtual void Destroy() = 0;

protected:
    ~IFrameView() = default;
};
