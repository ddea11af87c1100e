#include "tools/channels.h"

#include <cctype>

namespace quorvel::tools {

namespace {

// A channel number at `pos`, advancing past it.
int channelNumber(const std::string& text, std::size_t& pos) {
    const std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && pos - start < 3)
        value = value * 10 + (text[pos++] - '0');
    if (pos == start) {
        throw InputError(pos < text.size() ? "\"" + text.substr(pos, 1) + "\" where a channel number belongs"
                                           : "a channel number is missing at the end");
    }
    if (value < 1 || value > 16) throw InputError("channel " + text.substr(start, pos - start) + " is not in 1..16");
    return value;
}

}  // namespace

ChannelSet parseChannelList(const std::string& text) {
    if (text.empty()) throw InputError("the list of channels is empty");
    ChannelSet set = 0;
    std::size_t pos = 0;
    while (true) {
        const int first = channelNumber(text, pos);
        int last = first;
        if (pos < text.size() && text[pos] == '-') {
            ++pos;
            last = channelNumber(text, pos);
            if (last < first)
                throw InputError("the range " + std::to_string(first) + "-" + std::to_string(last) + " runs backwards");
        }
        for (int c = first; c <= last; ++c) set = static_cast<ChannelSet>(set | (1u << (c - 1)));
        if (pos == text.size()) return set;
        if (text[pos] != ',') throw InputError("\"" + text.substr(pos, 1) + "\" where a comma or a dash belongs");
        ++pos;
    }
}

Performance onlyChannels(const Performance& performance, ChannelSet channels) {
    Performance part = performance;
    part.midi.clear();
    for (const TimedMidi& m : performance.midi)
        if (channels & (1u << (channelOf(m) - 1))) part.midi.push_back(m);
    return part;
}

std::vector<int> channelsWithNotes(const Performance& performance, ChannelSet channels) {
    ChannelSet found = 0;
    for (const TimedMidi& m : performance.midi)
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0)
            found = static_cast<ChannelSet>(found | (1u << (channelOf(m) - 1)));
    std::vector<int> list;
    for (int c = 1; c <= 16; ++c)
        if (found & channels & (1u << (c - 1))) list.push_back(c);
    return list;
}

}  // namespace quorvel::tools
