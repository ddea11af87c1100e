// The voice kernel's lane stepping: pitch, sub-steps and output sample for a
// run, the eight voices side by side. Written once against a set of lane
// operations and compiled once per path: each voice_kernel_<path>.cpp defines
// the types and operations below inside an unnamed namespace, then includes
// voice_kernel_maths.h (the power of two and the sine) and this file in that
// same namespace. No #include here: everything this file uses is included by
// the path's file beforehand.
//
// Each path defines QV_LANES (its target attribute, inlined into the caller)
// and QV_RARE (its target attribute, kept out of line) for the functions here,
// and these lane types and operations:
//   F  eight floats       loadF storeF splat add sub mul div neg select keep
//   M  eight lane flags   le gt ge nlt eq, mand mor mandnot (!a && b), bits (to an 8-bit set),
//                         lanes (from one)
//   D  eight doubles      widen (F to D) narrow (D to F, rounded) splatD addD subD mulD negD absD
//                         selectD, pow2OfRounded
//   MD eight double flags leD, bitD (a bit of the double's pattern), bitsD
// Comparisons are ordered (false when either side is not a number) except
// nlt, which is !(a < b). select(m, a, b) is m ? a : b, keep(m, a) is
// m ? a : +0.0f.
//
// Lane k is voice k. Every step is the engine's per-voice arithmetic, done for
// all lanes at once; only where voices meet, the shared output bit, is the
// order of the voices taken into account.

// The accumulator after c of the eight sub-steps found the bit on: 0.1f
// added c times in single precision (0.8000001f for all eight).
constexpr float accumulatedOn(int count) {
    float acc = 0.0f;
    for (int i = 0; i < count; ++i) acc += 0.1f;
    return acc;
}
constexpr float kAccumulated[kSubSteps + 1] = {accumulatedOn(0), accumulatedOn(1), accumulatedOn(2),
                                               accumulatedOn(3), accumulatedOn(4), accumulatedOn(5),
                                               accumulatedOn(6), accumulatedOn(7), accumulatedOn(8)};

// For each set of voices, the highest one in it (-1 for none).
struct LastVoiceTable {
    signed char of[256] = {};
    constexpr LastVoiceTable() {
        for (unsigned set = 0; set < 256; ++set) {
            of[set] = -1;
            for (int k = 0; k < kNumVoices; ++k)
                if (set >> k & 1u) of[set] = static_cast<signed char>(k);
        }
    }
};
constexpr LastVoiceTable kLastVoice{};

// The voices' fields in lanes. pitch and pulseLength only change at events.
struct LaneState {
    F pitch, phase, increment, pulseCounter, pulseLength, cutCounter;
    unsigned active;  // bit k set while voice k plays
    M activeLanes;    // the same as a lane mask
};

QV_LANES void loadLanes(const VoiceBank& voices, unsigned active, LaneState& s) {
    s.active = active;
    s.pitch = loadF(voices.pitch);
    s.phase = loadF(voices.phase);
    s.increment = loadF(voices.phaseIncrement);
    s.pulseCounter = loadF(voices.pulseCounter);
    s.pulseLength = loadF(voices.pulseLength);
    s.cutCounter = loadF(voices.cutCounter);
    s.activeLanes = lanes(s.active);
}

// Writes back what sub-steps change (the engine takes the voices the cut
// timer freed off their keys).
QV_LANES void storeLanes(const LaneState& s, VoiceBank& voices) {
    storeF(voices.phase, s.phase);
    storeF(voices.phaseIncrement, s.increment);
    storeF(voices.pulseCounter, s.pulseCounter);
    storeF(voices.cutCounter, s.cutCounter);
}

// What a sub-step does to each lane when nothing happens in it: the cut
// timer and the pulse counter count down where they run, the phase advances
// where the voice plays. Each comes with the limit at which something does
// happen (a NaN limit: never); a lane reaching one sends the sub-step to
// subStepExactly. Between such sub-steps the plan only changes with the
// increments (negativeStep) and the "Note cut" parameter.
struct SubStepPlan {
    F cutDecrement, cutLimit;      // cutting lanes: 1, 0; others: 0, NaN
    F negativeStep, phaseLimit;    // active lanes: -increment, 1; others: +0, +infinity
    F pulseDecrement, pulseLimit;  // lanes inside a pulse: 1, 0; others: 0, NaN
    // Every lane inside a pulse has fewer than 2^24 sub-steps of it left, so
    // that counting down n of them in one subtraction rounds the same as n
    // subtractions of 1 (all exact down to 1; below that, both end at 0 or
    // less, which the limit catches either way).
    bool pulseAtOnce;
    bool noteCutOn;  // the "Note cut" parameter above 0
    bool anyCut;     // some lane cutting
};

