mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- music visualiser
-- watching music through stat()

-- while music plays, stat() tells what each of the four channels does:
-- stat(16..19) the sfx on channel 0..3 (or -1), stat(20..23) the note it
-- is on (0..31), stat(24) the pattern, stat(25) how many patterns have
-- played and stat(26) the ticks into the pattern. knowing the sfx and
-- the note, the note itself can be read from memory: note n of sfx s is
-- the two bytes at 0x3200 + 68 * s + 2 * n, with the pitch in bits 0..5,
-- the waveform in bits 6..8 and the volume in bits 9..11.

colours = {12, 11, 10, 8}
level = {0, 0, 0, 0}  -- bar heights, falling back slowly
last = {}             -- the note each channel was on last frame
trace = {}            -- recent pitches of the lead channel

function _init()
 music(0)
end

function _update()
 if (btnp(🅾️)) music(0)
 if (btnp(❎)) music(-1, 800)
 for c = 0, 3 do
  local s, n = stat(16 + c), stat(20 + c)
  local pitch, volume = 0, 0
  if s >= 0 and n >= 0 then
   local note = peek2(0x3200 + 68 * s + 2 * n)
   pitch, volume = band(note, 63), band(shr(note, 9), 7)
  end
  -- a new note kicks its bar up to its volume; then it sinks
  if n != last[c] and volume > 0 then
   level[c + 1] = volume * 6
  else
   level[c + 1] = max(0, level[c + 1] - 1.5)
  end
  last[c] = n
  if (c == 3) add(trace, volume > 0 and pitch or -1)
 end
 if (#trace > 120) del(trace, trace[1])
end

function _draw()
 cls(0)
 -- one bar per channel, with the sfx and note numbers under it
 for c = 0, 3 do
  local x = 8 + c * 30
  local h = level[c + 1]
  fillp(0x5a5a)
  rectfill(x, 80 - h, x + 20, 80, 0x10 + colours[c + 1])
  fillp()
  rect(x, 80 - h, x + 20, 80, colours[c + 1])
  print("ch " .. c, x + 2, 84, 6)
  print("sfx " .. stat(16 + c), x, 91, 5)
  print("n " .. stat(20 + c), x, 98, 5)
 end

 -- the lead's pitch over the last four seconds, high notes higher
 for i = 2, #trace do
  local a, b = trace[i - 1], trace[i]
  if (a >= 0 and b >= 0) line(i + 3, 60 - a, i + 4, 60 - b, 7)
 end

 -- how far into the pattern: ticks out of 32 notes times the speed
 local p = stat(24)
 if p >= 0 then
  local s = stat(16)
  local speed = s >= 0 and peek(0x3200 + 68 * s + 65) or 16
  rectfill(8, 108, 8 + stat(26) / (32 * speed) * 110, 110, 13)
  print("pattern " .. p .. "  played " .. stat(25), 8, 114, 6)
 else
  print("stopped", 8, 114, 5)
 end
 print("🅾️ play  ❎ fade out", 8, 121, 13)
end
__sfx__
000c00000e1401a1400e1401a1400e1401a140151401a1400a140161400a140161400a140161401114016140111401d140111401d140111401d140181401d1400c140181400c140181400c140181401314018140
000c00001806300000376150000026645000003761537615180630000037615000002664500000376153761518063000003761500000266450000037615376151806300000376150000026645000003761537615
000c00001a4261d42621426264261a4261d4262142626426164261a4261d42622426164261a4261d426224261d4262142624426294261d426214262442629426184261c4261f42624426184261c4261f42624426
000c00002605026052260522405021050210521d0501d052220502205221050210521d0501d0521a0501a0521d0501d0522105021052240502405229050290522805028052280522605024050240522405224052
000c0000131401f140131401f140131401f1401a1401f1400a140161400a140161400a1401614011140161400c140181400c140181400c1401814013140181401514021140151402114015140211401c14021140
000c00001f42622426264262b4261f42622426264262b426164261a4261d42622426164261a4261d42622426184261c4261f42624426184261c4261f426244262142625426284262d4262142625426284262d426
000c00002b0502b05229050290522605026052220502205229050290522905229052260502605222050220522405024052260502605228050280522b0502b0522d0502d0522d0522d05228050280522805228052
__music__
01 00010244
00 00010203
02 04010506

