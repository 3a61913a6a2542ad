#pragma once

// The coil controller's device name, matched exactly and case-sensitively.
inline constexpr const char* kControllerName = "Quillarc USB Controller";

// The index of the first output device whose portName() is exactly
// kControllerName, or -1 when there is none. Uses a short-lived output object,
// so it ends the process like any first object when there is no device at all.
int findController();
