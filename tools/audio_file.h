// Audio files written through libsndfile. The file is written under a
// temporary name beside the destination and renamed when complete, so a
// failed or interrupted render never leaves a partial file under the
// destination's name.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace quorvel::tools {

enum class SampleFormat { Float, Pcm16, Pcm24, Flac };

// "float", "pcm16", "pcm24" or "flac"; throws InputError otherwise.
SampleFormat sampleFormatFromName(const std::string& name);
// ".wav" or ".flac".
const char* fileExtension(SampleFormat format);

class AudioFileWriter {
public:
    // Throws InputError when the file cannot be created.
    AudioFileWriter(const std::string& destination, SampleFormat format, int channels, int sampleRate);
    ~AudioFileWriter();  // removes the temporary file unless committed
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends `frames` samples of each channel (may be kept in memory until
    // enough have gathered or the file is committed).
    void write(const float* const* channels, int frames);
    // Finishes the file and gives it the destination's name.
    void commit();

private:
    void discard() noexcept;
    void flush();

    static constexpr std::size_t kBufferFrames = 8192;

    std::string destinationPath;
    std::string temporaryPath;
    int descriptor = -1;
    SNDFILE* sndFile = nullptr;
    int channelCount;
    std::vector<float> interleaved;
};

}  // namespace quorvel::tools
