mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- music
-- patterns, loops and fades

-- the music (__music__ below) is 64 patterns. a pattern names up to four
-- sound effects that play together, one per channel, and carries three
-- flags: loop start, loop end and stop. when a pattern ends the next one
-- plays; after a loop end the music goes back to the last loop start,
-- and after a stop it ends. in memory pattern p is the four bytes at
-- 0x3100 + 4 * p, one per channel: bits 0..5 the sfx, bit 6 set when the
-- channel is off, bit 7 a flag (byte 0 loop start, 1 loop end, 2 stop).
-- this tune: pattern 0 is an intro, 1..3 loop (1 starts the loop, 3
-- ends it). the sfx themselves are in __sfx__.

names = {"intro", "verse", "chorus", "turn"}
flag_names = {"loop start", "loop end", "stop"}
pick = 0

function _init()
 -- music(n, fade_ms, mask): mask bits keep channels free for sfx
 music(0)
end

function _update()
 if (btnp(⬅️)) pick = (pick - 1) % #names
 if (btnp(➡️)) pick = (pick + 1) % #names
 -- start from the chosen pattern, fading in over half a second
 if (btnp(🅾️)) music(pick, 500)
 -- music(-1, ms) fades out over ms milliseconds, then stops
 if (btnp(❎)) music(-1, 1000)
end

function pattern_byte(p, c)
 return peek(0x3100 + 4 * p + c)
end

function _draw()
 cls(0)
 print("music patterns", 4, 4, 7)
 local now = stat(24)  -- the pattern playing, or -1
 for p = 0, #names - 1 do
  local y = 16 + p * 20
  rectfill(2, y - 2, 125, y + 15, p == now and 2 or 1)
  if (p == pick) rect(1, y - 3, 126, y + 16, 7)
  print(p .. " " .. names[p + 1], 6, y, 7)
  for c = 0, 3 do
   local b = pattern_byte(p, c)
   local x = 6 + c * 30
   if band(b, 0x40) != 0 then
    print("off", x, y + 8, 5)
   else
    print("sfx " .. band(b, 0x3f), x, y + 8, 6 + c)
   end
   if (c < 3 and band(b, 0x80) != 0) print(flag_names[c + 1], 70, y, 10)
  end
 end

 -- stat(25): patterns played since music() started; stat(26): ticks
 -- into this pattern, out of 32 notes times the sfx speed
 if now >= 0 then
  local speed = peek(0x3200 + 68 * band(pattern_byte(now, 0), 0x3f) + 65)
  local done = stat(26) / (32 * speed)
  rectfill(4, 100, 4 + 119 * done, 104, 11)
  print("played " .. stat(25) .. " patterns", 4, 108, 6)
 else
  print("no music", 4, 108, 5)
 end
 print("⬅️➡️ pick  🅾️ play  ❎ fade out", 2, 120, 13)
end
__sfx__
000f00000c0500c050180500c050130500c05018050130500905009050150500905010050090501505010050050500505011050050500c05005050110500c050070500705013050070500e05007050130500e050
000f00001807332625326253262524655326251807332625180733262532625326252465532625180733262518073326253262532625246553262518073326251807332625326253262524655326251807332625
000f00001c3301c3201f3301f3202433024320233301f33021330213202433024320213301f3301c3301c3201d3301d32021330213202433024320213301d3301f3301f320233302332026330243302333023320
000f000028540285302b5402b530285402654024540245302454024530285402853024540235402154021530215402153024540245302954028540265402653026540265302b5402b53029540285402654023540
000f0000181271c1271f12724127181271c1271f1272412715127181271c1272112715127181271c127211271112715127181271d1271112715127181271d12713127171271a1271f12713127171271a1271f127
000f0000243302432021330213201d3301d3202133024330263302632023330233201f3301f32023330263302833028320243302432021330213202433028330263302632023330233201f3301f3201f32000000
000f0000050500505011050050500c05005050110500c050070500705013050070500e05007050130500e0500905009050150500905010050090501505010050070500705013050070500e05007050130500e050
__music__
00 00014344
01 00010244
00 00010304
02 06010544

