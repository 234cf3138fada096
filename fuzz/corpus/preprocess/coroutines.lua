mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- coroutines
-- scripts that wait and go on

-- cocreate(f) makes a coroutine of a function. coresume(c, ...) runs it
-- until it calls yield() or returns; costatus(c) tells "suspended",
-- "running" or "dead". resume each script once a frame and it can wait
-- with a loop of yields, so a scene reads from top to bottom instead of
-- being spread over state variables. yield(v) hands v back to coresume,
-- and what the next coresume passes in comes out of yield.

scripts = {}
actors = {}
scene = 0

function wait(frames)
 for i = 1, frames do yield() end
end

-- moves an actor to (x, y) over the given number of frames
function glide(a, x, y, frames)
 local x0, y0 = a.x, a.y
 for i = 1, frames do
  a.x = x0 + (x - x0) * i / frames
  a.y = y0 + (y - y0) * i / frames
  yield()
 end
end

-- types a line out letter by letter, keeps it up a while, clears it
function say(a, text)
 for i = 1, #text do
  a.text = sub(text, 1, i)
  wait(2)
 end
 wait(40)
 a.text = nil
end

function hop(a, times)
 for i = 1, times do
  glide(a, a.x, 70, 6)
  glide(a, a.x, 84, 6)
 end
end

function start_scene()
 scene += 1
 local ada = {x = -8, y = 84, col = 8}
 local bo = {x = 136, y = 84, col = 12}
 actors = {ada, bo}
 add(scripts, cocreate(function()
  glide(ada, 44, 84, 40)
  say(ada, "hello bo!")
  wait(60)
  say(ada, "let's hop.")
  hop(ada, 3)
 end))
 add(scripts, cocreate(function()
  glide(bo, 84, 84, 60)
  wait(40)
  say(bo, "hi ada.")
  wait(70)
  hop(bo, 3)
  say(bo, "again!")
 end))
end

-- a coroutine that never ends: each resume gets the next number
counter = cocreate(function()
 local n = 0
 while true do
  n += 1
  yield(n)
 end
end)

function _update()
 for c in all(scripts) do
  local ok, problem = coresume(c)
  -- an error inside a coroutine does not stop the cart: coresume
  -- returns false and the message instead
  if (not ok) printh(problem)
  if (costatus(c) == "dead") del(scripts, c)
 end
 if (#scripts == 0) start_scene()
end

function _draw()
 cls(1)
 rectfill(0, 90, 127, 127, 3)
 for a in all(actors) do
  circfill(a.x, a.y, 5, a.col)
  if (a.text) print(a.text, a.x - #a.text * 2, a.y - 16, 7)
 end
 print("scene " .. scene .. ", scripts running: " .. #scripts, 4, 4, 6)
 local _, n = coresume(counter)
 print("counter coroutine: " .. n, 4, 12, 6)
 print("status: " .. costatus(counter), 4, 20, 6)
end
