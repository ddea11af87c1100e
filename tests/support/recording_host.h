// The one host callback of the tests, benchmarks and fuzz targets: it records
// every request it gets and answers from a function the caller chooses. One
// recorder is active at a time (the callback is a plain function, so it
// reaches the recorder through a static). A host made with Recording::Off
// only answers: it neither allocates nor writes, so the audio thread of the
// allocation and thread tests and the benchmarks' loops may call it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "abi/aeffect.h"

namespace quorvel {

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};

class RecordingHost {
public:
    using Answer = std::function<std::intptr_t(const HostCall&)>;

    // Answers like a plain host: version 2400 and 44100 Hz; 0 otherwise.
    static std::intptr_t defaultAnswer(const HostCall& call) {
        switch (call.opcode) {
            case audioMasterVersion:
                return 2400;
            case audioMasterGetSampleRate:
                return 44100;
            default:
                return 0;
        }
    }

    enum class Recording { On, Off };

    explicit RecordingHost(Answer answerWith = defaultAnswer, Recording recording = Recording::On)
        : answer(std::move(answerWith)), recording(recording == Recording::On) {
        active() = this;
    }
    ~RecordingHost() {
        if (active() == this) active() = nullptr;
    }
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    static std::intptr_t QV_CALL callback(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                          void* ptr, float opt) {
        RecordingHost* host = active();
        if (!host) return 0;
        HostCall call{effect, opcode, index, value, ptr, opt};
        if (host->recording) host->calls.push_back(call);
        return host->answer ? host->answer(call) : 0;
    }

    void setAnswer(Answer newAnswer) { answer = std::move(newAnswer); }

    // Calls with the given opcode so far.
    std::vector<HostCall> callsWith(std::int32_t opcode) const {
        std::vector<HostCall> out;
        for (const HostCall& c : calls)
            if (c.opcode == opcode) out.push_back(c);
        return out;
    }

    // How many calls with the given opcode so far.
    std::size_t count(std::int32_t opcode) const { return callsWith(opcode).size(); }

    // Answers `value` to `opcode` and like a plain host to everything else.
    static Answer answering(std::int32_t opcode, std::intptr_t value) {
        return [opcode, value](const HostCall& call) { return call.opcode == opcode ? value : defaultAnswer(call); };
    }

    std::vector<HostCall> calls;

private:
    static RecordingHost*& active() {
        static RecordingHost* host = nullptr;
        return host;
    }
    Answer answer;
    bool recording;
};

}  // namespace quorvel
