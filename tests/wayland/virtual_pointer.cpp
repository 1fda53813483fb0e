// A pointer for tests under a wlroots compositor, through its virtual pointer protocol: moves
// to absolute points of the output and presses buttons, in the order given, then goes away.
//
//   kibchat-vpointer WIDTH HEIGHT STEP...
//   STEP: move X Y | press | release | wait MS
//
// The seat has a pointer only while a virtual one exists, so a client sees the pointer enter
// with the first move of each run.

#include "virtual-pointer-v1-client.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kLeftButton = 0x110; // BTN_LEFT

zwlr_virtual_pointer_manager_v1* manager = nullptr;
wl_seat* seat = nullptr;

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}

uint32_t nowMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int usage() {
    std::fprintf(stderr,
                 "usage: kibchat-vpointer WIDTH HEIGHT (move X Y|press|release|wait MS)...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return usage();
    const uint32_t width = static_cast<uint32_t>(std::atoi(argv[1]));
    const uint32_t height = static_cast<uint32_t>(std::atoi(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "kibchat-vpointer: no Wayland compositor\n");
        return 1;
    }
    static const wl_registry_listener listener = {&onGlobal, &onGlobalRemove};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "kibchat-vpointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    // The new device must reach the seat, and the seat's clients their pointer, first.
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (int i = 3; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "move" && i + 2 < argc) {
            const auto x = static_cast<uint32_t>(std::atoi(argv[++i]));
            const auto y = static_cast<uint32_t>(std::atoi(argv[++i]));
            zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), x, y, width, height);
        } else if (step == "press" || step == "release") {
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), kLeftButton,
                                           step == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                           : WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (step == "wait" && i + 1 < argc) {
            wl_display_roundtrip(display);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[++i])));
            continue;
        } else {
            return usage();
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
