ardour {
	["type"]    = "dsp",
	name        = "Brisalto Test Tone",
	category    = "Utility",
	license     = "GPL-3.0-or-later",
	author      = "Kestrom",
	description = [[A 220 Hz sine at 0.7 of full scale on every output, from the first sample on]]
}

-- Any channel count, the same count in and out: the tone replaces whatever comes in.
function dsp_ioconfig ()
	return { { audio_in = -1, audio_out = -1 } }
end

local rate = 48000
local position = 0

function dsp_init (sample_rate)
	rate = sample_rate
end

function dsp_run (ins, outs, n_samples)
	local tone = {}
	for s = 1, n_samples do
		local t = (position + s - 1) / rate
		tone[s] = 0.7 * math.sin (2 * math.pi * 220 * t)
	end
	position = position + n_samples
	for c = 1, #outs do
		outs[c]:set_table (tone, n_samples)
	end
end
