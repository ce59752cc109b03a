#pragma once
// Runs a call on the user-interface thread from any thread: queued into the
// Qt event loop, so it runs after the events already waiting. Without an
// application object the call is dropped.

#include <functional>

void QtPostToUiThread(std::function<void()> call);
