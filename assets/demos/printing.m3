mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- printing
-- text, cursor, colours, glyphs

-- print(v, x, y, col) writes at a place. print(v) alone writes at the
-- cursor and moves it down a line (at the bottom the screen scrolls).
-- cursor(x, y, col) moves the cursor, color(col) sets the pen colour.
-- a letter is 4 pixels wide and a line 6 high: 32 letters to a line.
-- numbers and true/false print as well; tostr(n, true) gives hex.

-- the font's 26 glyphs are 8 pixels wide. in this file they are written
-- as the symbols below; in the cart's memory each is one character,
-- 0x80..0x99, so #glyphs is 26 and sub() picks one out.
glyphs = "█▒🐱⬇️░✽●♥☉웃⌂⬅️😐♪🅾️◆…➡️★⧗⬆️ˇ∧❎▤▥"

t = 0

function _update()
 t += 1
end

-- text with a dark edge: drawn eight times around, then on top
function outlined(s, x, y, col, edge)
 for dx = -1, 1 do
  for dy = -1, 1 do
   print(s, x + dx, y + dy, edge)
  end
 end
 print(s, x, y, col)
end

function centred(s, y, col)
 print(s, 64 - #s * 2, y, col)
end

function _draw()
 cls(1)
 centred("printing", 3, 7)
 outlined("outlined", 4, 12, 10, 0)
 local c = flr(t / 8) % 15 + 1
 print("colour " .. c, 60, 12, c)

 -- print without a place continues below the last line
 cursor(4, 22, 6)
 print("each print moves down a line")
 print("1/3 = " .. 1 / 3 .. ", 2^10 = " .. 2 ^ 10)
 print("tostr(200, true) = " .. tostr(200, true))
 print(#glyphs == 26)
 color(11)
 print("color(11) set the pen")

 -- every glyph with its character code
 for i = 0, #glyphs - 1 do
  local x, y = 4 + (i % 6) * 20, 56 + flr(i / 6) * 9
  print(sub(tostr(0x80 + i, true), 5, 6), x, y, 13)
  print(sub(glyphs, i + 1, i + 1), x + 9, y, 7)
 end

 -- text scrolls sideways by moving its x each frame; clip keeps it
 -- inside a strip
 clip(0, 104, 128, 24)
 rectfill(0, 104, 127, 127, 0)
 local s = "glyphs in text: ⬅️ ➡️ ⬆️ ⬇️ 🅾️ ❎ ♥ ★ ♪"
 print(s, 128 - t % 300, 110, 12)
 clip()
end
