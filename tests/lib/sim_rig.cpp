// libvandrel over simulated units, for the Python tests: the library's own
// objects, linked statically, with a few calls that plug and inspect units.
#include "device/sim/sim_platform.h"
#include "lib/c_api.h"
#include "vandrel/vandrel.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<device::sim::SimPlatform> g_platform;

}  // namespace

extern "C" {

// Every unit leaves; the library's calls go to a fresh simulated platform.
VANDREL_API void vandrel_rig_reset() {
    lib::usePlatform(nullptr);
    g_platform = std::make_unique<device::sim::SimPlatform>();
    lib::usePlatform(g_platform.get());
}

// A unit with this serial (Latin-1 bytes) and, when image is given, this
// feature report in the read layout.
VANDREL_API int32_t vandrel_rig_plug(const char* serial, const uint8_t* image, uint32_t length) {
    std::u16string text;
    for (const char* c = serial; *c; ++c) text += static_cast<char16_t>(static_cast<unsigned char>(*c));
    device::sim::DeviceConfig config = device::sim::unitConfig(text);
    if (image) config.featureImage.assign(image, image + length);
    return static_cast<int32_t>(g_platform->plug(std::move(config)));
}

VANDREL_API void vandrel_rig_unplug(int32_t id) { g_platform->unplug(id); }

// 0 answers, 1 stalls, 2 never answers, 3 leaves while answering.
VANDREL_API void vandrel_rig_answer(int32_t id, int32_t answer) {
    g_platform->config(id).featureAnswer = static_cast<device::sim::FeatureAnswer>(answer);
}

VANDREL_API uint32_t vandrel_rig_received_count(int32_t id) {
    return static_cast<uint32_t>(g_platform->received(id).size());
}

// Copies report `index` the unit received; returns its length.
VANDREL_API uint32_t vandrel_rig_received(int32_t id, uint32_t index, uint8_t* out, uint32_t capacity) {
    const auto& report = g_platform->received(id).at(index);
    std::memcpy(out, report.data(), std::min<std::size_t>(capacity, report.size()));
    return static_cast<uint32_t>(report.size());
}

VANDREL_API uint32_t vandrel_rig_open_handles() { return static_cast<uint32_t>(g_platform->openHandles()); }

}  // extern "C"