QV_LANES SubStepPlan planSubSteps(const LaneState& s, F pulseCounter, F cutCounter, bool noteCutOn) {
    const F zero = splat(0.0f), one = splat(1.0f), nan = splat(NAN);
    const M active = s.activeLanes;
    const M counting = mand(active, gt(pulseCounter, zero));
    SubStepPlan plan;
    if (noteCutOn) {
        const M cutting = mand(active, gt(cutCounter, zero));
        plan.cutDecrement = keep(cutting, one);
        plan.cutLimit = select(cutting, zero, nan);
        plan.anyCut = bits(cutting) != 0;
    } else {
        plan.cutDecrement = zero;
        plan.cutLimit = nan;
        plan.anyCut = false;
    }
    // phase - (-increment) is phase + increment, bit for bit; +0 leaves any phase as it is.
    plan.negativeStep = keep(active, neg(s.increment));
    plan.phaseLimit = select(active, one, splat(INFINITY));
    plan.pulseDecrement = keep(counting, one);
    plan.pulseLimit = select(counting, zero, nan);
    plan.pulseAtOnce = bits(mand(counting, ge(pulseCounter, splat(0x1p24f)))) == 0;
    plan.noteCutOn = noteCutOn;
    return plan;
}

// A phase too far ahead for the period-at-a-time loop below (kPhaseLoopLimit
// or more, infinite, NaN). Where the loop would end, its periods are counted
// at once, each adding a pulse length to the pulse counter as the loop adds
// it. The loop ends for every phase up to 2^24 + 2; from 2^24 + 4 on, taking
// one period off rounds back to the same float and it never would. There,
// and for an infinite phase, the whole periods are dropped and one pulse
// starts; a phase that is not a number starts over at 0. Returns whether a
// pulse started.
inline bool wrapFarPhase(float& phase, float& pulseCounter, float pulseLength) {
    bool started = false;
    if (phase >= kPhaseLoopLimit) {
        std::uint64_t periods = 0;
        if (addWhileAtLeast(phase, -1.0f, 1.0, periods)) {
            pulseCounter = addRepeatedly(pulseCounter, pulseLength, periods);
        } else {
            phase -= std::floor(phase);
            if (pulseCounter < pulseLength) pulseCounter = pulseLength;
        }
        started = true;
    }
    if (!(phase >= 0.0f && phase < 1.0f)) phase = 0.0f;  // NaN, or infinity less itself
    return started;
}

