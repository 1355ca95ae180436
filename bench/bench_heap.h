// What every measuring program of the driver shares, with or without Google
// Benchmark: the heap it runs on and how its closing report writes a time.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "iface_control.h"

namespace bench {

// The host heap a benchmark runs on, for the life of the object: the
// stand-in's plain heap (a thin forward to malloc and free, as a host's
// allocator is) or its checking heap (registry, headers, guards). The mode
// changes only while no host block is live: see ok().
class HeapMode {
public:
    explicit HeapMode(bool plain) : ok_(IFaceStandin_SetPlainHeap(plain ? 1 : 0) == 0) {}
    ~HeapMode() { IFaceStandin_SetPlainHeap(0); }
    HeapMode(const HeapMode&) = delete;
    HeapMode& operator=(const HeapMode&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// "12.3 ms" style, for the closing report.
inline std::string FormatNs(double ns) {
    char text[64];
    if (std::isnan(ns)) {
        std::snprintf(text, sizeof text, "n/a");
    } else if (ns >= 1e9) {
        std::snprintf(text, sizeof text, "%.3f s", ns / 1e9);
    } else if (ns >= 1e6) {
        std::snprintf(text, sizeof text, "%.3f ms", ns / 1e6);
    } else if (ns >= 1e3) {
        std::snprintf(text, sizeof text, "%.3f us", ns / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.1f ns", ns);
    }
    return text;
}

}  // namespace bench
