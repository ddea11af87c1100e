// Temporary directories, running the renderer, and reading audio back.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "quorvel-render-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        location = pattern;
    }
    ~TempDir() {
        std::error_code error;
        fs::remove_all(location, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return location; }
    std::string operator/(const std::string& name) const { return (location / name).string(); }

    // Names of the entries in the directory.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(location)) names.push_back(entry.path().filename().string());
        return names;
    }

private:
    fs::path location;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the renderer with the given arguments in `workingDirectory`.
inline RunResult runRenderer(const std::vector<std::string>& args, const fs::path& workingDirectory) {
    const fs::path out = workingDirectory / ".stdout";
    const fs::path err = workingDirectory / ".stderr";
    std::string command = "cd " + shellQuote(workingDirectory.string()) + " && " + shellQuote(QUORVEL_RENDER_PATH);
    for (const std::string& arg : args) command += " " + shellQuote(arg);
    command += " >" + shellQuote(out.string()) + " 2>" + shellQuote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out.string());
    result.err = readFile(err.string());
    fs::remove(out);
    fs::remove(err);
    return result;
}

struct Audio {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved

    sf_count_t frames() const { return info.frames; }
    float peak() const {
        float p = 0.0f;
        for (float s : samples) p = std::max(p, std::abs(s));
        return p;
    }
};

inline Audio readAudio(const std::string& path) {
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    audio.samples.resize(static_cast<std::size_t>(audio.info.frames * audio.info.channels));
    sf_readf_float(file, audio.samples.data(), audio.info.frames);
    sf_close(file);
    return audio;
}
