#include "KnownHeadsetUsb.h"

#include <algorithm>
#include <iterator>

namespace hlx::headsets {

namespace {

struct KnownDevice {
    HeadsetIds::Id id;
    KnownHeadsetUsb::Kind kind;
    const char *name;
};

constexpr auto headset = KnownHeadsetUsb::Kind::Headset;
constexpr auto accessory = KnownHeadsetUsb::Kind::Accessory;

// From the device names in xr-hardware's rules (Debian's xr-hardware 1.1.0), the Linux kernel's
// hid-ids.h and the device lists of the open drivers for these headsets (Monado, OpenHMD); the
// Vive Cosmos Elite from a public USB log of one.
constexpr KnownDevice knownDevices[] = {
    {{0x0bb4, 0x2c87}, headset, "HTC Vive"},
    {{0x28de, 0x2000}, headset, "HTC Vive"}, // its Lighthouse receiver
    {{0x0bb4, 0x0309}, headset, "HTC Vive Pro"},
    {{0x0bb4, 0x0342}, headset, "HTC Vive Pro 2"},
    {{0x0bb4, 0x0313}, headset, "HTC Vive Cosmos Elite"},
    {{0x28de, 0x2613}, headset, "Valve Index"},
    {{0x28de, 0x2101}, accessory, "Valve Watchman dongle"},
    {{0x28de, 0x2102}, accessory, "Valve VR radio"},
    // Valve's lighthouse receiver, in the Vive Pro and Index headsets (their hub and mainboard
    // count) as in wired controllers and trackers: alone it says no headset.
    {{0x28de, 0x2300}, accessory, "Valve lighthouse receiver"},
    {{0x28de, 0x2012}, accessory, "HTC Vive controller, wired"},
    {{0x2833, 0x0001}, headset, "Oculus Rift DK1"},
    {{0x2833, 0x0021}, headset, "Oculus Rift DK2"},
    {{0x2833, 0x2021}, headset, "Oculus Rift DK2"},
    {{0x2833, 0x0031}, headset, "Oculus Rift CV1"},
    {{0x2833, 0x0051}, headset, "Oculus Rift S"},
    {{0x2833, 0x0201}, accessory, "Oculus Rift DK2 tracking camera"},
    {{0x2833, 0x0211}, accessory, "Oculus Rift CV1 tracking camera"},
    {{0x0483, 0x0021}, headset, "Pimax 4K"},
    {{0x1532, 0x0b00}, headset, "OSVR HDK"},
    {{0x0bda, 0x57e8}, accessory, "OSVR HDK tracking camera"},
    {{0x1532, 0x0300}, accessory, "Razer Hydra controllers"},
    {{0x16d0, 0x0515}, headset, "Sensics zSight"},
    {{0x0483, 0x5750}, accessory, "NOLO CV1 tracking kit"},
    {{0x28e9, 0x028a}, accessory, "NOLO CV1 tracking kit"},
    {{0x28e9, 0x0302}, accessory, "NOLO CV1 Pro tracking kit"},
    {{0x04e8, 0xa500}, headset, "Samsung Gear VR"},
    {{0x2b1c, 0x0100}, headset, "3Glasses S1"},
    {{0x2b1c, 0x0101}, headset, "3Glasses D3"},
    {{0x2b1c, 0x0200}, headset, "3Glasses D3"},
    {{0x2b1c, 0x0201}, headset, "3Glasses headset"},
    {{0x2b1c, 0x0202}, headset, "3Glasses headset"},
    {{0x2b1c, 0x0203}, headset, "3Glasses D2"},
    {{0x054c, 0x09af}, headset, "Sony PlayStation VR"},
    {{0x054c, 0x03d5}, accessory, "Sony PlayStation Move controller"},
    {{0x054c, 0x0c5e}, accessory, "Sony PlayStation Move controller"},
    {{0x1004, 0x6374}, headset, "LG 360 VR"},
    {{0x045e, 0x0659}, headset, "Windows Mixed Reality headset"}, // its sensor device
    {{0x045e, 0x065b}, accessory, "Windows Mixed Reality motion controller"},
    {{0x04e8, 0x7312}, headset, "Samsung Odyssey+"}, // its sensors
    {{0x03f0, 0x0367}, headset, "HP VR1000"},
    {{0x03f0, 0x0c6a}, headset, "HP Reverb G1"},
    {{0x03f0, 0x0580}, headset, "HP Reverb G2"},
    {{0x17ef, 0xb801}, headset, "Lenovo Explorer"},
    {{0x04b4, 0x6504}, headset, "Lenovo Explorer"}, // its hub
    {{0x0408, 0xb5d5}, headset, "Medion Erazer X1000"},
    {{0x1209, 0x9d0f}, headset, "Vis3r NxtVR"},
};

} // namespace

namespace {

const KnownDevice *known(HeadsetIds::Id id) {
    const auto found = std::find_if(std::begin(knownDevices), std::end(knownDevices),
                                    [id](const KnownDevice &device) { return device.id == id; });
    return found == std::end(knownDevices) ? nullptr : found;
}

} // namespace

KnownHeadsetUsb::Kind KnownHeadsetUsb::kindOf(HeadsetIds::Id id) {
    const KnownDevice *device = known(id);
    return device ? device->kind : Kind::Unknown;
}

std::string_view KnownHeadsetUsb::nameOf(HeadsetIds::Id id) {
    const KnownDevice *device = known(id);
    return device ? device->name : std::string_view();
}

} // namespace hlx::headsets
