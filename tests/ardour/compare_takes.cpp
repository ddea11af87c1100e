// Compares a take recorded in Ardour with the renderer's output of the same
// phrase. Both start in silence; the first sample that is not zero marks the
// start of the phrase in each, and the take is compared sample by sample
// against the reference from there on. The part of the take after the
// reference ends must be silent.
//
// Exit status: 0 when the take matches within the tolerance (by default it
// must be bit-identical) and the start lies at the expected offset, 1 when it
// does not, 2 when the files cannot be used.
#include <sndfile.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Channel = std::vector<float>;

struct Audio {
    int rate = 0;
    std::vector<Channel> channels;
};

// Reads every channel of a sound file as 32-bit floats.
Audio readChannels(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got != info.frames) throw std::runtime_error("short read from " + path);
    Audio audio;
    audio.rate = info.samplerate;
    audio.channels.assign(info.channels, Channel(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i)
        for (int c = 0; c < info.channels; ++c) audio.channels[c][i] = interleaved[i * info.channels + c];
    return audio;
}

std::optional<std::size_t> firstSound(const Audio& audio) {
    std::optional<std::size_t> first;
    for (const Channel& channel : audio.channels)
        for (std::size_t i = 0; i < channel.size() && (!first || i < *first); ++i)
            if (channel[i] != 0.0f) first = i;
    return first;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Compares a take recorded in Ardour with the renderer's output, aligned at the first sound."};
    std::string referencePath;
    std::vector<std::string> takePaths;
    double tolerance = 0.0;
    std::optional<long long> expectedOffset;
    app.add_option("--reference", referencePath, "renderer output")->required()->check(CLI::ExistingFile);
    app.add_option("--take", takePaths, "recorded file(s); their channels are taken in order")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--tolerance", tolerance, "largest allowed difference; 0 asks for bit-identical samples")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--expect-offset", expectedOffset, "samples the take's start must lie after the reference's");
    CLI11_PARSE(app, argc, argv);

    Audio reference, take;
    try {
        reference = readChannels(referencePath);
        for (const std::string& path : takePaths) {
            Audio part = readChannels(path);
            if (take.rate != 0 && part.rate != take.rate) throw std::runtime_error(path + " has another sample rate");
            take.rate = part.rate;
            for (Channel& c : part.channels) take.channels.push_back(std::move(c));
        }
        if (reference.rate != take.rate)
            throw std::runtime_error("sample rates differ: reference " + std::to_string(reference.rate) + ", take " +
                                     std::to_string(take.rate));
        if (reference.channels.size() != take.channels.size())
            throw std::runtime_error("channel counts differ: reference " + std::to_string(reference.channels.size()) +
                                     ", take " + std::to_string(take.channels.size()));
        for (const Channel& c : take.channels)
            if (c.size() != take.channels[0].size()) throw std::runtime_error("the take's files differ in length");
    } catch (const std::exception& e) {
        std::cerr << "ardour_compare: " << e.what() << "\n";
        return 2;
    }

    const std::optional<std::size_t> referenceStart = firstSound(reference);
    const std::optional<std::size_t> takeStart = firstSound(take);
    if (!referenceStart || !takeStart) {
        std::cerr << "ardour_compare: the " << (referenceStart ? "take" : "reference") << " is silent\n";
        return 1;
    }
    const long long offset = static_cast<long long>(*takeStart) - static_cast<long long>(*referenceStart);
    const std::size_t referenceLength = reference.channels[0].size();
    const std::size_t takeLength = take.channels[0].size();
    std::printf("first sound: reference at sample %zu, take at sample %zu: offset %lld\n", *referenceStart, *takeStart,
                offset);
    if (static_cast<long long>(takeLength) < static_cast<long long>(referenceLength) + offset) {
        std::printf("FAIL: the take (%zu samples) ends before the reference's %zu samples after the offset\n",
                    takeLength, referenceLength);
        return 1;
    }

    // Everything before the first sound is silent in both by construction;
    // compare from there to the reference's end.
    std::size_t compared = 0, differing = 0, onlyBitsDiffer = 0;
    double largest = 0.0;
    std::optional<std::size_t> firstDifference;
    for (std::size_t c = 0; c < reference.channels.size(); ++c) {
        for (std::size_t i = *referenceStart; i < referenceLength; ++i) {
            const float want = reference.channels[c][i];
            const float got = take.channels[c][i + offset];
            ++compared;
            if (want == got && !sameBits(want, got)) ++onlyBitsDiffer;  // 0.0 against -0.0
            const double difference = std::fabs(static_cast<double>(got) - static_cast<double>(want));
            if (difference > tolerance || std::isnan(difference)) {
                ++differing;
                if (!firstDifference || i < *firstDifference) firstDifference = i;
            }
            if (difference > largest || std::isnan(difference)) largest = difference;
        }
    }
    std::printf(
        "compared %zu channel(s) x %zu samples = %zu samples; largest difference %.9g; %zu equal in value "
        "but not in bits\n",
        reference.channels.size(), referenceLength - *referenceStart, compared, largest, onlyBitsDiffer);

    // After the reference ends, the take must hold nothing but silence.
    std::size_t afterLength = takeLength - (referenceLength + offset), loudAfter = 0;
    for (const Channel& channel : take.channels)
        for (std::size_t i = referenceLength + offset; i < takeLength; ++i)
            if (channel[i] != 0.0f) ++loudAfter;
    std::printf("take after the reference's end: %zu samples, %zu of them not silent\n", afterLength, loudAfter);

    bool pass = true;
    if (differing != 0) {
        std::printf("FAIL: %zu samples differ by more than %g, the first at reference sample %zu\n", differing,
                    tolerance, *firstDifference);
        pass = false;
    }
    if (tolerance == 0.0 && onlyBitsDiffer != 0) {
        std::printf("FAIL: %zu samples are equal in value but not bit-identical\n", onlyBitsDiffer);
        pass = false;
    }
    if (loudAfter != 0) {
        std::printf("FAIL: the take is not silent after the phrase\n");
        pass = false;
    }
    if (expectedOffset && offset != *expectedOffset) {
        std::printf("FAIL: the take starts %lld samples after the reference, expected %lld\n", offset, *expectedOffset);
        pass = false;
    }
    return pass ? 0 : 1;
}
