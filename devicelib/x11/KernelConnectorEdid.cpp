#include "KernelConnectorEdid.h"

#include "WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace hlx {

namespace {

constexpr char drmClass[] = "/sys/class/drm";

// Empty where the file is missing or unreadable, as an absent EDID or connector id is.
std::string readFile(const std::string &path) {
    std::string content;
    readWholeFile(path, content);
    return content;
}

// The entries of the kernel's DRM class: cards ("card0") and their connectors ("card0-DP-1").
std::vector<std::string> drmEntries() {
    const auto close = [](DIR *dir) { closedir(dir); };
    const std::unique_ptr<DIR, decltype(close)> folder(opendir(drmClass), close);
    std::vector<std::string> names;
    while (folder) {
        const dirent *entry = readdir(folder.get());
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name.compare(0, 4, "card") == 0)
            names.push_back(name);
    }
    return names;
}

KernelConnectorEdid readFrom(const std::string &connector, const std::string &how) {
    KernelConnectorEdid found;
    found.edid = readFile(std::string(drmClass) + '/' + connector + "/edid");
    found.source = "the kernel's connector " + connector + how;
    return found;
}

// The connector's sysfs name as the kernel forms it ("card0-HDMI-A-1"), from the card's list of
// connectors, which any user who may open the card reads without DRM master. Empty if the card has
// no connector of that id; `unreadable` then says why, if the card could not be read.
std::string connectorOfCard(const std::string &card, uint32_t connectorId,
                            std::string &unreadable) {
    const std::string path = "/dev/dri/" + card;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        unreadable = path + " cannot be opened (" + std::strerror(errno) + ")";
        return {};
    }
    std::string name;
    if (drmModeRes *resources = drmModeGetResources(fd)) {
        for (int i = 0; i < resources->count_connectors && name.empty(); ++i) {
            if (resources->connectors[i] != connectorId)
                continue;
            // The current state only: a probe would wake every display on the card.
            if (drmModeConnector *connector = drmModeGetConnectorCurrent(fd, connectorId)) {
                if (const char *type = drmModeGetConnectorTypeName(connector->connector_type))
                    name = card + '-' + type + '-' + std::to_string(connector->connector_type_id);
                drmModeFreeConnector(connector);
            }
        }
        drmModeFreeResources(resources);
    } else {
        unreadable = path + " lists no connectors (" + std::strerror(errno) + ")";
    }
    ::close(fd);
    return name;
}

} // namespace

KernelConnectorEdid KernelConnectorEdid::byName(const std::string &output) {
    if (output.empty())
        return {};
    for (const std::string &name : drmEntries()) {
        const size_t dash = name.find('-');
        if (dash != std::string::npos && name.compare(dash + 1, std::string::npos, output) == 0)
            return readFrom(name, {});
    }
    return {};
}

KernelConnectorEdid KernelConnectorEdid::byConnectorId(uint32_t connectorId) {
    const std::vector<std::string> entries = drmEntries();
    const std::string how = " (CONNECTOR_ID " + std::to_string(connectorId) + ")";
    // Newer kernels give each connector's id in sysfs, and then sysfs alone has the answer.
    bool idsInSysfs = false;
    for (const std::string &name : entries) {
        if (name.find('-') == std::string::npos)
            continue;
        const std::string id = readFile(std::string(drmClass) + '/' + name + "/connector_id");
        idsInSysfs |= !id.empty();
        if (!id.empty() && std::strtoul(id.c_str(), nullptr, 10) == connectorId)
            return readFrom(name, how);
    }
    std::string unreadable;
    for (const std::string &card : entries) {
        if (idsInSysfs || card.find('-') != std::string::npos)
            continue;
        const std::string connector = connectorOfCard(card, connectorId, unreadable);
        if (!connector.empty())
            return readFrom(connector, how);
    }
    KernelConnectorEdid none;
    none.problem = "its CONNECTOR_ID " + std::to_string(connectorId) +
                   " names none of the kernel's connectors, so its EDID cannot be read";
    if (!unreadable.empty())
        none.problem += "; " + unreadable;
    return none;
}

} // namespace hlx
