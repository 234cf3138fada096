mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- sound effects
-- sfx and what their notes mean

-- a sound effect (__sfx__ below) is 32 notes played one after another.
-- each note has a pitch (0 is a low c, 12 steps make an octave), one of
-- eight waveforms (0 triangle, 1 tilted saw, 2 saw, 3 square, 4 pulse,
-- 5 organ, 6 noise, 7 phaser), a volume 0..7 and an effect (0 none,
-- 1 slide, 2 vibrato, 3 drop, 4 fade in, 5 fade out, 6 fast arpeggio,
-- 7 slow arpeggio). the speed is how long each note lasts, in 1/120ths
-- of a second. a sound with a loop repeats its loop until stopped.

sounds = {
 {0, "jump: a slide up"},
 {1, "coin: an arpeggio"},
 {2, "boom: noise fading out"},
 {3, "laser: a drop"},
 {4, "bell: vibrato"},
 {5, "siren: loops"},
}
sel = 1

function _init()
 sfx(1)
end

function _update()
 if (btnp(⬆️)) sel = (sel - 2) % #sounds + 1
 if (btnp(⬇️)) sel = sel % #sounds + 1
 -- sfx(n) finds a free channel (0..3) by itself; sfx(n, c) would pick
 -- channel c
 if (btnp(🅾️)) sfx(sounds[sel][1])
 -- sfx(-1) stops every sound: the siren needs it
 if (btnp(❎)) sfx(-1)
end

function _draw()
 cls(1)
 print("sound effects", 4, 4, 7)
 for i = 1, #sounds do
  local y = 14 + i * 8
  if (i == sel) rectfill(2, y - 2, 125, y + 6, 13)
  print("sfx " .. sounds[i][1] .. "  " .. sounds[i][2], 6, y, i == sel and 7 or 6)
 end

 -- stat(16..19): the sfx playing on channel 0..3, or -1;
 -- stat(20..23): the note (0..31) it has reached
 for c = 0, 3 do
  local n, note = stat(16 + c), stat(20 + c)
  local y = 80 + c * 8
  print("channel " .. c, 6, y, 6)
  if n >= 0 then
   print("sfx " .. n, 48, y, 11)
   rect(76, y, 76 + 32 + 1, y + 4, 5)
   rectfill(77, y + 1, 77 + note, y + 3, 11)
  else
   print("-", 48, y, 5)
  end
 end
 print("⬆️⬇️ choose  🅾️ play  ❎ stop", 4, 120, 13)
end
__sfx__
00030000143501b351203412433126315000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0004000024456284562b4563045624456284562b45630456304403043500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0006000014670106610c6510a64108631066210561500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00030000322532e243322332e22300000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000c00002456224552245422453224522245150000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000a00041e74126741267411e74100000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
