-- Run by ardour7-lua: builds a session with a MIDI track whose instrument is
-- the plug-in, reports what Ardour knows about the plug-in, then records the
-- instrument's output onto an audio track in real time while the phrase
-- player (phrase_player.lua, inserted before the instrument) plays.
--
-- Arguments: SESSION_DIR RATE BLOCK STOP_SAMPLE [Name=value ...]
-- The Name=value pairs set plug-in parameters before the transport rolls.
-- Lines starting with "report: " are checked by scripts/test-ardour.sh.

local session_dir, rate, block, stop_sample = arg[1], tonumber(arg[2]), tonumber(arg[3]), tonumber(arg[4])
assert(session_dir and rate and block and stop_sample,
	"usage: record_phrase.lua SESSION_DIR RATE BLOCK STOP_SAMPLE [Name=value ...]")

local function report(...) print("report: " .. string.format(...)) end
local function wait_until(what, seconds, done)
	for _ = 1, seconds * 20 do
		if done() then return end
		ARDOUR.LuaAPI.usleep(50000)
	end
	error("timed out waiting for " .. what)
end

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "Ardour has no dummy audio backend")
AudioEngine:set_sample_rate(rate)
AudioEngine:set_buffer_size(block)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(create_session(session_dir, "quorvel", rate), "cannot create a session in " .. session_dir)
report("engine rate=%d block=%d", Session:sample_rate(), Session:get_block_size())

-- Recorded takes are kept as 32-bit float, so nothing is lost on the way to disk.
Session:cfg():set_native_file_data_format(ARDOUR.SampleFormat.Float)

-- What the plug-in manager learned from the scanner.
-- The plug-in: the VST 2.4 one by its name, or with QUORVEL_ARDOUR_LV2 set
-- the LV2 one by its URI.
local lv2 = os.getenv("QUORVEL_ARDOUR_LV2")
local info = lv2 and ARDOUR.LuaAPI.new_plugin_info(lv2, ARDOUR.PluginType.LV2)
	or ARDOUR.LuaAPI.new_plugin_info("brightmoor - quorvel", ARDOUR.PluginType.LXVST)
assert(not info:isnil(), "Ardour does not list the plug-in")
report("plugin name=%s", info.name)
report("plugin maker=%s", info.creator)
if lv2 then
	report("plugin unique_id=%s", info.unique_id)
else
	report("plugin unique_id=%s (0x%08X)", info.unique_id, tonumber(info.unique_id))
end
report("plugin category=%s instrument=%s", info.category, tostring(info:is_instrument()))
report("plugin audio_inputs=%d audio_outputs=%d midi_inputs=%d",
	info.n_inputs:n_audio(), info.n_outputs:n_audio(), info.n_inputs:n_midi())

-- Strict I/O stays off: in Ardour 7.3 run headless, creating a strict-I/O
-- instrument track now and then fails with "Port already exists" (its own
-- synth does the same).
local tracks = Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
	ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), false, info, nil, nil, 1, "Synth",
	ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
assert(tracks:size() == 1, "no MIDI track was created")
local synth = tracks:front()
local insert = synth:nth_plugin(0):to_insert()
assert(not insert:isnil(), "the MIDI track has no instrument")
local plugin = insert:plugin(0)
-- Ardour numbers an LV2 plug-in's parameters by port, MIDI and audio ports
-- included; the control inputs, counted from 0, are the parameters that
-- set_processor_param takes (for VST 2.4 the two numberings agree).
local index_of, controls = {}, {}
for i = 0, plugin:parameter_count() - 1 do
	if plugin:parameter_is_control(i) and plugin:parameter_is_input(i) then controls[#controls + 1] = i end
end
report("instance name=%s maker=%s unique_id=%s parameters=%d", plugin:name(), plugin:maker(), plugin:unique_id(),
	#controls)
for n, i in ipairs(controls) do
	local _, pd = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
	report("param %d %s range=%g..%g", n - 1, plugin:parameter_label(i), pd[2].lower, pd[2].upper)
	index_of[plugin:parameter_label(i)] = n - 1
end

for n = 5, #arg do
	local name, value = arg[n]:match("^(.-)=(.*)$")
	assert(name and index_of[name] and tonumber(value), "bad parameter setting " .. arg[n])
	assert(ARDOUR.LuaAPI.set_processor_param(insert, index_of[name], tonumber(value)), "cannot set " .. name)
end

-- The phrase player goes first on the track, so its MIDI reaches the instrument.
local player = ARDOUR.LuaAPI.new_luaproc(Session, "Quorvel Test Phrase")
assert(not player:isnil(), "the phrase player script was not found")
assert(synth:add_processor_by_index(player, 0, nil, true) == 0, "cannot insert the phrase player")

-- The audio track records exactly what leaves the MIDI track, nothing else.
local takes = Session:new_audio_track(2, 2, nil, 1, "Capture", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, false, false)
assert(takes:size() == 1, "no audio track was created")
local capture = takes:front()
capture:input():disconnect_all(nil)
for c = 0, 1 do
	assert(capture:input():audio(c):connect(synth:output():audio(c):name()) == 0, "cannot connect the capture track")
end
capture:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)

Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
wait_until("the transport to roll", 10, function() return Session:transport_rolling() end)
wait_until("the phrase to end", 30, function() return Session:transport_sample() >= stop_sample end)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
wait_until("the transport to stop", 10, function() return not Session:transport_rolling() end)
ARDOUR.LuaAPI.usleep(300000) -- the butler finishes writing the take

local regions = capture:playlist():region_list():size()
report("recorded regions=%d", regions)
Session:save_state("", false, false, false, false, false)
close_session()
print("record_phrase.lua: done")