// One sub-step in which some lane does more than count: a note cut, a
// period start or a pulse end. Each voice in index order: the cut timer (a
// voice it frees does nothing more), the phase with its period starts, the
// pulse end; the output bit takes the last write of the highest voice that
// writes. The lanes are kept as vector masks throughout, the voices' set of
// bits only worked out at the end.
QV_LANES std::int32_t subStepExactly(LaneState& s, std::int32_t outputBit, bool noteCutOn) {
    const F zero = splat(0.0f), one = splat(1.0f);

    const M cutting = mand(noteCutOn ? s.activeLanes : lanes(0u), gt(s.cutCounter, zero));
    const F cut = sub(s.cutCounter, keep(cutting, one));
    const M freed = mand(cutting, le(cut, zero));
    s.cutCounter = select(freed, zero, cut);
    const M active = mandnot(freed, s.activeLanes);

    F phase = sub(s.phase, keep(active, neg(s.increment)));
    M started = lanes(0u);
    const unsigned far = bits(mand(active, nlt(phase, splat(kPhaseLoopLimit))));
    if (far) {
        float ph[kNumVoices], pc[kNumVoices], pl[kNumVoices];
        storeF(ph, phase);
        storeF(pc, s.pulseCounter);
        storeF(pl, s.pulseLength);
        unsigned farStarted = 0;
        for (int k = 0; k < kNumVoices; ++k)
            if (far >> k & 1u && wrapFarPhase(ph[k], pc[k], pl[k])) farStarted |= 1u << k;
        phase = loadF(ph);
        s.pulseCounter = loadF(pc);
        started = lanes(farStarted);
    }
    // Period starts: the first for every due lane at once, further ones (a
    // start phase of 1 or more) while any lane is still due.
    M due = mand(active, ge(phase, one));
    do {
        started = mor(started, due);
        phase = select(due, sub(phase, one), phase);
        s.pulseCounter = select(due, add(s.pulseCounter, s.pulseLength), s.pulseCounter);
        due = mand(active, ge(phase, one));
    } while (bits(due) != 0);
    s.phase = phase;

    const M counting = mand(active, gt(s.pulseCounter, zero));
    s.pulseCounter = select(counting, sub(s.pulseCounter, one), s.pulseCounter);
    const M ended = mand(counting, le(s.pulseCounter, zero));

    s.activeLanes = active;
    s.active = bits(active);

    // Even voices switch the bit on at a period start and off at a pulse
    // end, odd voices the other way round.
    const unsigned endedSet = bits(ended);
    const int last = kLastVoice.of[bits(started) | endedSet];
    if (last < 0) return outputBit;
    const bool odd = (last & 1) != 0;
    const bool pulseEnded = (endedSet >> last & 1u) != 0;
    return (pulseEnded == odd) ? 1 : 0;
}

// `count` sub-steps taken at once where no lane reaches the end of a
// period, of a pulse or of the cut timer in them: since phases only grow and
// counters only fall, a lane that has not reached its limit after the last
// did not reach it before. True with the values moved on; false, with
// nothing changed, where a lane does reach one.
template <bool anyCut>
QV_LANES bool quietSubSteps(const SubStepPlan& plan, int count, F& phase, F& pulse, F& cut) {
    F nextPhase = phase, nextPulse = pulse, nextCut = cut;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int t = 0; t < count; ++t) {
        nextPhase = sub(nextPhase, plan.negativeStep);
        if (anyCut) nextCut = sub(nextCut, plan.cutDecrement);
    }
    if (plan.pulseAtOnce) {
        nextPulse = sub(pulse, mul(plan.pulseDecrement, splat(static_cast<float>(count))));
    } else {
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
        for (int t = 0; t < count; ++t) nextPulse = sub(nextPulse, plan.pulseDecrement);
    }
    M reached = mor(nlt(nextPhase, plan.phaseLimit), le(nextPulse, plan.pulseLimit));
    if (anyCut) reached = mor(reached, le(nextCut, plan.cutLimit));
    if (bits(reached) != 0) return false;
    phase = nextPhase;
    pulse = nextPulse;
    cut = nextCut;
    return true;
}

// The sub-steps of a sample in which some lane reaches its limit: one at a
// time up to the first in which something happens, which goes to
// subStepExactly, then the rest at once if nothing more happens in them,
// else the same way again.
template <bool anyCut>
QV_RARE int subStepsOneByOne(LaneState& s, std::int32_t& outputBit, bool noteCutOn) {
    SubStepPlan plan = planSubSteps(s, s.pulseCounter, s.cutCounter, noteCutOn);
    std::int32_t bit = outputBit;
    int on = 0;
    F phase = s.phase, pulse = s.pulseCounter, cut = s.cutCounter;
    int step = 0;
    for (;;) {
        for (; step < kSubSteps; ++step) {
            const F nextPhase = sub(phase, plan.negativeStep);
            const F nextPulse = sub(pulse, plan.pulseDecrement);
            M event = mor(nlt(nextPhase, plan.phaseLimit), le(nextPulse, plan.pulseLimit));
            F nextCut = cut;
            if (anyCut) {
                nextCut = sub(cut, plan.cutDecrement);
                event = mor(event, le(nextCut, plan.cutLimit));
            }
            if (bits(event) != 0) break;
            cut = nextCut;
            phase = nextPhase;
            pulse = nextPulse;
            on += bit;
        }
        if (step == kSubSteps) break;

        s.cutCounter = cut;
        s.phase = phase;
        s.pulseCounter = pulse;
        bit = subStepExactly(s, bit, noteCutOn);
        cut = s.cutCounter;
        phase = s.phase;
        pulse = s.pulseCounter;
        on += bit;
        if (++step == kSubSteps) break;
        plan = planSubSteps(s, pulse, cut, noteCutOn);

        if (quietSubSteps<anyCut>(plan, kSubSteps - step, phase, pulse, cut)) {
            on += bit * (kSubSteps - step);
            break;
        }
    }
    s.cutCounter = cut;
    s.phase = phase;
    s.pulseCounter = pulse;
    outputBit = bit;
    return on;
}

