#pragma once

// Marks the platform library's public interface. Everything else in the
// library stays hidden (-fvisibility=hidden), so a host and a loaded component
// share exactly these symbols and one copy of the platform's state.
#define PLATFORM_EXPORT __attribute__((visibility("default")))
