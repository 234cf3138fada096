mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- drawing
-- shapes, colours, fill patterns

-- every shape takes pixel positions (0,0 is the top left corner,
-- 127,127 the bottom right) and an optional colour 0..15. leave the
-- colour out and the pen colour, the last one given, is used.

-- a fill pattern is a 4x4 tile of bits, one hex digit per row, top row
-- first. where a bit is 0 the colour's low digit is drawn, where it is
-- 1 its high digit: 0x1c is colour 12 with colour 1 in the pattern.
-- adding 0.5 to a pattern leaves the 1 bits untouched instead.
patterns = {
 {0x0000, "solid"},
 {0x5a5a, "checker"},
 {0x0f0f, "stripes"},
 {0x8421, "diagonal"},
 {0xa5a5 + 0.5, "see-through"},
}

t = 0

function _update()
 t += 1
end

-- a fan of lines turning round a point; angles are in turns (0..1)
function draw_fan(cx, cy, r)
 for i = 0, 11 do
  local a = i / 12 + t / 240
  line(cx, cy, cx + cos(a) * r, cy + sin(a) * r, 8 + i % 8)
 end
end

-- one pixel at a time: a wave of dots
function draw_wave(w, y)
 for x = 0, w, 2 do
  pset(x, y + sin(x / 64 + t / 60) * 8, 12)
 end
end

function _draw()
 cls(1)

 -- one swatch per fill pattern; the framed one changes every second
 local pick = flr(t / 30) % #patterns + 1
 for i = 1, #patterns do
  local x = 3 + (i - 1) * 25
  fillp(patterns[i][1])
  rectfill(x, 3, x + 22, 22, 0x1c)
  fillp()
  rect(x - 1, 2, x + 23, 23, i == pick and 7 or 5)
 end
 print("fillp: " .. patterns[pick][2], 3, 27, 7)

 -- outlines and filled circles; the radius breathes with a sine
 local r = 8 + sin(t / 90) * 4
 circfill(20, 52, r, 9)
 circ(20, 52, r + 3, 10)
 -- a pattern inside, an outline round it
 fillp(0x5a5a)
 circfill(62, 52, 12, 0x28)
 fillp()
 circ(62, 52, 12, 7)
 draw_fan(104, 52, 14)

 -- clip: only the box is drawn into, whatever the circle covers
 rect(3, 72, 60, 100, 6)
 clip(4, 73, 56, 27)
 circfill(32 + cos(t / 120) * 30, 86, 16, 11)
 clip()

 -- the camera moves everything drawn after it: this wave is drawn at
 -- 0..54 across but lands at 70..124
 camera(-70, -72)
 rectfill(0, 0, 54, 28, 0)
 draw_wave(54, 14)
 camera()

 -- pal swaps colours: every 12 drawn after it comes out as 14
 pal(12, 14)
 rectfill(3, 106, 60, 122, 12)
 pal()
 rectfill(67, 106, 124, 122, 12)
 print("pal(12, 14)", 10, 112, 7)
 print("no pal", 84, 112, 1)
end
