ardour {
	["type"]    = "dsp",
	name        = "Quorvel Test Phrase",
	category    = "Utility",
	license     = "MIT",
	author      = "Quorvel",
	description = [[Sends a fixed MIDI phrase to the next processor, each message at its session sample,
while the transport rolls.]]
}

-- { session sample, status, data 1, data 2 }, in time order.
PHRASE = {
-- @PHRASE@
}

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } }
end

function dsp_run (_, _, n_samples)
	if not Session:transport_rolling () then return end
	local start = Session:transport_sample ()
	local count = 0
	for _, e in ipairs (PHRASE) do
		if e[1] >= start and e[1] < start + n_samples then
			count = count + 1
			-- event times in midiout count from 1 at the first sample of the cycle
			midiout[count] = { time = e[1] - start + 1, data = { e[2], e[3], e[4] } }
		end
	end
end
