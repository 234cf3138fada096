mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- star catcher
-- a tiny complete game

-- catch the falling stars in the basket with ⬅️ and ➡️. each star you
-- miss costs a heart; with no hearts left the game is over. the stars
-- come faster as the score grows. the game has the three parts most
-- games have: a title, the play and a game over screen, each with its
-- own update and draw. the best score is kept with cartdata.

spr_star, spr_basket, spr_heart = 1, 2, 4
sfx_start, sfx_catch, sfx_miss, sfx_over = 0, 1, 2, 3

function _init()
 cartdata("mivo_demo_tinygame")
 best = dget(0)
 sky = {}
 for i = 1, 30 do
  add(sky, {x = rnd(128), y = rnd(100), c = rnd(1) < 0.5 and 1 or 5})
 end
 show_title()
end

function show_title()
 state, t = "title", 0
end

function new_game()
 state, t = "play", 0
 score, hearts = 0, 3
 basket_x = 56
 stars = {}
 next_star = 0
 sfx(sfx_start)
end

function game_over()
 state, t = "over", 0
 new_best = score > best
 if new_best then
  best = score
  dset(0, best)
 end
 sfx(sfx_over)
end

function _update()
 t += 1
 if state == "play" then
  update_play()
 elseif t > 20 and (btnp(🅾️) or btnp(❎)) then
  new_game()
 end
end

function update_play()
 if (btn(⬅️)) basket_x -= 3
 if (btn(➡️)) basket_x += 3
 basket_x = mid(0, basket_x, 112)
 next_star -= 1
 if next_star <= 0 then
  add(stars, {x = 4 + rnd(112), y = -8, v = 1 + min(score, 40) / 20 + rnd(0.5)})
  next_star = max(10, 40 - score)
 end
 for s in all(stars) do
  s.y += s.v
  if s.y > 100 and s.y < 110 and abs(s.x - basket_x - 4) < 10 then
   del(stars, s)
   score += 1
   sfx(sfx_catch)
  elseif s.y > 120 then
   del(stars, s)
   hearts -= 1
   sfx(sfx_miss)
   if (hearts == 0) game_over()
  end
 end
end

function centred(s, y, col)
 print(s, 64 - #s * 2, y, col)
end

function _draw()
 cls(0)
 for d in all(sky) do pset(d.x, d.y, d.c) end
 rectfill(0, 116, 127, 127, 3)
 if state == "title" then
  spr(spr_star, 60, 30 + sin(t / 40) * 4)
  centred("star catcher", 48, 10)
  if (t % 30 < 20) centred("press 🅾️ to start", 64, 7)
  centred("best " .. best, 80, 6)
  return
 end
 for s in all(stars) do spr(spr_star, s.x, s.y) end
 spr(spr_basket, basket_x, 108, 2, 1)
 print("score " .. score, 2, 2, 7)
 for i = 1, hearts do spr(spr_heart, 128 - i * 9, 1) end
 if state == "over" then
  centred("game over", 48, 8)
  centred("score " .. score .. "   best " .. best, 60, 7)
  if (new_best) centred("a new best!", 70, 10)
 end
end
__gfx__
00000000000a00000000000000000000088088000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00000000000a000040000000000000048ee888800000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0000000000a9a00044444444444444448e8888800000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00000000aa999aa04949494949494949888888800000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000000000a979a004444444444444444088888000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0000000000a9a0000494949494949490008880000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000000000a909a000444444444444440000800000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000000000a000a000044444444444400000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
__sfx__
00040000183401f340243402432500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
00030000244502b450304403042500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
0005000018250122510c2310c21500000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
000a00001f5501d5501b5501855218542185250000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
