#pragma once

#include <string>
#include <string_view>

// The bodies of the fuzz targets, one for each reader of outside data in devicelib/headsets. The
// fuzzers call them with libFuzzer's inputs; the suite replays every input that once failed, and
// the seeds, through the same functions. Each returns what it found wrong with the reader's
// answers, or an empty text; a read past the end or an endless loop is the sanitizers' and the
// timeout's to catch.
namespace hlx::fuzz {

// The EDID judge, with a user's list that names one display of the real samples.
std::string judgeDisplay(std::string_view edid);
// The udev rules reader, then the USB listing and the judge's verdict for every vendor:product pair
// the input quotes, with attributes whose values the input names, so that the rules' patterns meet
// values of its choice.
std::string readUdevRules(std::string_view rules);
// The user's list of ids, and the message for each line it cannot read.
std::string readUserList(std::string_view list);

} // namespace hlx::fuzz
