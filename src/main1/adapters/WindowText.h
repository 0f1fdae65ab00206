// The window's words for a failure: the one place where the window turns a kvops::Error into
// what the technician reads on the status line, in a message box and as the reason a frame was
// not sent (kv480t's counterpart is kvops::describe, which this builds on).
#pragma once

#include <string>
#include <string_view>

#include "ops/Error.h"

enum class WindowPlace {
    StatusLine,  // a port that did not open: describe() with the port and a full stop; the
                 // line hung up: "The serial port PORT stopped working (...)..."
    MessageBox,  // a port that did not open: the serial component's message alone
    NotSent,     // why a frame was not sent (a closed port: kvpresenter::kNotSentStatus)
};

std::string windowText(const kvops::Error& error, std::string_view port, WindowPlace place);
