// Audio capture and the end of a recording. Windows build only.
#pragma once

namespace tolvek {

// Stops the running capture, drops too-short or silent recordings, hands the rest on.
void finish_recording();
// Takes the capture out of the application state and stops it, if one runs.
void stop_running_capture();

}  // namespace tolvek
