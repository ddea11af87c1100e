#include "reference/reference_engine.h"

#include <cmath>

#include "abi/vst_events.h"

namespace quorvel::reference {

namespace {
// Parameter indexes as the host numbers them.
enum : std::int32_t {
    kPulseWidthParam = 0,
    kPhaseResetParam = 1,
    kDetuneParam = 2,
    kNoteCutParam = 3,
    kVelocityTargetParam = 4,
    kModSpeedParam = 5,
    kModDepthParam = 6,
    kOutputGainParam = 7,
};
}  // namespace

Engine::Engine() {
    params[kPulseWidthParam] = 0.05f;
    params[kPhaseResetParam] = 1.0f;
    params[kDetuneParam] = 0.5f;
    params[kNoteCutParam] = 0.0f;
    params[kVelocityTargetParam] = 0.0f;
    params[kModSpeedParam] = 0.5f;
    params[kModDepthParam] = 0.25f;
    params[kOutputGainParam] = 0.5f;
}

void Engine::setParameter(std::int32_t index, float value) {
    if (static_cast<std::uint32_t>(index) < kParamCount) params[index] = value;
}

float Engine::parameter(std::int32_t index) const {
    return static_cast<std::uint32_t>(index) < kParamCount ? params[index] : 0.0f;
}

int Engine::activeVoices() const {
    int n = 0;
    for (const VoiceState& v : voices)
        if (v.note >= 0) ++n;
    return n;
}

// t * 4, then - 0.01, each rounded to single precision, truncated toward
// zero. Values whose index would fall outside 0..3 select nothing.
std::int32_t Engine::velocityTargetIndex(float t) {
    float scaled = t * 4.0f;
    float shifted = scaled + -0.01f;
    if (!(shifted > -1.0f && shifted < 4.0f)) return kNoTarget;
    return static_cast<std::int32_t>(shifted);
}

// ---------------------------------------------------------------- MIDI intake

void Engine::takeEvents(const VstEvents* list) {
    VstEvent* const* slots = eventSlots(list);
    for (std::int32_t i = 0; i < list->numEvents; ++i) {
        const VstEvent* event = slots[i];
        if (event->type != kVstMidiType) continue;
        const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
        takeMidi(midi->deltaFrames, static_cast<std::uint8_t>(midi->midiData[0]),
                 static_cast<std::uint8_t>(midi->midiData[1]), static_cast<std::uint8_t>(midi->midiData[2]));
    }
}

void Engine::takeMessages(const MidiMessage* messages, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) takeMessage(messages[i]);
}

void Engine::takeMessage(const MidiMessage& m) { takeMidi(m.deltaFrames, m.status, m.data1, m.data2); }

void Engine::takeMidi(std::int32_t deltaFrames, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t kind = status & 0xF0;
    if (kind == 0x80 || kind == 0x90) {
        std::int32_t velocity = kind == 0x80 ? 0 : (data2 & 0x7F);
        queue.push_back(Event{kNote, deltaFrames, data1 & 0x7F, velocity, 0.0f});
    } else if (kind == 0xB0) {
        // The controller number is a signed byte: 0x80 and above are negative.
        const std::int32_t controller = static_cast<std::int8_t>(data1);
        const std::int32_t d = data2 & 0x7F;
        if (controller == 100) {
            rpnLsb = d;
        } else if (controller == 101) {
            rpnMsb = d;
        } else if (controller == 38) {
            // fine data entry: ignored
        } else if (controller == 1) {
            queue.push_back(Event{kModWheel, deltaFrames, 0, 0, static_cast<float>(d) * 0.0078125f});
        } else if (controller == 6) {
            if (rpnMsb == 0 && rpnLsb == 0) {
                bendRange = static_cast<float>(d) * 0.5f;
                ++counted.bendRangeSet;
            }
        } else if (controller >= 123) {
            queue.push_back(Event{kNote, deltaFrames, -1, 0, 0.0f});
        }
    } else if (kind == 0xE0) {
        const std::int32_t b = ((data2 & 0x7F) << 7) | (data1 & 0x7F);
        float semitones = static_cast<float>(b - 8192);
        semitones = semitones * bendRange;
        semitones = semitones * 0.0001220703125f;
        queue.push_back(Event{kPitchBend, deltaFrames, 0, 0, semitones});
    }
}

// ------------------------------------------------------ events and voices

bool Engine::anyKeyHeld() const {
    for (int k = 0; k < 128; ++k)
        if (heldKeys[k] != 0) return true;
    return false;
}

void Engine::applyDueEvents(const Block& block) {
    for (std::size_t i = 0; i < queue.size(); ++i) {
        Event& e = queue[i];
        if (e.delta < 0) continue;
        e.delta -= 1;
        if (e.delta >= 0) continue;
        apply(e, block);
    }
}

void Engine::apply(const Event& e, const Block& block) {
    switch (e.kind) {
        case kPitchBend:
            bendSemitones = e.value;
            break;
        case kModWheel:
            wheelDepth = e.value * 0.25f;
            break;
        case kNote:
            if (e.velocity != 0)
                noteOn(e.note, e.velocity, block);
            else if (e.note >= 0)
                noteOff(e.note);
            else
                allNotesOff();
            break;
        default:
            break;
    }
}

