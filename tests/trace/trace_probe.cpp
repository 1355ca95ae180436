// A client of the tracing library for the tests of its settings and
// failures: loads the tracer (and the stand-in server, to give it tags), and
// calls as a driver would.
//   trace_probe TRACER STANDIN once        one length query, a read of a
//                                          known and of an unknown tag
//   trace_probe TRACER STANDIN loop N      N rounds (0: until killed) of
//                                          reads, every 10th of an unknown
//                                          tag; after each failure prints
//                                          "failures K"
//   trace_probe TRACER - ordinal10         (Windows) calls ordinal 10
//   trace_probe TRACER STANDIN fork        (Linux) a round of "once", then a
//                                          fork while a second thread calls
//                                          on; a round in the child and one
//                                          in the parent, each printed
// STANDIN "-" loads no stand-in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define PROBE_CALL __cdecl
void* Open(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }
void* Find(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
#else
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#define PROBE_CALL
void* Open(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void* Find(void* library, const char* name) { return dlsym(library, name); }
#endif

using Length = int32_t(PROBE_CALL*)(void);
using ReadReal = double(PROBE_CALL*)(int32_t, const char*, uint32_t*, double*, int32_t*);
using SetReal = void(PROBE_CALL*)(int32_t, int32_t, const char*, double);
using SetText = void(PROBE_CALL*)(const char*);

template <typename Fn>
Fn Need(void* library, const char* name) {
    void* found = library != nullptr ? Find(library, name) : nullptr;
    if (found == nullptr) {
        std::fprintf(stderr, "trace_probe: %s not found\n", name);
        std::exit(3);
    }
    return reinterpret_cast<Fn>(found);
}

#if defined(_WIN32)
// Ordinal 10 of the fake real library: fastcall, two register arguments and
// one on the stack that the callee removes, so a thunk that moved the stack
// or a register would be seen at once.
using Ordinal10 = int32_t(__fastcall*)(int32_t, int32_t, int32_t);
#endif

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: trace_probe TRACER STANDIN once|loop N|ordinal10\n");
        return 2;
    }
    const std::string mode = argv[3];
    void* standin = std::strcmp(argv[2], "-") != 0 ? Open(argv[2]) : nullptr;
    if (standin != nullptr) {
        Need<SetText>(standin, "MrxStandin_SetInitString")("*AI*\nGOOD,-,1,0,100\n");
        Need<SetReal>(standin, "MrxStandin_SetDouble")(1, 1, "GOOD", 1.5);
    }
    void* tracer = Open(argv[1]);
    if (tracer == nullptr) {
        std::fprintf(stderr, "trace_probe: cannot load %s\n", argv[1]);
        return 3;
    }
#if defined(_WIN32)
    if (mode == "ordinal10") {
        const auto fn = reinterpret_cast<Ordinal10>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(tracer), MAKEINTRESOURCEA(10))));
        if (fn == nullptr) return 3;
        volatile int32_t guard = 0x1234;
        const int32_t got = fn(1, 2, 3);
        std::printf("ordinal10 %d guard %x\n", static_cast<int>(got), static_cast<unsigned>(guard));
        return 0;
    }
#endif
    const auto length = Need<Length>(tracer, "GetInitStringLength");
    const auto readAI = Need<ReadReal>(tracer, "ReadAI");
    uint32_t good = 0;
    uint32_t bad = 0;
    const auto round = [&](const char* who) {
        const int32_t n = length();
        double value = 0;
        int32_t goodStatus = -99;
        int32_t badStatus = -99;
        readAI(1, "GOOD", &good, &value, &goodStatus);
        readAI(1, "BAD", &bad, &value, &badStatus);
        std::printf("%slength %d good %d bad %d\n", who, static_cast<int>(n), static_cast<int>(goodStatus),
                    static_cast<int>(badStatus));
        std::fflush(stdout);
    };
    if (mode == "once") {
        round("");
        return 0;
    }
#if !defined(_WIN32)
    if (mode == "fork") {
        round("before: ");
        // The other thread is in the middle of its calls when the fork
        // comes, so the fork may well find the tracer's lock held.
        std::atomic<long> calls{0};
        std::atomic<bool> stop{false};
        std::thread busy([&] {
            uint32_t cell = 0;
            while (!stop.load() || calls.load() < 20000) {
                double value = 0;
                int32_t status = 0;
                readAI(1, "GOOD", &cell, &value, &status);
                calls.fetch_add(1);
            }
        });
        while (calls.load() < 1000) std::this_thread::yield();
        const pid_t child = fork();
        if (child == 0) {
            round("child: ");
            std::exit(0);  // the library's destructors run: its closing summary
        }
        round("parent: ");
        stop.store(true);
        busy.join();
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
    }
#endif
    if (mode == "loop" && argc == 5) {
        const long rounds = std::strtol(argv[4], nullptr, 10);
        const auto set = standin != nullptr ? Need<SetReal>(standin, "MrxStandin_SetDouble") : nullptr;
        long failures = 0;
        length();
        for (long i = 0; rounds == 0 || i < rounds; ++i) {
            double value = 0;
            int32_t status = 0;
            if (set != nullptr) set(1, 1, "GOOD", static_cast<double>(i));
            readAI(1, i % 10 == 9 ? "BAD" : "GOOD", i % 10 == 9 ? &bad : &good, &value, &status);
            if (status != 0) {
                std::printf("failures %ld\n", ++failures);
                std::fflush(stdout);
            }
        }
        return 0;
    }
    std::fprintf(stderr, "trace_probe: unknown mode %s\n", mode.c_str());
    return 2;
}
