#include "EdidSample.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace {

constexpr size_t blockSize = 128;

} // namespace

void EdidSample::seal(std::vector<uint8_t> &edid, size_t block) {
    const auto begin = edid.begin() + std::ptrdiff_t(block * blockSize);
    const unsigned sum = std::accumulate(begin, begin + blockSize - 1, 0u);
    edid[block * blockSize + blockSize - 1] = uint8_t((256 - sum % 256) % 256);
}

void EdidSample::sealDisplayId(std::vector<uint8_t> &edid, size_t block) {
    const size_t section = block * blockSize + 1;
    const size_t length = std::min<size_t>(4 + edid[section + 1], blockSize - 3);
    const unsigned sum = std::accumulate(edid.begin() + std::ptrdiff_t(section),
                                         edid.begin() + std::ptrdiff_t(section + length), 0u);
    edid[section + length] = uint8_t((256 - sum % 256) % 256);
    seal(edid, block);
}

std::vector<uint8_t> EdidSample::monitor(const std::string &maker, uint16_t product) {
    std::vector<uint8_t> edid(blockSize, 0);
    const uint8_t header[] = {0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00};
    std::copy(std::begin(header), std::end(header), edid.begin());
    const unsigned packed = unsigned(maker.at(0) - 'A' + 1) << 10 |
                            unsigned(maker.at(1) - 'A' + 1) << 5 | unsigned(maker.at(2) - 'A' + 1);
    edid[8] = uint8_t(packed >> 8);
    edid[9] = uint8_t(packed);
    edid[10] = uint8_t(product);
    edid[11] = uint8_t(product >> 8);
    edid[12] = 0x01; // serial number
    edid[16] = 1;    // week and year of manufacture: 2020
    edid[17] = 30;
    edid[18] = 1; // EDID 1.4
    edid[19] = 4;
    edid[20] = 0xa5; // digital, 8 bits per colour, DisplayPort
    edid[21] = 60;   // 60 x 34 cm
    edid[22] = 34;
    edid[23] = 120; // gamma 2.2
    // sRGB is the default colour space; preferred timing mode; continuous frequencies.
    edid[24] = 0x07;
    // Chromaticity of sRGB.
    const uint8_t chroma[] = {0xee, 0x91, 0xa3, 0x54, 0x4c, 0x99, 0x26, 0x0f, 0x50, 0x54};
    std::copy(std::begin(chroma), std::end(chroma), edid.begin() + 25);
    edid[35] = 0x20; // 640x480 at 60 Hz, which every display must offer
    for (size_t i = 38; i < 54; i += 2)
        edid[i] = edid[i + 1] = 0x01; // no standard timings
    // 1920x1080 at 60 Hz (148.5 MHz) as the preferred detailed timing.
    const uint8_t timing[] = {0x02, 0x3a, 0x80, 0x18, 0x71, 0x38, 0x2d, 0x40, 0x58,
                              0x2c, 0x45, 0x00, 0x58, 0x54, 0x21, 0x00, 0x00, 0x1e};
    std::copy(std::begin(timing), std::end(timing), edid.begin() + 54);
    // Range limits without a timing formula, the product name, and a dummy descriptor.
    const uint8_t limits[] = {0x00, 0x00, 0x00, 0xfd, 0x00, 0x38, 0x4c, 0x1e, 0x53,
                              0x11, 0x01, 0x0a, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    std::copy(std::begin(limits), std::end(limits), edid.begin() + 72);
    const uint8_t name[] = {0x00, 0x00, 0x00, 0xfc, 0x00, 'T', 'e', 's', 't',
                            ' ',  'D',  'i',  's',  'p',  'l', 'a', 'y', 0x0a};
    std::copy(std::begin(name), std::end(name), edid.begin() + 90);
    const uint8_t dummy[] = {0x00, 0x00, 0x00, 0x10, 0x00};
    std::copy(std::begin(dummy), std::end(dummy), edid.begin() + 108);
    seal(edid, 0);
    return edid;
}

std::vector<uint8_t> EdidSample::withMicrosoftBlock(const std::string &maker, uint16_t product,
                                                    uint8_t version, uint8_t flags) {
    std::vector<uint8_t> edid = monitor(maker, product);
    edid[126] = 1;
    seal(edid, 0);
    std::vector<uint8_t> extension(blockSize, 0);
    extension[0] = 0x02; // CTA-861
    extension[1] = 0x03; // revision 3
    extension[3] = 0xc0; // underscanned, basic audio, no native formats
    size_t at = 4;
    // Video: 640x480 at 60 Hz (VIC 1).
    extension[at++] = 0x41;
    extension[at++] = 0x01;
    // Video capabilities: RGB quantisation range selectable.
    for (uint8_t byte : {uint8_t(0xe2), uint8_t(0x00), uint8_t(0x40)})
        extension[at++] = byte;
    // Audio: two-channel LPCM at 48 kHz, 16 bit.
    const uint8_t audio[] = {0x23, 0x09, 0x04, 0x01};
    for (uint8_t byte : audio)
        extension[at++] = byte;
    // Microsoft's vendor block: OUI CA-12-5C, least significant byte first, version, flags and a
    // 16-byte container id.
    extension[at++] = 0x60 | 21;
    for (uint8_t byte : {uint8_t(0x5c), uint8_t(0x12), uint8_t(0xca), version, flags})
        extension[at++] = byte;
    for (int i = 0; i < 16; ++i)
        extension[at++] = uint8_t(0x10 + i);
    extension[2] = uint8_t(at); // no detailed timings follow
    edid.insert(edid.end(), extension.begin(), extension.end());
    seal(edid, 1);
    return edid;
}

std::vector<uint8_t> EdidSample::fromHexFile(const std::string &path) {
    std::ifstream file(path);
    std::vector<uint8_t> edid;
    unsigned byte = 0;
    while (file >> std::hex >> byte)
        edid.push_back(uint8_t(byte));
    return file.eof() ? edid : std::vector<uint8_t>();
}

std::vector<std::string> EdidSample::hexFiles(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".hex")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