void Engine::noteOn(std::int32_t key, std::int32_t velocity, const Block& block) {
    heldKeys[key] = 1;
    VoiceState* voice = nullptr;
    for (VoiceState& v : voices) {
        if (v.note < 0) {
            voice = &v;
            break;
        }
    }
    if (!voice) {
        ++counted.notesDropped;
        return;
    }

    const float a = static_cast<float>(velocity) / 100.0f;
    voice->note = key;
    voice->pitch = static_cast<float>(key - 69);

    const float startPhase = block.velocityTarget == kTargetPhaseReset ? a : params[kPhaseResetParam];
    if (startPhase > 0.0f) voice->phase = startPhase;

    float cut = params[kNoteCutParam];
    cut = cut * (block.velocityTarget == kTargetNoteCut ? a : 1.0f);
    cut = cut * block.sampleRate;
    cut = cut * 8.0f;
    voice->cutCounter = cut;

    voice->pulseLength = (block.velocityTarget == kTargetPulseWidth ? a : 1.0f) * block.basePulseLength;
    noteVolume = block.velocityTarget == kTargetVolume ? a : 1.0f;
}

void Engine::noteOff(std::int32_t key) {
    heldKeys[key] = 0;
    for (VoiceState& v : voices)
        if (v.note == key) v.note = -1;
    if (!anyKeyHeld()) outputBit = 0;
}

void Engine::allNotesOff() {
    ++counted.allNotesOff;
    for (unsigned char& k : heldKeys) k = 0;
    for (VoiceState& v : voices) v.note = -1;
    outputBit = 0;
}

// ------------------------------------------------------------ tone generator

void Engine::render(std::intptr_t sampleRateAnswer, float* left, float* right, std::int32_t frames) {
    if (sampleRateAnswer > 0) storedSampleRate = static_cast<float>(sampleRateAnswer);

    Block block;
    block.sampleRate = storedSampleRate;
    float inc = params[kModSpeedParam] * 24.0f;
    inc = inc / block.sampleRate;
    block.lfoIncrement = inc * 3.1415927f;
    block.vibratoScale = params[kModDepthParam] * 8.0f;
    float pulse = block.sampleRate * 2000.0f;
    pulse = pulse * 8.0f;
    pulse = pulse * params[kPulseWidthParam];
    block.basePulseLength = pulse / 1000000.0f;
    block.velocityTarget = velocityTargetIndex(params[kVelocityTargetParam]);

    for (std::int32_t i = 0; i < frames; ++i) {
        // Vibrato from the phase and wheel as they stand before this sample.
        float vibrato = 0.0f;
        if (wheelDepth >= 0.001f) {
            const float s = static_cast<float>(std::sin(static_cast<double>(lfoPhase)));
            vibrato = s * wheelDepth;
            vibrato = vibrato * block.vibratoScale;
        }
        lfoPhase = lfoPhase + block.lfoIncrement;
        while (static_cast<double>(lfoPhase) >= 6.283185307179586) {
            lfoPhase = lfoPhase - 6.2831855f;
            if (wheelDepth >= 0.001f) ++counted.vibratoWraps;
        }

        applyDueEvents(block);

        // Pitch of every active voice; the detune goes to every second one.
        int active = 0;
        for (VoiceState& v : voices) {
            if (v.note < 0) continue;
            float x = v.pitch + vibrato;
            x = x + bendSemitones;
            if (active % 2 == 1) {
                x = x + (params[kDetuneParam] - 0.5f);
                ++counted.detunedVoices;
            }
            x = x / 12.0f;
            float increment = static_cast<float>(std::pow(2.0, static_cast<double>(x)));
            increment = increment * 440.0f;
            increment = increment / block.sampleRate;
            increment = increment * 0.125f;
            v.phaseIncrement = increment;
            ++active;
        }

        float acc = 0.0f;
        for (int step = 0; step < 8; ++step) {
            for (int k = 0; k < kVoiceCount; ++k) {
                VoiceState& v = voices[k];
                if (v.note < 0) continue;
                if (v.cutCounter > 0.0f && params[kNoteCutParam] > 0.0f) {
                    v.cutCounter = v.cutCounter - 1.0f;
                    if (v.cutCounter <= 0.0f) {
                        v.cutCounter = 0.0f;
                        v.note = -1;
                        ++counted.notesCut;
                        continue;
                    }
                }
                v.phase = v.phase + v.phaseIncrement;
                int starts = 0;
                while (v.phase >= 1.0f) {
                    v.phase = v.phase - 1.0f;
                    v.pulseCounter = v.pulseCounter + v.pulseLength;
                    outputBit = k % 2 == 0 ? 1 : 0;
                    ++starts;
                }
                if (starts > 1) ++counted.periodsDoubled;
                if (starts >= 16) ++counted.periodsFar;
                if (v.pulseCounter > 0.0f) {
                    v.pulseCounter = v.pulseCounter - 1.0f;
                    if (v.pulseCounter <= 0.0f) outputBit = k % 2 == 0 ? 0 : 1;
                }
            }
            if (outputBit != 0) acc = acc + 0.1f;
        }

        float sample = noteVolume * acc;
        sample = sample * params[kOutputGainParam];
        left[i] = sample;
        right[i] = sample;
    }

    for (const Event& e : queue)
        if (e.delta >= 0) ++counted.eventsUnfired;
    queue.clear();
}

}  // namespace quorvel::reference
