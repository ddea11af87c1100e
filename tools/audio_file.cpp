// Writing WAV and FLAC files through libsndfile.
#include "tools/audio_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tools/performance.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace quorvel::tools {

namespace fs = std::filesystem;

SampleFormat sampleFormatFromName(const std::string& name) {
    if (name == "float") return SampleFormat::Float;
    if (name == "pcm16") return SampleFormat::Pcm16;
    if (name == "pcm24") return SampleFormat::Pcm24;
    if (name == "flac") return SampleFormat::Flac;
    throw InputError("unknown sample format \"" + name + "\" (float, pcm16, pcm24 or flac)");
}

const char* fileExtension(SampleFormat format) { return format == SampleFormat::Flac ? ".flac" : ".wav"; }

namespace {

int sndfileFormat(SampleFormat format) {
    switch (format) {
        case SampleFormat::Float:
            return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        case SampleFormat::Pcm16:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        case SampleFormat::Pcm24:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        case SampleFormat::Flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    }
    return 0;
}

// Creates a new, empty file beside `destination` and returns its path and
// descriptor.
int createTemporary(const std::string& destination, std::string& path) {
    const fs::path target(destination);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(random()));
        fs::path candidate = target.parent_path() / ("." + target.filename().string() + suffix);
        const int fd = ::open(candidate.string().c_str(), O_RDWR | O_CREAT | O_EXCL | O_BINARY, 0666);
        if (fd >= 0) {
            path = candidate.string();
            return fd;
        }
        if (errno != EEXIST) throw InputError("cannot create " + destination + ": " + std::strerror(errno));
    }
    throw InputError("cannot create " + destination + ": no free temporary name");
}

}  // namespace

AudioFileWriter::AudioFileWriter(const std::string& destination, SampleFormat format, int channels, int sampleRate)
    : destinationPath(destination), channelCount(channels) {
    if (channels < 1) throw InputError("cannot write " + destination + ": no audio channels");
    std::error_code error;
    if (fs::is_directory(destination, error)) throw InputError("cannot write " + destination + ": it is a directory");

    interleaved.reserve(kBufferFrames * static_cast<std::size_t>(channels));
    descriptor = createTemporary(destination, temporaryPath);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = sndfileFormat(format);
    if (!sf_format_check(&info)) {
        discard();
        throw InputError("cannot write " + destination + ": the format does not allow " + std::to_string(channels) +
                         " channels at " + std::to_string(sampleRate) + " Hz");
    }
    // The descriptor stays ours: libsndfile neither closes it on failure nor
    // in sf_close.
    sndFile = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (!sndFile) {
        const std::string reason = sf_strerror(nullptr);
        discard();
        throw InputError("cannot write " + destination + ": " + reason);
    }
    // Integer formats clip what lies beyond full scale instead of wrapping.
    sf_command(sndFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk of float files carries the time of writing; without it
    // the same audio always gives the same bytes.
    sf_command(sndFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioFileWriter::~AudioFileWriter() { discard(); }

void AudioFileWriter::discard() noexcept {
    if (sndFile) {
        sf_close(sndFile);
        sndFile = nullptr;
    }
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
    if (!temporaryPath.empty()) {
        std::error_code error;
        fs::remove(temporaryPath, error);
        temporaryPath.clear();
    }
}

void AudioFileWriter::write(const float* const* channels, int frames) {
    // Small blocks are gathered and written in larger pieces.
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channelCount; ++c) interleaved.push_back(channels[c][f]);
        if (interleaved.size() >= kBufferFrames * static_cast<std::size_t>(channelCount)) flush();
    }
}

void AudioFileWriter::flush() {
    const auto frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channelCount));
    if (frames > 0 && sf_writef_float(sndFile, interleaved.data(), frames) != frames)
        throw InputError("cannot write " + destinationPath + ": " + sf_strerror(sndFile));
    interleaved.clear();
}

void AudioFileWriter::commit() {
    flush();
    const int status = sf_close(sndFile);
    sndFile = nullptr;
    const int closed = ::close(descriptor);
    descriptor = -1;
    if (closed != 0) throw InputError("cannot write " + destinationPath + ": " + std::strerror(errno));
    if (status != 0) throw InputError("cannot write " + destinationPath + ": " + sf_error_number(status));
    std::error_code error;
    fs::rename(temporaryPath, destinationPath, error);
    if (error) throw InputError("cannot write " + destinationPath + ": " + error.message());
    temporaryPath.clear();
}

}  // namespace quorvel::tools
