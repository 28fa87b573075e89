#pragma once

namespace zor {

// Runtime context of the network library (devices, thread pools). Opaque to
// callers; a null pointer selects the library's defaults.
class ZORCtx;

}  // namespace zor
