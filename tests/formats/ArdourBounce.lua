-- Renders the same input through Velmora plug-ins in an Ardour session, for
-- the Ardour session test (ArdourSessionTest.cpp). Run by ardour7-lua with:
--   VELMORA_SESSION   a folder for the session (created)
--   VELMORA_PLUGINS   what to bounce, one "TYPE NAME PARAM=VALUE..." a line,
--                     TYPE LV2 (NAME the URI) or VST3 (NAME the plug-in's name),
--                     PARAM the index that set_processor_param takes
-- and optionally:
--   VELMORA_INPUT     the Dummy backend's input signal (default its white noise)
--   VELMORA_DRIVER    the Dummy backend's speed (default "Normal Speed")
--   VELMORA_RECORD_MS how long to record, in milliseconds of wall time
--                     (default 2000; at a faster speed the take is longer)
--   VELMORA_TEMPOS    the session's tempo map, "BPM@SAMPLE ..." (the first
--                     replaces the session's tempo at 0; Ardour moves a later
--                     one to the nearest beat before it)
-- The input is recorded into one stereo track, the region's fades are
-- switched off, the session is saved (its file holds the tempo map as
-- Ardour placed it), then for each plug-in:
-- the plug-in is added to the track, its parameters are set and the region
-- is bounced through the plug-in. The engine keeps running: a bounce holds
-- off its processing while it runs, and stopping and starting the Dummy
-- backend again re-registers ports Ardour still holds (it then fails to set
-- up its transport masters and may crash). Prints the take's and every
-- bounce's file names ("input ...", "output N ...").
local folder = os.getenv("VELMORA_SESSION")
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend:set_driver(os.getenv("VELMORA_DRIVER") or "Normal Speed") == 0, "no such Dummy speed")
backend:set_device_name(os.getenv("VELMORA_INPUT") or "Uniform White Noise")
backend:set_sample_rate(44100)
backend:set_buffer_size(1024)
assert(AudioEngine:start(false) == 0, "the Dummy backend did not start")
local s = create_session(folder, "velmora", 44100)
assert(s, "no session")
local tempos = os.getenv("VELMORA_TEMPOS")
if tempos then
  local map = Temporal.TempoMap.fetch_writable()
  local placed, problem = pcall(function()
    for bpm, sample in tempos:gmatch("([%d.]+)@(%d+)") do
      map:set_tempo(Temporal.Tempo(tonumber(bpm), tonumber(bpm), 4), Temporal.timepos_t(tonumber(sample)))
    end
  end)
  if not placed then
    Temporal.TempoMap.abort_update()
    error("cannot set the tempos " .. tempos .. ": " .. tostring(problem))
  end
  Temporal.TempoMap.update(map)
end
local t = s:new_audio_track(2, 2, nil, 1, "in", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()

t:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
s:maybe_enable_record(false)
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1000 * tonumber(os.getenv("VELMORA_RECORD_MS") or "2000"))
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(500000)
t:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
local region
for r in t:playlist():region_list():iter() do region = r end
assert(region, "nothing recorded")
region:to_audioregion():set_fade_in_active(false)
region:to_audioregion():set_fade_out_active(false)
local first = region:position():samples()
local last = first + region:length():samples()
print("input " .. region:name())
s:save_state("", false, false, false, false, false)

local types = { LV2 = ARDOUR.PluginType.LV2, VST3 = ARDOUR.PluginType.VST3 }
local count = 0
for line in os.getenv("VELMORA_PLUGINS"):gmatch("[^\n]+") do
  local words = {}
  for w in line:gmatch("%S+") do words[#words + 1] = w end
  local p = ARDOUR.LuaAPI.new_plugin(s, words[2], types[words[1]], "")
  assert(not p:isnil(), "no plug-in " .. line)
  t:add_processor_by_index(p, 0, nil, true)
  for i = 3, #words do
    local index, value = words[i]:match("(%d+)=(.+)")
    assert(ARDOUR.LuaAPI.set_processor_param(p, tonumber(index), tonumber(value)), "refused " .. words[i])
  end
  -- Run on until the cycle begun at the plug-in's default settings (half a
  -- second at 120 BPM) has ended, with room for a loaded machine: the
  -- bounce then starts in the pattern of the settings just made.
  ARDOUR.LuaAPI.usleep(1500000)
  count = count + 1
  local out = t:bounce_range(first, last, ARDOUR.InterThreadInfo(), t:main_outs(), false, "bounce" .. count)
  assert(not out:isnil(), "no bounce of " .. line)
  print("output " .. count .. " " .. out:name())
  assert(t:remove_processor(p, nil, true) == 0, "cannot remove " .. line)
end
close_session()
