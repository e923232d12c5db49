// Trace points of the plug-in core. They compile to nothing in this build but
// keep their arguments checked, so a tracing build can be switched on here.
#pragma once

namespace tessaro {

template <typename... Args>
inline void Trace(const char* /*function*/, int /*line*/, const char* /*format*/, Args&&... /*args*/) {}

}  // namespace tessaro

#define TESSARO_TRACE(...) ::tessaro::Trace(__func__, __LINE__, __VA_ARGS__)
