#pragma once

#include <QtGlobal>

// The mail layer's calls for progress, stopping and per-message refusals,
// gathered here for the mail check.
namespace receive::layer {

// Octets received on the session so far, or a negative code.
[[nodiscard]] qint64 receivedBytes(int handle);
// Cuts every waiting layer call short.
void cancelWaits();
// Whether user input reaches the program while the layer waits.
void letUserInputThrough(bool through);
// The server refused this one message; the session goes on.
[[nodiscard]] bool isMessageRefused(int code);
// The call was cut short by cancelWaits().
[[nodiscard]] bool isCancelled(int code);

} // namespace receive::layer
