// Marks the one symbol the module file exports; everything else is hidden.
#pragma once

#if defined(_WIN32)
#define PX_EXPORT __declspec(dllexport)
#else
#define PX_EXPORT __attribute__((visibility("default")))
#endif
