-- Builds an Ardour session for the host tests, headless, on Ardour's dummy backend:
--   ardour7-lua make_session.lua <folder> <name> <VST3|LV2> <plug-in name> <channels> [program]
-- One audio track of <channels> channels: the test tone, then the plug-in, its first two
-- channels into the (stereo) master bus.
-- With a program name, the program is picked through the plug-in's preset interface, as
-- Ardour's own preset box does. The session range covers the first three seconds.

local folder, name, kind, plugin_name, channels, program = arg[1], arg[2], arg[3], arg[4], tonumber (arg[5]), arg[6]

local function fail (message)
	print ("make_session: " .. message)
	os.exit (1)
end

AudioEngine:set_backend ("None (Dummy)", "", "")
AudioEngine:start (false)

local session = create_session (folder, name, 48000)
if not session then fail ("cannot create the session") end

local tracks = session:new_audio_track (channels, channels, nil, 1, "Tone",
                                        ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()

local tone = ARDOUR.LuaAPI.new_luaproc (session, "Brisalto Test Tone")
if tone:isnil () then fail ("no test tone") end
if track:add_processor_by_index (tone, 0, nil, true) ~= 0 then fail ("cannot add the test tone") end

local plugin_type = (kind == "VST3") and ARDOUR.PluginType.VST3 or ARDOUR.PluginType.LV2
local processor = ARDOUR.LuaAPI.new_plugin (session, plugin_name, plugin_type, "")
if processor:isnil () then fail ("no plug-in " .. plugin_name .. " of type " .. kind) end
if track:add_processor_by_index (processor, 1, nil, true) ~= 0 then fail ("cannot add the plug-in") end

local plugin = processor:to_insert ():plugin (0)
print ("make_session: inputs " .. processor:to_insert ():input_streams ():n_audio ()
       .. " outputs " .. processor:to_insert ():output_streams ():n_audio ())

if program and program ~= "" then
	local preset = plugin:preset_by_label (program)
	if not preset then fail ("no program " .. program) end
	if not plugin:load_preset (preset) then fail ("cannot load program " .. program) end
	print ("make_session: program " .. plugin:last_preset ().label)
end

-- The master bus is stereo: only the track's first two channels go there, one each.
for c = 2, channels - 1 do
	track:output ():audio (c):disconnect_all ()
end

-- A range marker, made the session range below: Ardour's scripting cannot add one directly.
session:locations ():add_range (Temporal.timepos_t (0), Temporal.timepos_t (48000 * 3))
session:save_state ("", false, false, false, false, false)
close_session ()

local path = folder .. "/" .. name .. ".ardour"
local file = io.open (path, "r")
local text = file:read ("*a")
file:close ()
text = text:gsub ('flags="IsRangeMarker"', 'flags="IsSessionRange"', 1)
file = io.open (path, "w")
file:write (text)
file:close ()
print ("make_session: done")
quit ()
