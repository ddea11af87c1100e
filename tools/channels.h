// MIDI channels as the user numbers them (1..16): choosing some, and
// splitting a performance into one part per channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/performance.h"

namespace quorvel::tools {

// Bit c-1 stands for channel c.
using ChannelSet = std::uint16_t;
constexpr ChannelSet kAllChannels = 0xFFFF;

// "1-4,6,10": channels and ranges, separated by commas. Throws InputError
// with the reason (without the option's name) for anything else.
ChannelSet parseChannelList(const std::string& text);

// The channel (1..16) of a channel message.
inline int channelOf(const TimedMidi& m) { return (m.bytes[0] & 0x0F) + 1; }

// The performance with only the messages of the chosen channels; its length
// and parameter changes stay as they were.
Performance onlyChannels(const Performance& performance, ChannelSet channels);

// The chosen channels that hold at least one note, in ascending order.
std::vector<int> channelsWithNotes(const Performance& performance, ChannelSet channels);

}  // namespace quorvel::tools
