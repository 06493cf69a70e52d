#include "DirectModeLeaseCheck.h"

#include "DirectModeHolder.h"
#include "RandrLease.h"
#include "XConnection.h"

namespace hlx {

DirectModeLease directModeLeaseCheck(const std::string &output) {
    XConnection x(nullptr);
    if (!x.isValid())
        return {"unknown; the X display cannot be reached"};
    // A second lease of a leased output is refused; the user wants to hear who has it.
    const std::optional<DirectModeHolder> holder = DirectModeHolder::find(x);
    if (holder && holder->output == output)
        return {"held by the demo, which shows on it", true};
    RandrLease lease = RandrLease::take(x.get(), x.root(), output);
    if (!lease.isHeld())
        return {"none to be had: " + lease.refusal()};
    lease.free();
    return {"one could be had (taken and freed at once)"};
}

} // namespace hlx
