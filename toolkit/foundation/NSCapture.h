// Screen capture into the program's capture folder.
#pragma once

namespace NSUI {

// Captures the rectangle (window pixels, origin bottom-left; 0, 0, 0, 0 for
// the whole window) after the next frame into a JPEG file in
// <writable path>kq/tmp/capture/, named "<seconds since 1970>.jpg", or
// "<seconds>-1.jpg", "<seconds>-2.jpg", ... when that name exists or a
// capture still being written holds it, so that no capture replaces
// another. On success NOTIFY_CAPTURE_SAVED (1004) is posted with the file's
// path as text: no sender, broadcast, serial kind. A failure posts nothing.
// UI thread.
void captureScreen(int x, int y, int width, int height);

}  // namespace NSUI