// The eight sub-steps of a sample in which some lane reaches its limit, for
// the usual case: no cut timer running, and every active lane with an
// increment below 1 and a phase that one increment takes below 2 (any phase
// below 1, or the start phase of 1 a new note usually has), so that a
// sub-step starts at most one period and leaves the phase below 1. Each
// sub-step is then done in full for every lane, as subStepExactly does it,
// with no branch on what happens in it: cheaper than finding the sub-steps
// where something does. The voices
// that write the output bit in each sub-step are noted (byte t of a word
// for sub-step t) and the bit worked out from them afterwards.
template <int first, int last>
QV_LANES int subStepsInFull(const LaneState& s, F& phase, F& pulse, std::int32_t& outputBit) {
    const F zero = splat(0.0f), one = splat(1.0f), nan = splat(NAN);
    const M active = s.activeLanes;
    const F negativeStep = keep(active, neg(s.increment));
    // Limits no phase or counter reaches on the lanes that do not play, so
    // that each test is one comparison; taking 0 off where nothing happens
    // leaves a value as it is, bit for bit.
    const F startAt = select(active, one, nan), countAbove = select(active, zero, nan);
    std::uint64_t startedIn = 0, endedIn = 0;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int t = first; t < last; ++t) {
        phase = sub(phase, negativeStep);
        const M started = ge(phase, startAt);
        phase = sub(phase, keep(started, one));
        pulse = select(started, add(pulse, s.pulseLength), pulse);
        const M counting = gt(pulse, countAbove);
        pulse = sub(pulse, keep(counting, one));
        const M ended = mand(counting, le(pulse, zero));
        startedIn |= static_cast<std::uint64_t>(bits(started)) << (8 * t);
        endedIn |= static_cast<std::uint64_t>(bits(ended)) << (8 * t);
    }
    // Even voices switch the bit on at a period start and off at a pulse
    // end, odd voices the other way round; the highest voice that writes in
    // a sub-step has the last word. Among a sub-step's writers w, those
    // writing 1 (v) hold the highest one when v, read as a number, is
    // greater than the rest (w ^ v).
    const std::uint64_t writers = startedIn | endedIn;
    const std::uint64_t writingOne = endedIn ^ (writers & 0x5555555555555555u);
    std::int32_t bit = outputBit;
    int on = 0, from = first;
    for (std::uint64_t left = writers; left != 0;) {
        const int shift = lowestBit(left) & ~7;
        const unsigned w = static_cast<unsigned>(writers >> shift) & 0xFFu;
        const unsigned v = static_cast<unsigned>(writingOne >> shift) & 0xFFu;
        const int t = shift >> 3;
        on += bit * (t - from);
        bit = v > (w ^ v) ? 1 : 0;
        from = t;
        left &= ~(std::uint64_t{0xFFu} << shift);
    }
    on += bit * (last - from);
    outputBit = bit;
    return on;
}

