mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- buttons
-- btn and btnp for two players

-- each player has six buttons: 0 left, 1 right, 2 up, 3 down, 4 o and
-- 5 x; the names ⬅️ ➡️ ⬆️ ⬇️ 🅾️ ❎ hold those numbers too. btn(b, p) is
-- true while button b of player p (0 or 1; 0 when left out) is held.
-- btnp(b, p) is true on the frame the button goes down, and again every
-- few frames while it stays down. player 0 has the cursor keys, z and
-- x; player 1 has s f e d, tab and q.

players = {
 {x = 40, y = 56, col = 8, presses = 0},
 {x = 88, y = 56, col = 12, presses = 0},
}
-- where each button sits on the drawn pad, from the pad's corner
pad = {{3, 7}, {11, 7}, {7, 3}, {7, 11}, {21, 9}, {28, 5}}
pad_names = {"⬅️", "➡️", "⬆️", "⬇️", "🅾️", "❎"}

function _update()
 for p = 0, 1 do
  local pl = players[p + 1]
  if (btn(⬅️, p)) pl.x -= 1
  if (btn(➡️, p)) pl.x += 1
  if (btn(⬆️, p)) pl.y -= 1
  if (btn(⬇️, p)) pl.y += 1
  pl.x = mid(4, pl.x, 123)
  pl.y = mid(20, pl.y, 86)
  -- btnp counts presses: holding the button counts again and again
  if (btnp(🅾️, p) or btnp(❎, p)) pl.presses += 1
 end
end

function draw_pad(p, x, y)
 local pl = players[p + 1]
 rectfill(x, y, x + 34, y + 14, 5)
 for b = 0, 5 do
  local bx, by = x + pad[b + 1][1], y + pad[b + 1][2]
  -- filled while held, an outline otherwise
  if btn(b, p) then
   circfill(bx, by, 2, pl.col)
  else
   circ(bx, by, 2, 6)
  end
 end
 print("player " .. p, x, y - 7, pl.col)
 print("presses " .. pl.presses, x, y + 17, 6)
end

function _draw()
 cls(1)
 print("hold buttons of either player", 6, 4, 7)
 rect(0, 16, 127, 90, 13)
 for pl in all(players) do
  circfill(pl.x, pl.y, 3, pl.col)
 end
 draw_pad(0, 8, 102)
 draw_pad(1, 72, 102)
 -- btn() with no arguments: every button at once, one bit each;
 -- player 0 in bits 0..5, player 1 in bits 8..13
 print("btn() = " .. tostr(btn(), true), 6, 10, 6)
 local held = ""
 for b = 0, 5 do
  if (btn(b)) held = held .. pad_names[b + 1]
 end
 print(held, 68, 10, 7)
end
