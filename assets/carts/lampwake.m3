mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- lampwake
-- steer a small boat through the night sea. rocks show only inside the
-- lamp's light; paper lanterns glow from afar and keep the lamp burning.
-- the lamp eats oil as you sail, a flare eats more. lose the hull or the
-- light and the voyage ends.

-- sprites
spr_boat = 1
spr_boat_sunk = 2
spr_lantern = 3
spr_rock = 5
spr_heart = 7
spr_heart_gone = 8
spr_drop = 9
spr_log = 10
spr_big_rock = 12
spr_tower = 14
spr_letters = 32

-- sounds and tunes
sfx_blip = 0
sfx_pickup = 1
sfx_crash = 2
sfx_flare = 3
sfx_warn = 4
sfx_sunk = 5
sfx_record = 6
sfx_splash = 7
tune_title = 0
tune_sea = 4

-- cart data slots
slot_best = 0
slot_muted = 1
slot_voyages = 2

-- tuning
max_oil = 100
oil_burn = 0.1      -- per frame: a full lamp lasts 33 seconds
flare_cost = 12
flare_time = 40
lantern_oil = 22
boat_accel = 0.28
boat_drag = 0.84
hurt_time = 45      -- frames of grace after a hit
ending_time = 45    -- frames between losing and the game over screen

-- the title's letters: sheet index of each letter of the name
title_letters = {0, 1, 2, 3, 4, 1, 5, 6}

tick = 0

---------------------------------------------------------------- helpers

-- adds to a score that stays within the number range
function add_capped(v, n)
 if v > 32767 - n then return 32767 end
 return v + n
end

-- true when (ax, ay) lies within r of (bx, by); the box test first keeps the
-- squares small
function near(ax, ay, bx, by, r)
 local dx, dy = ax - bx, ay - by
 if abs(dx) > r or abs(dy) > r then return false end
 return dx * dx + dy * dy < r * r
end

function text_width(s)
 return #s * 4
end

function print_centred(s, y, col)
 print(s, 64 - text_width(s) / 2, y, col)
end

-- text with a dark outline so it reads over the sea
function print_outlined(s, x, y, col, edge)
 for ox = -1, 1 do
  for oy = -1, 1 do
   if (ox != 0 or oy != 0) print(s, x + ox, y + oy, edge)
  end
 end
 print(s, x, y, col)
end

function blink(period)
 return tick % period < period / 2
end

---------------------------------------------------------------- music and menu

function play_tune(n)
 tune = n
 if (music_on and n) music(n, 600)
 if (not n) music(-1, 400)
end

function set_music_item()
 menuitem(1, music_on and "music: on" or "music: off", toggle_music)
end

function toggle_music()
 music_on = not music_on
 dset(slot_muted, music_on and 0 or 1)
 set_music_item()
 if music_on then
  if (tune) music(tune, 600)
 else
  music(-1)
 end
end

-- clearing the best score takes two choices from the pause menu
function set_clear_item()
 clear_armed = false
 menuitem(2, "clear best", clear_best)
end

function clear_best()
 if clear_armed then
  best = 0
  dset(slot_best, 0)
  menuitem(2, "best cleared", set_clear_item)
  clear_armed = false
 else
  clear_armed = true
  menuitem(2, "really clear?", clear_best)
 end
end

---------------------------------------------------------------- the sea

-- specks of moonlit foam that drift down with the sea
function make_foam()
 foam = {}
 for i = 1, 28 do
  add(foam, {x = rnd(128), y = rnd(128), len = 1 + flr(rnd(3))})
 end
end

function move_foam(dy)
 for f in all(foam) do
  f.y += dy
  if f.y > 128 then
   f.y -= 136
   f.x = rnd(128)
  end
 end
end

function draw_foam()
 for f in all(foam) do
  local col = f.len > 2 and 12 or 13
  line(f.x, f.y, f.x + f.len, f.y, col)
 end
end