// The eight sub-steps of one sample; returns in how many the bit was on.
// In most samples the sub-steps change no lane beyond counting: all eight
// are done that way at once. Otherwise the sample is done again, one sub-step at a time
// where needed, and the plan worked out anew. Without a cut timer running
// (the usual case) the timers are left out. The phases and counters carried
// from sample to sample are passed on their own, so that they can stay in
// registers; `s` holds the rest.
template <bool anyCut>
QV_LANES int subStepsOfSample(LaneState& s, SubStepPlan& plan, F& phase, F& pulse, F& cut, std::int32_t& outputBit) {
    if (quietSubSteps<anyCut>(plan, kSubSteps, phase, pulse, cut)) return outputBit ? kSubSteps : 0;
    int on;
    const F one = splat(1.0f);
    if (!anyCut &&
        (bits(mand(gt(splat(2.0f), add(phase, s.increment)), gt(one, s.increment))) & s.active) == s.active) {
        if (bits(ge(phase, one)) & s.active) {
            // A new note's start phase of 1 (the usual reason for a sample
            // with something in it) starts its period in the first sub-step;
            // the other seven are then mostly quiet.
            on = subStepsInFull<0, 1>(s, phase, pulse, outputBit);
            plan = planSubSteps(s, pulse, cut, plan.noteCutOn);
            if (quietSubSteps<false>(plan, kSubSteps - 1, phase, pulse, cut))
                return on + (outputBit ? kSubSteps - 1 : 0);
            on += subStepsInFull<1, kSubSteps>(s, phase, pulse, outputBit);
        } else {
            on = subStepsInFull<0, kSubSteps>(s, phase, pulse, outputBit);
        }
    } else {
        // A copy goes out of line, so that `s` itself can stay in registers.
        LaneState copy = s;
        copy.phase = phase;
        copy.pulseCounter = pulse;
        copy.cutCounter = cut;
        on = subStepsOneByOne<anyCut>(copy, outputBit, plan.noteCutOn);
        s = copy;
        phase = s.phase;
        pulse = s.pulseCounter;
        cut = s.cutCounter;
    }
    plan = planSubSteps(s, pulse, cut, plan.noteCutOn);
    return on;
}

// The increments of sample i of a run without vibrato: the voices' own
// (worked out by key for the block's rate) where nothing else moves the
// pitch, else from the pitch stage.
QV_LANES F incrementsWithoutVibrato(PitchStage& pitch, const VoiceRun& run, const LaneState& s, float detune,
                                    std::int32_t i) {
    return plainPitch(run, s.active, detune) ? loadF(run.voices->keyIncrement)
                                             : incrementsAt(pitch, run, s.pitch, s.active, detune, i);
}

// Pitch, sub-steps and the output sample for the run's samples while a
// voice plays; answers how many that was. Each sample's pitch is worked out
// kPitchLead samples ahead, and again should a cut free a voice in between.
// Without vibrato (`flat`) it only changes with the active voices and the
// "Detune" parameter: it is worked out again when either does. The two are
// built apart, so that each loop keeps only its own pitch state.
template <bool flat>
QV_LANES std::int32_t samplesOfRun(const VoiceRun& run, LaneState& s, PitchStage& pitch, std::int32_t& bit) {
    F ahead[kPitchLead];
    unsigned aheadFor[kPitchLead] = {};  // the active voices each was worked out for
    // Without vibrato: the detune (as its bits: equal bits give equal
    // pitches) and the voices the increments were set for.
    std::uint32_t flatDetune = 0;
    unsigned flatActive = s.active;
    if (flat) {
        if (s.active != 0) {
            const float detune = run.detune->load();
            std::memcpy(&flatDetune, &detune, sizeof flatDetune);
            s.increment = select(s.activeLanes, incrementsWithoutVibrato(pitch, run, s, detune, 0), s.increment);
        }
    } else {
        for (std::int32_t i = 0; i < kPitchLead && i < run.frames && s.active != 0; ++i) {
            ahead[i] = incrementsAt(pitch, run, s.pitch, s.active, run.detune->load(), i);
            aheadFor[i] = s.active;
        }
    }

    F phase = s.phase, pulse = s.pulseCounter, cut = s.cutCounter;
    SubStepPlan plan = planSubSteps(s, pulse, cut, run.noteCut->load() > 0.0f);
    std::int32_t i = 0;
    for (; i < run.frames && s.active != 0; ++i) {
        // Pitch. Without vibrato the increments, and the plan's steps with
        // them, stay as they are until the detune or the voices change.
        if (flat) {
            const float detune = run.detune->load();
            std::uint32_t detuneBits;
            std::memcpy(&detuneBits, &detune, sizeof detuneBits);
            if (((detuneBits ^ flatDetune) | (s.active ^ flatActive)) != 0) {
                flatDetune = detuneBits;
                flatActive = s.active;
                s.increment = select(s.activeLanes, incrementsWithoutVibrato(pitch, run, s, detune, i), s.increment);
                plan.negativeStep = keep(s.activeLanes, neg(s.increment));
            }
        } else {
            const int slot = i % kPitchLead;
            const F increment = aheadFor[slot] == s.active
                                    ? ahead[slot]
                                    : incrementsAt(pitch, run, s.pitch, s.active, run.detune->load(), i);
            if (i + kPitchLead < run.frames) {
                ahead[slot] = incrementsAt(pitch, run, s.pitch, s.active, run.detune->load(), i + kPitchLead);
                aheadFor[slot] = s.active;
            }
            s.increment = select(s.activeLanes, increment, s.increment);
            plan.negativeStep = keep(s.activeLanes, neg(s.increment));
        }

        // Sub-steps.
        const bool noteCutOn = run.noteCut->load() > 0.0f;
        if (noteCutOn != plan.noteCutOn) plan = planSubSteps(s, pulse, cut, noteCutOn);
        const int on = plan.anyCut ? subStepsOfSample<true>(s, plan, phase, pulse, cut, bit)
                                   : subStepsOfSample<false>(s, plan, phase, pulse, cut, bit);

        // Output.
        float sample = run.noteVolume * kAccumulated[on];
        sample = sample * run.outputGain->load();
        // A gain that is not a number, or too large for a finite sample, is
        // silence: the host's buffers never get a NaN or an infinity.
        if (!std::isfinite(sample)) sample = 0.0f;
        run.out0[i] = sample;
        run.out1[i] = sample;
    }
    s.phase = phase;
    s.pulseCounter = pulse;
    s.cutCounter = cut;
    return i;
}

