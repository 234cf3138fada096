mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- cart data
-- numbers kept between runs

-- cartdata(id) claims 64 numbers under a name of a-z, 0-9, _ and -,
-- once per run, and returns true when numbers were kept from an earlier
-- run. dget(i) reads number i (0..63) and dset(i, v) stores it. the
-- player writes them to a small file a second after they change and
-- when the cart stops. they also sit in memory: number i is the four
-- bytes at 0x5e00 + 4 * i, so peek4 reads it too.

slot_runs = 0   -- how often the cart was started
slot_best = 1   -- the most presses in one round
slot_total = 2  -- every press ever

kept = cartdata("mivo_demo_cartdata")
dset(slot_runs, dget(slot_runs) + 1)

round_frames = 300  -- ten seconds
left = round_frames
presses = 0
message = kept and "welcome back" or "a fresh slot"

function _update()
 if left > 0 then
  if btnp(🅾️) then
   presses += 1
   dset(slot_total, dget(slot_total) + 1)
  end
  left -= 1
  if left == 0 and presses > dget(slot_best) then
   dset(slot_best, presses)
   message = "a new best!"
  end
 elseif btnp(🅾️) then
  left, presses = round_frames, 0
 end
 -- ❎ clears every number of the slot
 if btnp(❎) then
  for i = 0, 63 do dset(i, 0) end
  message = "all cleared"
 end
end

function _draw()
 cls(1)
 print("cart data", 4, 4, 7)
 print(message, 4, 12, 10)
 print("runs    " .. dget(slot_runs), 4, 24, 6)
 print("best    " .. dget(slot_best), 4, 32, 6)
 print("total   " .. dget(slot_total), 4, 40, 6)
 if left > 0 then
  print("press 🅾️ fast: " .. presses, 4, 54, 11)
  rectfill(4, 62, 4 + left / round_frames * 119, 64, 11)
 else
  print("round over: " .. presses, 4, 54, 9)
  print("🅾️ again  ❎ clear all", 4, 62, 13)
 end

 -- the 64 numbers as they sit in memory, lit when not 0
 print("memory 0x5e00..0x5eff", 4, 74, 6)
 for i = 0, 63 do
  local x, y = 4 + (i % 16) * 7, 82 + flr(i / 16) * 7
  rectfill(x, y, x + 5, y + 5, peek4(0x5e00 + 4 * i) != 0 and 11 or 0)
 end
 print("dget(0) = peek4(0x5e00) = " .. peek4(0x5e00), 4, 114, 6)
end