-- everything farther than r from (cx, cy) is covered, one span per row;
-- with a fill pattern set this leaves a dithered ring
function darken(cx, cy, r, col)
 cx, cy, r = flr(cx), flr(cy), flr(r)
 local top, bot = cy - r, cy + r
 if (top > -4) rectfill(-4, -4, 131, top - 1, col)
 if (bot < 131) rectfill(-4, bot + 1, 131, 131, col)
 for y = max(top, -4), min(bot, 131) do
  local dy = y - cy
  local w = flr(sqrt(r * r - dy * dy))
  if (cx - w > -4) rectfill(-4, y, cx - w - 1, y, col)
  if (cx + w < 131) rectfill(cx + w + 1, y, 131, y, col)
 end
end

-- the lamp's pool of light: a soft ring, then night
function draw_night(cx, cy, r)
 fillp(0x5a5a + 0.5)
 darken(cx, cy, r, 0)
 fillp()
 darken(cx, cy, r + 7, 0)
end

function lamp_radius()
 local r = 12 + oil * 0.34
 if flare > 0 then
  -- the flare blooms at once and fades back over its time
  r = max(r, 12 + flare * 2.4)
 end
 return r + sin(tick / 23) * 1.2
end

---------------------------------------------------------------- particles

function burst(x, y, n, cols, speed)
 for i = 1, n do
  local a = rnd(1)
  local v = speed * (0.3 + rnd(0.7))
  add(sparks, {
   x = x, y = y,
   vx = cos(a) * v, vy = sin(a) * v,
   life = 12 + flr(rnd(14)),
   col = cols[1 + flr(rnd(#cols))]
  })
 end
end

function move_sparks(dy)
 for s in all(sparks) do
  s.x += s.vx
  s.y += s.vy + dy
  s.vx *= 0.9
  s.vy *= 0.9
  s.life -= 1
  if (s.life <= 0) del(sparks, s)
 end
end

function draw_sparks()
 for s in all(sparks) do
  pset(s.x, s.y, s.col)
 end
end

function float_text(x, y, txt, col)
 add(notes, {x = x - text_width(txt) / 2, y = y, txt = txt, col = col, life = 30})
end

function move_notes()
 for n in all(notes) do
  n.y -= 0.5
  n.life -= 1
  if (n.life <= 0) del(notes, n)
 end
end

function draw_notes()
 for n in all(notes) do
  if (n.life > 8 or blink(4)) print_outlined(n.txt, n.x, n.y, n.col, 0)
 end
end

---------------------------------------------------------------- things at sea

function new_thing(kind, x, y)
 local o = {kind = kind, x = x, y = y, vx = 0, phase = rnd(1)}
 if kind == "rock" then
  o.r = 4
 elseif kind == "big_rock" then
  o.r = 7
 elseif kind == "log" then
  o.r = 8
  o.vx = (0.35 + rnd(0.5)) * (rnd(1) < 0.5 and -1 or 1)
 elseif kind == "lantern" then
  o.r = 6
 elseif kind == "whirl" then
  o.r = 26
 end
 add(things, o)
 return o
end

-- a spot along the top edge that keeps clear of what is already there
function free_x(y, room)
 for try = 1, 8 do
  local x = 8 + rnd(112)
  local ok = true
  for o in all(things) do
   if (o.kind != "whirl" and near(x, y, o.x, o.y, room + o.r)) ok = false
  end
  if (ok) return x
 end
 return nil
end

function spawn_row()
 local y = -12
 local rocks = 1 + flr(rnd(min(level, 4)))
 for i = 1, rocks do
  local kind = rnd(1) < 0.3 and "big_rock" or "rock"
  local x = free_x(y, 10)
  if (x) new_thing(kind, x, y - rnd(8))
 end
 if rnd(1) < 0.4 then
  local x = free_x(y - 10, 8)
  if (x) new_thing("lantern", x, y - 10)
 end
 if level >= 2 and rnd(1) < 0.12 + level * 0.03 then
  new_thing("log", rnd(1) < 0.5 and -8 or 136, y - 20)
 end
 if level >= 3 and rnd(1) < 0.06 then
  local x = free_x(y - 30, 20)
  if (x) new_thing("whirl", x, y - 30)
 end
end

function move_things(dy)
 for o in all(things) do
  o.y += dy
  o.x += o.vx
  if o.kind == "log" and (o.x < -12 or o.x > 140) then
   o.vx = -o.vx
  end
  if (o.y > 150) del(things, o)
 end
end

function draw_whirl(o)
 for i = 0, 3 do
  local r = 4 + i * 6
  local a = tick / (30 + i * 12) + o.phase + i * 0.2
  circ(o.x, o.y, r, i % 2 == 0 and 12 or 13)
  pset(o.x + cos(a) * r, o.y + sin(a) * r, 7)
 end
end

function draw_thing(o)
 local k = o.kind
 if k == "rock" then
  spr(spr_rock, o.x - 4, o.y - 4)
 elseif k == "big_rock" then
  spr(spr_big_rock, o.x - 8, o.y - 8, 2, 2)
 elseif k == "log" then
  spr(spr_log, o.x - 8, o.y - 4, 2, 1, o.vx < 0)
 elseif k == "whirl" then
  draw_whirl(o)
 end
end

-- lanterns are drawn after the night so that they glow from afar
function draw_lantern(o)
 local bob = sin(tick / 40 + o.phase) * 1.5
 local glow = 3 + (tick + flr(o.phase * 20)) % 16 / 8
 fillp(0x5a5a + 0.5)
 circfill(o.x, o.y + bob, glow + 2, 9)
 fillp()
 spr(spr_lantern + (tick % 16 < 8 and 0 or 1), o.x - 4, o.y - 4 + bob)
end

---------------------------------------------------------------- title

function go_title()
 mode = "title"
 set_clear_item()
 make_foam()
 sparks, notes = {}, {}
 things = {}
 for i = 1, 4 do
  new_thing("lantern", 12 + rnd(104), 40 + rnd(60))
 end
 play_tune(tune_title)
end

function update_title()
 move_foam(0.3)
 move_things(0.3)
 for o in all(things) do
  if o.y > 104 then
   o.y = 34
   o.x = 12 + rnd(104)
  end
 end
 if btnp(4) or btnp(5) then
  sfx(sfx_blip)
  start_voyage()
 end
end

function draw_title_letters()
 local x = 4
 for i = 1, #title_letters do
  local n = title_letters[i]
  local sx, sy = (n % 16) * 8, 16 + flr(n / 16) * 8
  local y = 14 + sin(tick / 60 + i / 10) * 2.5
  pal(10, 4)
  pal(9, 2)
  sspr(sx, sy, 7, 7, x + 1, y + 2, 14, 14)
  pal()
  sspr(sx, sy, 7, 7, x, y, 14, 14)
  x += 15
 end
end

function draw_tower_beam()
 -- the lighthouse on the shore sweeps the sea
 local a = tick / 150
 local bx, by = 19, 98
 local ex, ey = bx + cos(a) * 140, by + sin(a) * 60
 if (sin(a) < 0.2) line(bx, by, ex, ey, 10)
end

function draw_title()
 cls(1)
 draw_foam()
 for o in all(things) do
  draw_lantern(o)
 end
 draw_tower_beam()
 map(0, 0, 0, 96, 16, 4)
 draw_title_letters()
 print_outlined("a voyage by lamplight", 22, 34, 15, 1)
 print_outlined("best " .. best, 64 - text_width("best " .. best) / 2, 46, 10, 0)
 if (blink(30)) print_outlined("press ❎ to sail", 32, 76, 7, 0)
 -- the button glyphs are drawn as cut-outs, so they go without an outline
 print("⬅️➡️⬆️⬇️ steer", 34, 88, 6)
 print("🅾️ flare", 48, 96, 6)
end

---------------------------------------------------------------- voyage

function start_voyage()
 mode = "play"
 set_clear_item()
 boat = {x = 64, y = 100, vx = 0, vy = 0, hull = 3, hurt = 0}
 oil = max_oil
 flare, flare_wait = 0, 0
 things, sparks, notes, wake = {}, {}, {}, {}
 score, metres, travelled = 0, 0, 0
 level, speed = 1, 0.6
 next_row = 0
 chain, chain_time = 0, 0
 shake, warn_wait = 0, 0
 ending, lost_reason = 0, nil
 make_foam()
 -- a calm stretch first, with one lantern to aim for
 new_thing("lantern", 64, 40)
 play_tune(tune_sea)
end

function steer()
 local ax, ay = 0, 0
 if (btn(0)) ax -= 1
 if (btn(1)) ax += 1
 if (btn(2)) ay -= 1
 if (btn(3)) ay += 1
 boat.vx = (boat.vx + ax * boat_accel) * boat_drag
 boat.vy = (boat.vy + ay * boat_accel) * boat_drag
 boat.x = mid(5, boat.x + boat.vx, 122)
 boat.y = mid(16, boat.y + boat.vy, 122)
 if (btnp(4) or btnp(5)) fire_flare()
end

function fire_flare()
 if flare_wait > 0 then return end
 if oil <= flare_cost then
  float_text(boat.x, boat.y - 10, "no oil", 8)
  return
 end
 oil -= flare_cost
 flare, flare_wait = flare_time, flare_time + 10
 sfx(sfx_flare)
 burst(boat.x, boat.y, 16, {10, 9, 7}, 3)
end

function hurt(reason)
 if (boat.hurt > 0 or ending > 0) return
 boat.hull -= 1
 boat.hurt = hurt_time
 shake = 8
 sfx(sfx_crash)
 burst(boat.x, boat.y, 14, {4, 5, 6, 15}, 2)
 if (boat.hull <= 0) lose(reason)
end

function lose(reason)
 if (ending > 0) return
 ending = ending_time
 lost_reason = reason
 sfx(sfx_sunk)
 play_tune(nil)
end

function collect(o)
 del(things, o)
 oil = min(oil + lantern_oil, max_oil)
 if chain_time > 0 then
  chain = min(chain + 1, 5)
 else
  chain = 1
 end
 chain_time = 90
 local points = 10 * chain
 score = add_capped(score, points)
 sfx(sfx_pickup)
 burst(o.x, o.y, 10, {10, 9, 7}, 1.5)
 float_text(o.x, o.y - 8, chain > 1 and "+" .. points .. " x" .. chain or "+" .. points, 10)
end

function collide()
 local b = boat
 for o in all(things) do
  local k = o.kind
  if k == "lantern" then
   if (near(b.x, b.y, o.x, o.y, o.r + 2)) collect(o)
  elseif k == "rock" or k == "big_rock" then
   if near(b.x, b.y, o.x, o.y, o.r + 3) then
    -- thrown back off the rock
    local a = atan2(b.x - o.x, b.y - o.y)
    b.vx, b.vy = cos(a) * 3, sin(a) * 3
    hurt("the rocks took the hull")
   end
  elseif k == "log" then
   if abs(b.x - o.x) < 10 and abs(b.y - o.y) < 5 then
    hurt("a log broke the hull")
    if boat.hurt == hurt_time then
     del(things, o)
     sfx(sfx_splash)
     burst(o.x, o.y, 12, {4, 12, 7}, 1.5)
    end
   end
  elseif k == "whirl" then
   if near(b.x, b.y, o.x, o.y, o.r) then
    -- the current drags the boat round and in
    local a = atan2(o.x - b.x, o.y - b.y)
    b.vx += cos(a) * 0.22 + cos(a + 0.25) * 0.18
    b.vy += sin(a) * 0.22 + sin(a + 0.25) * 0.18
    oil = max(oil - 0.1, 0)
   end
  end
 end
end

function leave_wake()
 if tick % 2 == 0 then
  add(wake, {x = boat.x + rnd(3) - 1.5, y = boat.y + 4, life = 24})
 end
 for w in all(wake) do
  w.y += speed
  w.life -= 1
  if (w.life <= 0) del(wake, w)
 end
end

function update_play()
 if ending > 0 then
  update_ending()
  return
 end
 steer()

 -- the sea runs past; every 8 pixels is a metre
 move_foam(speed)
 move_things(speed)
 travelled += speed
 while travelled >= 8 do
  travelled -= 8
  metres = add_capped(metres, 1)
  score = add_capped(score, 1)
 end
 level = min(1 + flr(metres / 120), 6)
 speed = min(0.6 + metres / 500, 1.6)
 next_row -= speed
 if next_row <= 0 then
  spawn_row()
  next_row = 20 + rnd(14) - level * 1.5
 end

 collide()
 leave_wake()
 move_sparks(speed)
 move_notes()

 if (boat.hurt > 0) boat.hurt -= 1
 if (shake > 0) shake -= 1
 if (flare > 0) flare -= 1
 if (flare_wait > 0) flare_wait -= 1
 if chain_time > 0 then
  chain_time -= 1
  if (chain_time == 0) chain = 0
 end

 oil = max(oil - oil_burn, 0)
 if oil < 25 then
  warn_wait -= 1
  if warn_wait <= 0 then
   sfx(sfx_warn)
   warn_wait = 45
  end
 end
 if (oil <= 0) lose("the lamp went out")
end

-- the boat settles into the dark before the game over screen
function update_ending()
 ending -= 1
 boat.vx *= 0.9
 boat.vy *= 0.9
 boat.x += boat.vx
 boat.y += boat.vy
 move_foam(speed * 0.3)
 move_things(speed * 0.3)
 move_sparks(0)
 move_notes()
 if (tick % 6 == 0) burst(boat.x, boat.y + 2, 2, {12, 13}, 0.6)
 if (ending <= 0) finish_voyage()
end

function draw_hud()
 rectfill(0, 0, 127, 8, 0)
 print(score, 2, 2, 7)
 spr(spr_drop, 44, 1)
 local bar_col = 10
 if (oil < 25) bar_col = blink(10) and 8 or 9
 rect(53, 2, 91, 6, 5)
 if (oil > 0) rectfill(54, 3, 54 + oil * 0.36, 5, bar_col)
 for i = 1, 3 do
  spr(i <= boat.hull and spr_heart or spr_heart_gone, 96 + (i - 1) * 10, 1)
 end
end

function draw_sea_scene(light)
 cls(1)
 local sx, sy = 0, 0
 if shake > 0 then
  sx, sy = rnd(4) - 2, rnd(4) - 2
 end
 camera(sx, sy)
 draw_foam()
 for w in all(wake) do
  pset(w.x, w.y, w.life > 12 and 7 or 6)
 end
 for o in all(things) do
  draw_thing(o)
 end
 if ending > 0 or mode == "over" then
  spr(spr_boat_sunk, boat.x - 4, boat.y - 4)
 elseif boat.hurt == 0 or tick % 4 < 2 then
  spr(spr_boat, boat.x - 4, boat.y - 4)
 end
 draw_sparks()
 draw_night(boat.x, boat.y, light)
 for o in all(things) do
  if (o.kind == "lantern") draw_lantern(o)
 end
 if flare > flare_time - 6 then
  circ(boat.x, boat.y, (flare_time - flare) * 10, 7)
 end
 -- the lamp itself
 if light > 6 then
  pset(boat.x, boat.y, blink(6) and 10 or 9)
 end
 camera()
 draw_notes()
end

function draw_play()
 local light = lamp_radius()
 if ending > 0 then
  -- the flame gutters out
  light = ending / ending_time * light
  if (rnd(1) < 0.3) light *= 0.6
 end
 draw_sea_scene(light)
 draw_hud()
 if (chain > 1) print_outlined("chain x" .. chain, 2, 12, 10, 0)
end

---------------------------------------------------------------- game over

function finish_voyage()
 mode = "over"
 over_time = 0
 voyages = add_capped(voyages, 1)
 dset(slot_voyages, voyages)
 new_best = score > best
 if new_best then
  best = score
  dset(slot_best, best)
  sfx(sfx_record)
 end
end

function update_over()
 over_time = min(over_time + 1, 1000)
 move_foam(0.2)
 move_sparks(0)
 move_notes()
 if over_time > 30 and (btnp(4) or btnp(5)) then
  sfx(sfx_blip)
  go_title()
 end
end

function draw_over()
 draw_sea_scene(4 + sin(tick / 50) * 2)
 draw_hud()
 rectfill(14, 34, 113, 94, 0)
 rect(14, 34, 113, 94, 5)
 print_centred("voyage over", 40, 8)
 print_centred(lost_reason, 50, 6)
 print_centred("score " .. score .. "   " .. metres .. "m", 62, 7)
 if new_best then
  if (blink(16)) print_centred("a new best!", 72, 10)
 else
  print_centred("best " .. best, 72, 9)
 end
 print_centred("voyage no. " .. voyages, 80, 13)
 if (over_time > 30 and blink(30)) print("❎", 60, 87, 7)
end

---------------------------------------------------------------- main

function _init()
 cartdata("lampwake")
 best = dget(slot_best)
 voyages = dget(slot_voyages)
 music_on = dget(slot_muted) == 0
 set_music_item()
 go_title()
end

function _update()
 tick = (tick + 1) % 3600
 if mode == "title" then
  update_title()
 elseif mode == "play" then
  update_play()
 else
  update_over()
 end
end

function _draw()
 if mode == "title" then
  draw_title()
 elseif mode == "play" then
  draw_play()
 else
  draw_over()
 end
end
__gfx__
00000000000440000000000000055000000550000055550000000000088088000550550000090000000000000000000000000055550000000005500000000000
00000000004ff40000000000008888000088880005666650000000008e888880500500500099900004444444444444400000556666550000005aa50000000000
0000000004f44f4000044000089aa98008aaaa80566d6665000000008888888050000050099a99004f9f4442444424440005666666665000055aa55000000000
0000000004fa9f400045540008aaaa8008a77a8056dd666500000000088888000500050009aa99004ff944444442444400566d66666665000055550000000000
0000000004f99f4004455440089aa98008aaaa8056666655000000000088800000505000099999004f9f4244444444440566dd66666666500087780000000000
0000000004f44f400c4444c0008888000088880005666550000000000008000000050000009990000444444444444440056dd66666d666500087780000000000
0000000004ffff4000cccc000009900000099000005555000000000000000000000000000000000000000000000000005666666666dd66550078870000000000
000000000044440000000000000000000000900000000000000000000000000000000000000000000000000000000000566666666666d6550078870000000000
0000000066666666000000005555555500000000000000000000000000000000000000000000000000000000000000005666d666666666550087780000000000
000000665555555566000000555d55550000000000000000000000000000000000000000000000000000000000000000566dd666666666550087780000000000
00006655555d55555566000055555555000000000000000000000000000000000000000000000000000000000000000005666666666666550777777000000000
0006555555555555555560005555555d007c000000000000000000000000000000000000000000000000000000000000056666666d6665500788887000000000
00655d5555555d5555d55600555555550c00cc000000000000000000000000000000000000000000000000000000000000566666666665500788887000000000
065555555d555555555555605d555555000000000000000000000000000000000000000000000000000000000000000000055666666655005555555500000000
65555d555555555555d5555655555555000000000000000000000000000000000000000000000000000000000000000000000555555550005dd55dd500000000
555555555555555555555555555555d5000000000000000000000000000000000000000000000000000000000000000000000000000000005555555500000000
aa00000000aaa000aa000aa0aaaaaa00aa000aa0aa000aa0aaaaaaa0000000000000000000000000000000000000000000000000000000000000000000000000
aa0000000aa0aa00aaa0aaa0aa000aa0aa000aa0aa00aa00aa000000000000000000000000000000000000000000000000000000000000000000000000000000
aa000000aa000aa0aaaaaaa0aa000aa0aa000aa0aa0aa000aa000000000000000000000000000000000000000000000000000000000000000000000000000000
aa000000aaaaaaa0aa0a0aa0aaaaaa00aa0a0aa0aaaa0000aaaaaa00000000000000000000000000000000000000000000000000000000000000000000000000
99000000990009909900099099000000999999909909900099000000000000000000000000000000000000000000000000000000000000000000000000000000
99999990990009909900099099000000999099909900990099000000000000000000000000000000000000000000000000000000000000000000000000000000
99999990990009909900099099000000990009909900099099999990000000000000000000000000000000000000000000000000000000000000000000000000
__map__
00000e0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00001e0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
1111111112000000000014000010111100000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
1313131313120014001400001013131300000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
__sfx__
00040000243402b345000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00030000280502b050305503404034035000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00050000146700e6600a3530664500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00020000186301c6412065124651286512c6513064132635347250000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000600002d430000002d4250000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000a000024550235511f5411c54118531185351262500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0006000024050280502b050305502b040305503455234552345350000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000400001e65516645106250000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
001200002104021042210421d0401d0421a0401c0401d0401a0401a0421a0421a0421a045000001d0401f0402104021042240402404221040210421f0401d0401c0401c0421c0421c0421f0401f0421f04500000
00120000260402604224040240422204022042210401f040210402104221042210421d0401d0421a0401a0421d0401d0421f040210402204022042210401f0401c0401c0421c0421c04219040190421904500000
001200000e0500e0500e0500e04515040150451a0401a0350a0500a0500a0500a045110401104516040160351105011050110501104518040180451d0401d0350c0500c0500c0500c04513040130451804018035
00120000070500705007050070450e0400e04513040130350e0500e0500e0500e04515040150451a0401a0350a0500a0500a0500a045110401104516040160350905009050090500904510040100451504015035
001200001a4271d42721427264271a4271d42721427264272242726427294272e4272242726427294272e4271d4272142724427294271d427214272442729427184271c4271f42724427184271c4271f42724427
001200001f42722427264272b4271f42722427264272b4271a4271d42721427264271a4271d42721427264272242726427294272e4272242726427294272e4272142725427284272d4272142725427284272d427
000e00000e155000000e1451a145000000e145151450e1350c155000000c14518145000000c145131450c1350a155000000a14516145000000a145111450a1350915500000091451514500000091451014509135
000e00000e155000000e1451a145000000e145151450e1351115500000111451d145000001114518145111350c155000000c14518145000000c145131450c1350915500000091451514500000091451014509135
000e00001a4271d42721427264271a4271d4272142726427184271c4271f42724427184271c4271f427244272242726427294272e4272242726427294272e4272142725427284272d4272142725427284272d427
000e00001a4271d42721427264271a4271d42721427264271d4272142724427294271d427214272442729427184271c4271f42724427184271c4271f427244272142725427284272d4272142725427284272d427
000e000018063000003c6250000024645000003c6253c62518063000003c6250000024645000003c6253c62518063000003c6250000024645000003c6253c62518063000003c6250000024645000003c6253c625
000e000026530265302653021530215302153500000000002453024530245301f5301f5301f5301c530000002653026530265301d5301d5301d5301f530215302553025530255302553028530285302853500000
000e00002953029530285302653026530265302153000000245302453021530215301d5301d5301d535000001c5301c5301f5301f53024530245302453500000255302553028530285302d5302d5302d53500000
__music__
01 080a0c41
02 090b0d41
00 41424344
00 41424344
01 130e1012
02 140f1112