// The pitch stage as the last run left it.
QV_LANES void loadPitchStage(const PitchCache& cache, PitchStage& pitch) {
    pitch.exponent = loadF(cache.exponent);
    pitch.increment = loadF(cache.increment);
    pitch.rate = cache.rate;
    pitch.detunedFor = 0u;
    pitch.detuned = lanes(0u);
    pitch.approx = pitch.approxExponent = splatD(0.0);
    pitch.chainSteps = -1;
}

QV_LANES void storePitchStage(const PitchStage& pitch, PitchCache& cache) {
    storeF(cache.exponent, pitch.exponent);
    storeF(cache.increment, pitch.increment);
    cache.rate = pitch.rate;
}

// Pitch, sub-steps and the output sample for every sample of the run, its
// pitch stage kept in `pitch`.
template <bool flat>
QV_LANES void renderRunWith(VoiceRun& run, PitchStage& pitch) {
    LaneState s;
    loadLanes(*run.voices, run.active, s);
    std::int32_t bit = *run.outputBit;
    std::int32_t i = samplesOfRun<flat>(run, s, pitch, bit);

    // Once no voice plays, nothing writes the bit in any sub-step until the
    // next event: every sample has the same level.
    // (What the loop reads of `run` is taken first: the samples it writes
    // could otherwise be taken for any of it.)
    const float level = run.noteVolume * kAccumulated[bit ? kSubSteps : 0];
    const RelaxedFloat& gain = *run.outputGain;
    float* const out0 = run.out0;
    float* const out1 = run.out1;
    for (const std::int32_t frames = run.frames; i < frames; ++i) {
        float sample = level * gain.load();
        if (!std::isfinite(sample)) sample = 0.0f;
        out0[i] = sample;
        out1[i] = sample;
    }

    storeLanes(s, *run.voices);
    *run.outputBit = bit;
    run.playing = s.active;
}

QV_LANES void renderRun(VoiceRun& run) {
    PitchStage pitch;
    loadPitchStage(*run.pitchCache, pitch);
    if (run.vibratoFlat)
        renderRunWith<true>(run, pitch);
    else
        renderRunWith<false>(run, pitch);
    storePitchStage(pitch, *run.pitchCache);
}

// A run without vibrato and the runs after it for as long as `next` (which
// applies the events between them) sets up one that needs none either. The
// pitch stage goes on from run to run as it would within one.
template <class Next>
QV_LANES void renderPlainRuns(VoiceRun& run, Next next) {
    PitchStage pitch;
    loadPitchStage(*run.pitchCache, pitch);
    do renderRunWith<true>(run, pitch);
    while (next(run));
    storePitchStage(pitch, *run.pitchCache);
}
