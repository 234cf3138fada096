mivo-3 cartridge // https://mivo3.example.org
version 17
__lua__
-- screen memory
-- the screen as bytes from 0x6000

-- the 128x128 screen is the 8192 bytes 0x6000..0x7fff: 64 bytes a row,
-- two pixels a byte. the left pixel of a byte is its low 4 bits and the
-- right pixel its high 4 bits, so poke(0x6000, 0x8c) makes pixel (0, 0)
-- colour 12 and pixel (1, 0) colour 8. peek reads a byte back, memset
-- fills a run of bytes with one value and memcpy copies a run.

screen = 0x6000
row_bytes = 64
wave_rows = 100       -- the rows 0..99 scroll; the rest is the panel
ramp = {0, 1, 2, 8, 9, 10, 7, 10, 9, 8, 2, 1}
t = 0

-- pget made from peek: the byte holding (x, y), then its half
function pixel(x, y)
 local b = peek(screen + y * row_bytes + flr(x / 2))
 if (x % 2 == 1) return shr(b, 4)
 return band(b, 15)
end

-- a colour of the ramp for pixel x of the newest row
function shade(x)
 local v = sin(x / 90 + t / 70) + cos(x / 37 - t / 110)
 return ramp[flr((v + 2) * 2.9) % #ramp + 1]
end

function _update()
 t += 1
end

function _draw()
 -- move rows 1..99 up by one row: one memcpy of 99 rows of bytes
 memcpy(screen, screen + row_bytes, row_bytes * (wave_rows - 1))
 -- then poke the new bottom row, two pixels per byte
 local addr = screen + (wave_rows - 1) * row_bytes
 for i = 0, row_bytes - 1 do
  poke(addr + i, shade(i * 2) + shade(i * 2 + 1) * 16)
 end

 -- read back a pixel of the row just above the panel
 local px, py = flr(64 + cos(t / 200) * 60), wave_rows - 1
 local c = pixel(px, py)

 -- the panel: memset fills whole rows; 0x11 is colour 1 twice
 memset(screen + wave_rows * row_bytes, 0x11, (128 - wave_rows) * row_bytes)
 line(px, wave_rows, px, wave_rows + 2, 7)
 print("pixel(" .. px .. ", " .. py .. ") = " .. c, 4, 104, 7)
 rectfill(100, 104, 106, 108, c)
 rect(99, 103, 107, 109, 7)
 print("byte at 0x6000 = " .. tostr(peek(screen), true), 4, 112, 6)
 print("memcpy scrolls, poke adds rows", 4, 120, 13)
end
