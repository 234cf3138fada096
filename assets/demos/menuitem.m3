mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- pause menu items
-- your own pause menu choices

-- the pause button (p or enter) opens the pause menu while a cart
-- runs. menuitem(i, label, fn) puts item i (1..5) into it, with a label
-- of up to 16 characters; choosing it calls fn once the menu has
-- closed. menuitem(i) takes the item out again. a callback may call
-- menuitem itself, for instance to show a new setting in its label.

colours = {8, 9, 11, 12, 14}
colour_names = {"red", "orange", "green", "blue", "pink"}
speeds = {0.5, 1, 2, 3}
colour, speed, trail = 1, 2, true
ball = {x = 64, y = 64, dx = 1, dy = 0.75}
past = {}

function colour_item()
 menuitem(1, "colour: " .. colour_names[colour], function()
  colour = colour % #colours + 1
  colour_item()
 end)
end

function speed_item()
 menuitem(2, "speed: " .. speeds[speed], function()
  speed = speed % #speeds + 1
  speed_item()
 end)
end

function trail_item()
 menuitem(3, trail and "trail: on" or "trail: off", function()
  trail = not trail
  trail_item()
 end)
end

-- item 4 is there only while the ball is away from the middle: it
-- takes itself out when chosen and comes back at the next bounce
function centre_item()
 menuitem(4, "centre the ball", function()
  ball.x, ball.y = 64, 64
  menuitem(4)
 end)
end

function _init()
 colour_item()
 speed_item()
 trail_item()
end

function _update()
 local v = speeds[speed]
 ball.x += ball.dx * v
 ball.y += ball.dy * v
 if ball.x < 4 or ball.x > 123 then
  ball.dx = -ball.dx
  centre_item()
 end
 if ball.y < 14 or ball.y > 113 then
  ball.dy = -ball.dy
  centre_item()
 end
 ball.x, ball.y = mid(4, ball.x, 123), mid(14, ball.y, 113)
 add(past, {x = ball.x, y = ball.y})
 if (#past > 10) del(past, past[1])
end

function _draw()
 cls(1)
 print("press p for the pause menu", 12, 3, 7)
 line(0, 10, 127, 10, 13)
 line(0, 118, 127, 118, 13)
 if trail then
  for i = 1, #past do
   circfill(past[i].x, past[i].y, i / 3, 13)
  end
 end
 circfill(ball.x, ball.y, 4, colours[colour])
 print(colour_names[colour] .. ", speed " .. speeds[speed], 2, 122, 6)
end
