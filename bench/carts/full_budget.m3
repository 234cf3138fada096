mivo-3 cartridge // benchmark
version 17
__lua__
-- a full-budget cart: each frame at 60 a second does arithmetic until
-- it has spent 85-95% of the frame's cpu budget, then draws a little.
t={} for i=1,64 do t[i]=i end
n=2000
function _update60()
 for i=1,n do
  local k=i%64+1
  t[k]=(t[k]*3+i)%1000
 end
 local c=stat(1)
 if c<0.85 then n+=50 elseif c>0.95 then n-=50 end
end
function _draw()
 cls(1)
 print("n "..n.." cpu "..flr(stat(1)*100).."%",2,2,7)
 rectfill(2,10,2+stat(1)*120,14,8)
end
