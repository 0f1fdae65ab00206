// Profile files come from other people: any bytes must give a profile or one message, and a
// profile that was read must write out and read back as the same profile.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "profile/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kvprofile::ReadResult first = kvprofile::parseProfile(text, "fuzz.json");
    if (!first.profile) {
        if (first.error.empty()) std::abort();  // refused without a word
        return 0;
    }
    const kvprofile::ReadResult again =
        kvprofile::parseProfile(kvprofile::writeProfile(*first.profile), "again.json");
    if (!again.profile || again.profile->settings != first.profile->settings) std::abort();
    return 0;
}
