// The message-box answerer under the name some tests use; bench::MessageBoxHook
// reads every box only once it has settled.
#pragma once
#include "WineBench.h"

namespace bench {
using SettledMessageBoxHook = MessageBoxHook;
} // namespace bench
