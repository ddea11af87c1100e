-- Run by ardour7-lua, twice: "save" creates a session with the instrument on
-- a MIDI track, sets parameters and saves; "check" opens the saved session
-- in a new process and reports what the freshly loaded plug-in holds. The
-- instrument keeps no chunk, so Ardour brings the values back through the
-- plug-in's parameter calls.
--
-- Arguments: save SESSION_DIR Name=value ... | check SESSION_DIR
-- Lines starting with "report: " are checked by scripts/test-ardour.sh.

local mode, session_dir = arg[1], arg[2]
assert((mode == "save" or mode == "check") and session_dir,
	"usage: parameter_recall.lua save SESSION_DIR Name=value ... | check SESSION_DIR")

local function report(...) print("report: " .. string.format(...)) end

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "Ardour has no dummy audio backend")
AudioEngine:set_sample_rate(48000)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")

local insert
if mode == "save" then
	assert(create_session(session_dir, "recall", 48000), "cannot create a session in " .. session_dir)
	-- The VST 2.4 plug-in by its name, or with QUORVEL_ARDOUR_LV2 set the LV2 one by its URI.
	local lv2 = os.getenv("QUORVEL_ARDOUR_LV2")
	local info = lv2 and ARDOUR.LuaAPI.new_plugin_info(lv2, ARDOUR.PluginType.LV2)
		or ARDOUR.LuaAPI.new_plugin_info("brightmoor - quorvel", ARDOUR.PluginType.LXVST)
	assert(not info:isnil(), "Ardour does not list the plug-in")
	local tracks = Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
		ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), false, info, nil, nil, 1, "Synth",
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
	assert(tracks:size() == 1, "no MIDI track was created")
	insert = tracks:front():nth_plugin(0):to_insert()
else
	assert(load_session(session_dir, "recall"), "cannot open the session in " .. session_dir)
	local track = Session:route_by_name("Synth")
	assert(not track:isnil(), "the reopened session has no track Synth")
	insert = track:nth_plugin(0):to_insert()
end
assert(not insert:isnil(), "the track has no instrument")
local plugin = insert:plugin(0)
-- The control inputs, by Ardour's port-based numbering (see record_phrase.lua).
local controls = {}
for i = 0, plugin:parameter_count() - 1 do
	if plugin:parameter_is_control(i) and plugin:parameter_is_input(i) then controls[#controls + 1] = i end
end
report("%s: plugin %s with %d parameters", mode, plugin:name(), #controls)

local index_of = {}
for n, i in ipairs(controls) do index_of[plugin:parameter_label(i)] = n - 1 end

if mode == "save" then
	for n = 3, #arg do
		local name, value = arg[n]:match("^(.-)=(.*)$")
		assert(name and index_of[name] and tonumber(value), "bad parameter setting " .. arg[n])
		assert(ARDOUR.LuaAPI.set_processor_param(insert, index_of[name], tonumber(value)), "cannot set " .. name)
	end
end

-- What the plug-in holds: Ardour reads a VST2 parameter through the plug-in's
-- getParameter, an LV2 control port from the value it connects the port to.
-- Nine digits tell every single-precision value apart.
for n, i in ipairs(controls) do
	local value, ok = ARDOUR.LuaAPI.get_plugin_insert_param(insert, n - 1, false)
	assert(ok[3], "Ardour cannot read parameter " .. n - 1)
	report("%s: %s = %.9g", mode, plugin:parameter_label(i), value)
end

if mode == "save" then Session:save_state("", false, false, false, false, false) end
close_session()
print("parameter_recall.lua: " .. mode .. " done")
