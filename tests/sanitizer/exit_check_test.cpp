// Many threads hold dynamic TLS blocks of a loaded module while the process ends, so that the
// leak check at exit reads all of them: it must end the process with 0, not crash.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <latch>
#include <thread>

namespace {

// Enough blocks that some land where the runtime's guess at their layout goes wrong.
constexpr int Threads = 64;
// Outlives main: the threads are still there when the process ends.
std::latch ready(Threads);

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: exit_check_test <module>\n");
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto* touchBlock = reinterpret_cast<char* (*)()>(dlsym(module, "touchBlock"));
    if (touchBlock == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    for (int i = 0; i < Threads; ++i) {
        std::thread([touchBlock] {
            touchBlock();
            ready.count_down();
            // Alive, with its block, until the process ends.
            for (;;) {
                ::pause();
            }
        }).detach();
    }
    ready.wait();
    return 0;
}
