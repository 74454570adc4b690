// The panel console: the board of every process that loads the platform
// serves its C API to other processes of the same user over a Unix socket,
// "<device root>/.board/console-<pid>.sock", in line-delimited JSON. The
// protocol is described in the README ("Testing an application from
// outside").
//
// The endpoint starts lazily, the first time the process opens a device,
// creates a window or shows a message box (or a test asks for the socket's
// path), in the device root of that moment; it runs on a thread of its own
// and removes its socket when the process exits. While ORLIK_CONSOLE is "off"
// (or "0") it does not start.
#pragma once

#include <string>

namespace orlik::board::console {

// Starts the endpoint once; cheap after the first call.
void Start();
// The socket's path, empty when the endpoint is not running.
std::string SocketPath();

}  // namespace orlik::board::console
