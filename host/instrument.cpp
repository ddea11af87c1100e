// Parameters by name, and the choice of format when loading.
#include "host/instrument.h"

#include <cctype>
#include <vector>

#include "host/host_error.h"
#include "host/plugin.h"
#if QUORVEL_HOST_LV2
#include "host/lv2_plugin.h"
#endif

namespace quorvel::host {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

void Instrument::checkBlock(const MidiEvent* events, std::size_t count, int frames) const {
    if (frames < 1 || frames > settings().blockSize)
        throw HostError("block of " + std::to_string(frames) + " samples outside 1.." +
                        std::to_string(settings().blockSize));
    std::int32_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (events[i].offset < previous || events[i].offset >= frames)
            throw HostError("MIDI events must lie inside the block, in time order");
        previous = events[i].offset;
    }
}

std::optional<int> Instrument::findParameter(std::string_view name) const {
    const std::string_view wanted = trimmed(name);
    std::vector<std::string> names;
    for (int i = 0; i < numParams(); ++i) {
        names.push_back(parameterName(i));
        if (trimmed(names.back()) == wanted) return i;
    }
    std::optional<int> found;
    for (int i = 0; i < numParams(); ++i) {
        if (!equalsIgnoringCase(trimmed(names[static_cast<std::size_t>(i)]), wanted)) continue;
        if (found) return std::nullopt;  // ambiguous
        found = i;
    }
    return found;
}

std::unique_ptr<Instrument> loadInstrument(const std::string& location, const HostSettings& settings) {
#if QUORVEL_HOST_LV2
    if (Lv2Plugin::isLv2Location(location)) return std::make_unique<Lv2Plugin>(location, settings);
#endif
    return std::make_unique<Plugin>(location, settings);
}

}  // namespace quorvel::host
